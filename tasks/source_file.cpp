#include "tasks/source_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

SwfFileError::SwfFileError(const std::string& file, const std::string& reason)
    : std::runtime_error("\"" + file + "\": " + reason), file_(file) {}

TSourceFile::TSourceFile(const std::string& path) : path_(path) {
    // O_NONBLOCK: a FIFO or device named like a movie must give an error, not hang the window in open().
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) fail(std::string("cannot open the file: ") + std::strerror(errno));
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        int err = errno;
        bool regular = S_ISREG(st.st_mode);
        ::close(fd);
        fail(regular ? std::string("cannot read the file size: ") + std::strerror(err)
                     : "not a regular file");
    }
    file_ = fdopen(fd, "rb");
    if (!file_) {
        int err = errno;
        ::close(fd);
        fail(std::string("cannot open the file: ") + std::strerror(err));
    }
    size_ = static_cast<uint64_t>(st.st_size);
}

TSourceFile::~TSourceFile() {
    if (file_) std::fclose(file_);
}

void TSourceFile::fail(const std::string& reason) const {
    throw SwfFileError(path_, reason);
}

size_t TSourceFile::readSome(uint64_t offset, void* out, size_t n) {
    if (n == 0 || offset >= size_) return 0;
    if (fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0)
        fail(std::string("cannot seek in the file: ") + std::strerror(errno));
    size_t got = std::fread(out, 1, n, file_);
    if (got < n && std::ferror(file_)) fail(std::string("read error: ") + std::strerror(errno));
    return got;
}

void TSourceFile::readAt(uint64_t offset, void* out, size_t n) {
    if (offset > size_ || n > size_ - offset || readSome(offset, out, n) != n)
        fail("read beyond the end of the file (" + std::to_string(n) + " bytes at offset " +
             std::to_string(offset) + ", file size " + std::to_string(size_) + ")");
}

uint32_t TSourceFile::u32At(uint64_t offset) {
    uint8_t b[4];
    readAt(offset, b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}
