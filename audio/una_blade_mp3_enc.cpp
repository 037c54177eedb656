#include "audio/una_blade_mp3_enc.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

// The plain interface's library; the system itself only uses the LAME variant.
constexpr std::string_view kBladeDefaultFileName = "bladeenc.so";

std::string_view trimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);
    return text;
}

template <typename Function>
Function resolve(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

}  // namespace

std::string unaExecutableFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || exe.empty()) return {};
    std::string folder = exe.parent_path().string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

void unaBladeMp3Enc::LibraryCloser::operator()(void* handle) const {
    dlclose(handle);
}

unaBladeMp3Enc::unaBladeMp3Enc(std::string_view dllPathAndName, int priority)
    : unaBladeMp3Enc(dllPathAndName, priority, kBladeDefaultFileName, false) {}

unaBladeMp3Enc::unaBladeMp3Enc(std::string_view dllPathAndName, int priority,
                               std::string_view defaultFileName, bool lameEntryPoints)
    : unaAbstractEncoder(priority) {
    dllPath_ = std::string(trimBlanks(dllPathAndName));
    if (dllPath_.empty()) dllPath_ = unaExecutableFolder() + std::string(defaultFileName);
    dlerror();
    library_.reset(dlopen(dllPath_.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library_) {
        const char* why = dlerror();
        loadError_ = why ? why : "unknown reason";
        setResult(UNA_ENCODER_ERR_NOT_LOADED);
        return;
    }
    void* lib = library_.get();
    beInitStream_ = resolve<BEINITSTREAM>(lib, TEXT_BEINITSTREAM);
    beEncodeChunk_ = resolve<BEENCODECHUNK>(lib, TEXT_BEENCODECHUNK);
    beDeinitStream_ = resolve<BEDEINITSTREAM>(lib, TEXT_BEDEINITSTREAM);
    beCloseStream_ = resolve<BECLOSESTREAM>(lib, TEXT_BECLOSESTREAM);
    beVersion_ = resolve<BEVERSION>(lib, TEXT_BEVERSION);
    if (lameEntryPoints) beWriteVBRHeader_ = resolve<BEWRITEVBRHEADER>(lib, TEXT_BEWRITEVBRHEADER);
    if (beVersion_) beVersion_(&version_);
    setResult(0);
}

unaBladeMp3Enc::~unaBladeMp3Enc() {
    // Finishes a stream still open (its last blocks reach the handler) while the library is still loaded.
    close();
}

bool unaBladeMp3Enc::resolved(std::string_view entryPoint) const {
    if (entryPoint == TEXT_BEINITSTREAM) return beInitStream_ != nullptr;
    if (entryPoint == TEXT_BEENCODECHUNK) return beEncodeChunk_ != nullptr;
    if (entryPoint == TEXT_BEDEINITSTREAM) return beDeinitStream_ != nullptr;
    if (entryPoint == TEXT_BECLOSESTREAM) return beCloseStream_ != nullptr;
    if (entryPoint == TEXT_BEVERSION) return beVersion_ != nullptr;
    if (entryPoint == TEXT_BEWRITEVBRHEADER) return beWriteVBRHeader_ != nullptr;
    return false;
}

std::string unaBladeMp3Enc::dllFileName() const {
    return std::filesystem::path(dllPath_).filename().string();
}

uint32_t unaBladeMp3Enc::missing(const char* entryPoint) {
    missingEntryPoint_ = entryPoint;
    return UNA_ENCODER_ERR_NO_ENTRY_POINT;
}

uint32_t unaBladeMp3Enc::doSetConfig(const void* config, size_t& chunkBytes, size_t& outputBytes) {
    if (!library_) return UNA_ENCODER_ERR_NOT_LOADED;
    if (!beInitStream_) return missing(TEXT_BEINITSTREAM);
    uint32_t samples = 0;
    uint32_t bufferSize = 0;
    HBE_STREAM stream = kNoStream;
    // The library reads the record only; the interface's prototype predates const.
    const uint32_t result =
        beInitStream_(static_cast<BE_CONFIG*>(const_cast<void*>(config)), &samples, &bufferSize, &stream);
    if (result != 0) return result;
    stream_ = stream;
    chunkBytes = size_t{samples} * 2;
    outputBytes = bufferSize;
    return 0;
}

uint32_t unaBladeMp3Enc::doEncode(const uint8_t* data, size_t bytes, uint8_t* out, size_t& written) {
    written = 0;
    if (!beEncodeChunk_) return missing(TEXT_BEENCODECHUNK);
    // Whole 16-bit samples only: a last odd byte is no sample. The chunk buffer is 16-bit aligned.
    uint32_t produced = 0;
    const uint32_t result =
        beEncodeChunk_(stream_, static_cast<uint32_t>(bytes / 2),
                       reinterpret_cast<int16_t*>(const_cast<uint8_t*>(data)), out, &produced);
    if (result == 0) written = produced;
    return result;
}

uint32_t unaBladeMp3Enc::doFinish(uint8_t* out, size_t& written) {
    written = 0;
    if (!beDeinitStream_) return missing(TEXT_BEDEINITSTREAM);
    uint32_t produced = 0;
    const uint32_t result = beDeinitStream_(stream_, out, &produced);
    if (result == 0) written = produced;
    return result;
}

uint32_t unaBladeMp3Enc::doCloseStream() {
    const HBE_STREAM stream = stream_;
    stream_ = kNoStream;
    if (!beCloseStream_) return missing(TEXT_BECLOSESTREAM);
    return beCloseStream_(stream);
}

std::string unaBladeMp3Enc::describeError(uint32_t code) const {
    const std::string file = "\"" + dllFileName() + "\"";
    switch (code) {
        case UNA_ENCODER_ERR_NOT_LOADED:
            return "cannot load the MP3 encoder " + file + (loadError_.empty() ? "" : ": " + loadError_);
        case UNA_ENCODER_ERR_NO_ENTRY_POINT:
            return "the MP3 encoder " + file + " lacks the entry point \"" + missingEntryPoint_ + "\"";
        default:
            break;
    }
    char text[64];
    std::snprintf(text, sizeof(text), " reports error 0x%X", code);
    return "the MP3 encoder " + file + text;
}

unaLameMp3Enc::unaLameMp3Enc(std::string_view dllPathAndName, int priority)
    : unaBladeMp3Enc(dllPathAndName, priority, MP3ENC_LIBRARY_FILE_NAME, true) {}

unaLameMp3Enc::~unaLameMp3Enc() {
    close();
}
