// unaBladeMp3Enc: the MP3 encoder object on an encoder library with the BladeEnc-style interface
// (mp3enc/blade_interface.h), loaded at run time with dlopen and its entry points resolved by name.
// Owns the library handle (each object loads it once; the dynamic loader counts the loads, so objects share
// the library and it is unloaded with the last one), the version record and the stream handle.
// Threads as for unaAbstractEncoder: the library is called from one thread at a time. Never links the
// encoder library directly, never includes lame.h.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "audio/una_abstract_encoder.h"
#include "mp3enc/blade_interface.h"

class unaBladeMp3Enc : public unaAbstractEncoder {
  public:
    // Loads the library at `dllPathAndName` (blanks around it removed; empty: the default library beside the
    // executable). errorCode is 0, or UNA_ENCODER_ERR_NOT_LOADED and errorMessage names the file.
    explicit unaBladeMp3Enc(std::string_view dllPathAndName = {}, int priority = 0);
    ~unaBladeMp3Enc() override;

    using unaAbstractEncoder::setConfig;
    uint32_t setConfig(const BE_CONFIG& config) { return unaAbstractEncoder::setConfig(&config); }

    bool loaded() const { return library_ != nullptr; }
    // Whether the entry point of that name was found in the library.
    bool resolved(std::string_view entryPoint) const;
    // The path loaded (or tried), and its file-name part for messages.
    const std::string& dllPath() const { return dllPath_; }
    std::string dllFileName() const;
    // Filled by beVersion at creation (zeros when the library lacks it).
    const BE_VERSION& version() const { return version_; }

    static constexpr HBE_STREAM kNoStream = 0xFFFFFFFFu;

  protected:
    // For derived encoders: the default file name and whether the LAME-only entry points are resolved.
    unaBladeMp3Enc(std::string_view dllPathAndName, int priority, std::string_view defaultFileName,
                   bool lameEntryPoints);

    uint32_t doSetConfig(const void* config, size_t& chunkBytes, size_t& outputBytes) override;
    uint32_t doEncode(const uint8_t* data, size_t bytes, uint8_t* out, size_t& written) override;
    uint32_t doFinish(uint8_t* out, size_t& written) override;
    uint32_t doCloseStream() override;
    std::string describeError(uint32_t code) const override;

  private:
    uint32_t missing(const char* entryPoint);

    std::string dllPath_;
    std::string loadError_;
    const char* missingEntryPoint_ = "";
    struct LibraryCloser {
        void operator()(void* handle) const;
    };
    std::unique_ptr<void, LibraryCloser> library_;
    BE_VERSION version_{};
    HBE_STREAM stream_ = kNoStream;

    BEINITSTREAM beInitStream_ = nullptr;
    BEENCODECHUNK beEncodeChunk_ = nullptr;
    BEDEINITSTREAM beDeinitStream_ = nullptr;
    BECLOSESTREAM beCloseStream_ = nullptr;
    BEVERSION beVersion_ = nullptr;
    BEWRITEVBRHEADER beWriteVBRHeader_ = nullptr;  // resolved, never called
};

// The encoder the recording pass uses: the LAME variant of the interface, by default mp3enc.so beside the
// executable.
class unaLameMp3Enc final : public unaBladeMp3Enc {
  public:
    explicit unaLameMp3Enc(std::string_view dllPathAndName = {}, int priority = 0);
    // Closes before any base part is torn down, while the worker thread may still be calling the back end.
    ~unaLameMp3Enc() override;
};

// The folder of the running executable, with a trailing '/' ("" when it cannot be found).
std::string unaExecutableFolder();
