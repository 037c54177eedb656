// The system's animated-GIF writer. A TGIFImage collects frames as full-colour copies; encoding reduces each
// frame to a 256-colour palette by popularity and LZW-encodes it; saving writes a GIF89a file (GIF87a for a
// single frame without delay or transparency): logical screen with the first encoded frame's palette as the
// global colour table, the NETSCAPE2.0 looping extension, and per frame a Graphic Control Extension, an image
// descriptor, a local colour table (every frame after the first) and the image data.
//
// Plain C++ without Qt; the conversion's GIF output drives it on the user-interface thread, one image per
// task. It never pumps events, never writes any file but the one SaveToFile names, and never catches its own
// failures: they reach the caller as exceptions.
//
// Encoding is lazy and per frame, and the delay, transparency and disposal of a frame are read when the file
// is written, so calling EncodeAll after every AddFrame gives the same file as calling it once at the end
// while holding only compressed data. Compressed data beyond a memory limit goes to an unnamed temporary
// file of the system's (gone when the image is destroyed, or the process ends), so a long animation needs
// little memory whatever its frame count; the file written is the same.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "convert/gif_frame.h"

enum class TGIFVersion { None, GIF87a, GIF89a };

class TGIFImage {
  public:
    // Repeat counts above this are cut to it.
    static constexpr unsigned kMaxRepeatCount = 30000;

    // Compressed frame data held in memory before later frames' data go to the temporary file.
    static constexpr size_t kDefaultMemoryLimit = size_t{48} << 20;

    TGIFImage() = default;
    TGIFImage(const TGIFImage&) = delete;
    TGIFImage& operator=(const TGIFImage&) = delete;
    ~TGIFImage();

    // Appends a copy of the picture as the next frame and returns its index. References to frames stay valid.
    // Throws std::invalid_argument for a picture TGIFFrame refuses.
    int AddFrame(const uint8_t* pixels, int width, int height, int stride, TGIFPixelFormat format);
    int FrameCount() const { return static_cast<int>(frames_.size()); }
    TGIFFrame& Frame(int index) { return frames_.at(static_cast<size_t>(index)); }
    const TGIFFrame& Frame(int index) const { return frames_.at(static_cast<size_t>(index)); }

    // None without frames; GIF89a with more than one frame or a frame that needs a Graphic Control
    // Extension; GIF87a otherwise.
    TGIFVersion Version() const;

    // The NETSCAPE2.0 application extension is written only when looping is on and there is more than one
    // frame. A repeat count of 0 means forever.
    bool Looping() const { return looping_; }
    void SetLooping(bool on) { looping_ = on; }
    unsigned RepeatCount() const { return repeatCount_; }
    void SetRepeatCount(unsigned count);

    // 0x00BBGGRR or kGIFColorNone; written as the index of the first equal global table entry, else 0.
    uint32_t BackgroundColor() const { return backgroundColor_; }
    void SetBackgroundColor(uint32_t color) { backgroundColor_ = color; }
    int BackgroundIndex() const;

    // The largest right and bottom edge over all frames.
    int ScreenWidth() const;
    int ScreenHeight() const;
    // Empty until the first frame is encoded; then that frame's palette.
    const TGIFColorTable& GlobalColorTable() const { return global_; }

    // Encodes, in order, every frame not encoded yet: the first one encoded fills the global colour table and
    // every later frame carries its own local table. A frame's data that would take the memory held above
    // the limit is moved to the temporary file; when that file cannot be created or written, the data stays
    // in memory (nothing is lost, only more memory used).
    void EncodeAll();
    // Hands every frame not handed over yet to a thread of the image's own, which encodes them in order while
    // the caller goes on (the same file results). A handed frame must not be changed any more. Waits while
    // a few frames are already waiting, so the full-colour copies held stay few. EncodeAll, SaveToBytes,
    // SaveToFile and the destructor wait for the thread (a failure there is thrown by them); the figures
    // below are up to date only after them.
    void EncodeInBackground();

    size_t MemoryLimit() const { return memoryLimit_; }
    void SetMemoryLimit(size_t bytes) { memoryLimit_ = bytes; }
    // Compressed frame data held in memory, and moved to the temporary file.
    size_t EncodedBytesInMemory() const { return inMemory_; }
    uint64_t EncodedBytesSpilled() const { return spilled_; }

    // Encodes what is left and returns the file's bytes. Throws std::runtime_error("No GIF Data to write")
    // without frames.
    std::vector<uint8_t> SaveToBytes();
    // Creates or replaces the file. Throws std::runtime_error: "No GIF Data to write" without frames (the
    // file is not touched then), "Cannot create file <path>" when it cannot be opened, "Cannot write file
    // <path>" when writing fails part-way.
    void SaveToFile(const std::string& path);

  private:
    // Frames that may wait for the encoding thread.
    static constexpr size_t kQueued = 4;

    void encode(TGIFFrame& frame);
    void work();
    void waitForWorker();
    void spill(TGIFFrame& frame);
    // Passes the whole file, in order, to `put` in pieces. Throws std::runtime_error when the temporary file
    // cannot be read back.
    void write(const std::function<void(const uint8_t*, size_t)>& put);

    std::deque<TGIFFrame> frames_;
    bool looping_ = false;
    unsigned repeatCount_ = 1;
    uint32_t backgroundColor_ = kGIFColorNone;
    TGIFColorTable global_;
    TGIFEncodeWorkspace work_;
    size_t memoryLimit_ = kDefaultMemoryLimit;
    size_t inMemory_ = 0;
    uint64_t spilled_ = 0;
    std::FILE* spillFile_ = nullptr;
    bool spillFailed_ = false;

    // The encoding thread: frames are queued in order and leave the queue once encoded.
    std::thread worker_;
    std::mutex mutex_;
    std::condition_variable ready_, room_;
    std::deque<TGIFFrame*> queue_;
    size_t handed_ = 0;  // frames_[0, handed_) were handed to the thread or encoded
    bool stop_ = false;
    std::exception_ptr failure_;
};
