#include "audio/una_riff_stream.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <system_error>

namespace {

constexpr std::chrono::milliseconds kThreadWait{10};

void put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

uint32_t clamp32(uint64_t v) {
    return v > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max() : uint32_t(v);
}

}  // namespace

unaRiffStream::unaRiffStream(std::string fileName, bool isInput)
    : unaWaveDevice(true, false, 0), fileName_(std::move(fileName)), isInput_(isInput) {}

unaRiffStream::~unaRiffStream() {
    close();
}

bool unaRiffStream::doOpen() {
    if (isInput_) {
        setError("the WAV device reads no files");
        return false;
    }
    if (fileName_.empty()) {
        setError("no file name");
        return false;
    }
    file_ = std::fopen(fileName_.c_str(), "w+b");
    if (!file_) {
        setError("cannot create " + fileName_ + ": " + std::strerror(errno));
        return false;
    }
    writeFailed_ = false;
    dataBytes_ = 0;
    inputQueue()->clear();
    writeHeader(0, 0);
    stop_ = false;
    try {
        thread_ = std::thread(&unaRiffStream::run, this);
    } catch (const std::system_error& e) {
        setError(std::string("cannot start the WAV writer thread: ") + e.what());
        std::fclose(file_);
        file_ = nullptr;
        return false;
    }
    return true;
}

void unaRiffStream::doClose() {
    stop_ = true;
    wake_.set();
    if (thread_.joinable()) thread_.join();
    // The last blocks taken in belong to the recording as much as the others.
    appendQueued(0);
    const long end = std::ftell(file_);
    const uint64_t fileSize = end > 0 ? uint64_t(end) : kHeaderSize + dataBytes_;
    writeHeader(clamp32(fileSize - 8), clamp32(dataBytes_));
    if (std::fclose(file_) != 0) writeFailed_ = true;
    file_ = nullptr;
    if (writeFailed_) setError("cannot write " + fileName_ + ": " + std::strerror(errno));
}

void unaRiffStream::run() {
    while (!stop_) {
        wake_.wait(kThreadWait);
        // In pieces of at most one second of samples' worth of bytes, as the queue is filled.
        const size_t limit = std::max<size_t>(format().samplesPerSec, 1);
        bool wrote = false;
        while (!stop_ && appendQueued(limit))
            wrote = true;
        // On disk as it comes: a recording cut off by a crash keeps what was captured up to then.
        if (wrote) std::fflush(file_);
    }
}

bool unaRiffStream::appendQueued(size_t limit) {
    unaMemoryStream* queue = inputQueue();
    const size_t queued = queue->getSize();
    if (queued == 0) return false;
    piece_.resize(limit ? std::min(limit, queued) : queued);
    const size_t n = queue->read(piece_.data(), piece_.size());
    if (n == 0) return false;
    if (std::fwrite(piece_.data(), 1, n, file_) != n) writeFailed_ = true;
    dataBytes_ += n;
    return true;
}

void unaRiffStream::writeHeader(uint32_t riffSize, uint32_t dataSize) {
    const unaPcmFormat f = format();
    uint8_t h[kHeaderSize];
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, riffSize);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, f.formatTag);
    put16(h + 22, f.numChannels);
    put32(h + 24, f.samplesPerSec);
    put32(h + 28, f.avgBytesPerSec);
    put16(h + 32, f.blockAlign);
    put16(h + 34, f.bitsPerSample);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, dataSize);
    const long at = std::ftell(file_);
    std::fseek(file_, 0, SEEK_SET);
    if (std::fwrite(h, 1, kHeaderSize, file_) != kHeaderSize) writeFailed_ = true;
    if (at > long(kHeaderSize)) std::fseek(file_, at, SEEK_SET);
    std::fflush(file_);
}
