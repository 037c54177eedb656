// unaRiffStream: the WAV writer device. Data written into it waits in its input queue; its thread appends the
// queue to a RIFF/WAVE file in the device's PCM format. Open writes the header with zero sizes; close writes
// what is still queued, then the final RIFF and data sizes, so a closed file is always a complete WAV file.
//
// Threads: open and close on the user-interface thread, write on the capture thread, the file only on the
// writer thread (and on the closing thread after the writer thread has ended).
// Reading WAV files is not provided: a device made for input accepts no data and leaves its file alone.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "audio/una_event.h"
#include "audio/una_wave_device.h"

class unaRiffStream : public unaWaveDevice {
  public:
    // Size of the header written at open; the sample data follows it.
    static constexpr uint32_t kHeaderSize = 44;
    // Where the header keeps the data size.
    static constexpr long kDataSizeOffset = 40;

    unaRiffStream(std::string fileName, bool isInput);
    ~unaRiffStream() override;

    const std::string& fileName() const { return fileName_; }
    bool isInput() const { return isInput_; }
    // Sample bytes appended to the file since open.
    uint64_t dataBytes() const { return dataBytes_; }

  protected:
    bool doOpen() override;
    void doClose() override;

  private:
    void run();
    // Appends up to `limit` queued bytes (0: everything queued); false when nothing was queued.
    bool appendQueued(size_t limit);
    void writeHeader(uint32_t riffSize, uint32_t dataSize);

    const std::string fileName_;
    const bool isInput_;
    std::FILE* file_ = nullptr;
    std::atomic<uint64_t> dataBytes_{0};
    bool writeFailed_ = false;
    std::vector<uint8_t> piece_;  // one append's bytes, reused

    unaEvent wake_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};
