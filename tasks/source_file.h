// Read-only access to a movie source file for the probe and the extraction.
// Every failure to open or read throws SwfFileError with a message naming the file, never a short read that
// goes unnoticed. One object per call; any thread, one object per thread.
#pragma once

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

// The error that reaches the probe's caller: a missing or unreadable file, a file shorter than the bytes to
// be read, a projector trailer that points outside the file. what() names the file.
class SwfFileError : public std::runtime_error {
  public:
    SwfFileError(const std::string& file, const std::string& reason);
    const std::string& file() const { return file_; }

  private:
    std::string file_;
};

class TSourceFile {
  public:
    // Opens `path` for reading; throws SwfFileError when it cannot be opened or is not a regular file.
    explicit TSourceFile(const std::string& path);
    ~TSourceFile();
    TSourceFile(const TSourceFile&) = delete;
    TSourceFile& operator=(const TSourceFile&) = delete;

    const std::string& path() const { return path_; }
    uint64_t size() const { return size_; }

    // Reads exactly n bytes at offset; throws SwfFileError when they are not all there.
    void readAt(uint64_t offset, void* out, size_t n);
    // Reads up to n bytes at offset (fewer only at the end of the file); throws SwfFileError on an I/O error.
    size_t readSome(uint64_t offset, void* out, size_t n);
    // Little-endian 32-bit value at offset.
    uint32_t u32At(uint64_t offset);

    [[noreturn]] void fail(const std::string& reason) const;

  private:
    std::string path_;
    std::FILE* file_ = nullptr;
    uint64_t size_ = 0;
};
