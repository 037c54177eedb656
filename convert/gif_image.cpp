#include "convert/gif_image.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

void Put16(std::vector<uint8_t>& out, unsigned value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

int BitsFor(int count) {
    int n = 1;
    while ((1 << n) < count)
        ++n;
    return n;
}

}  // namespace

TGIFImage::~TGIFImage() {
    if (worker_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        ready_.notify_all();
        worker_.join();
    }
    if (spillFile_) std::fclose(spillFile_);
}

int TGIFImage::AddFrame(const uint8_t* pixels, int width, int height, int stride, TGIFPixelFormat format) {
    frames_.emplace_back(pixels, width, height, stride, format);
    return static_cast<int>(frames_.size()) - 1;
}

TGIFVersion TGIFImage::Version() const {
    if (frames_.empty()) return TGIFVersion::None;
    if (frames_.size() > 1) return TGIFVersion::GIF89a;
    return frames_.front().HasGraphicControl() ? TGIFVersion::GIF89a : TGIFVersion::GIF87a;
}

void TGIFImage::SetRepeatCount(unsigned count) {
    repeatCount_ = std::min(count, kMaxRepeatCount);
}

int TGIFImage::BackgroundIndex() const {
    return std::max(0, global_.IndexOf(backgroundColor_));
}

int TGIFImage::ScreenWidth() const {
    int w = 0;
    for (const TGIFFrame& f : frames_)
        w = std::max(w, f.Left() + f.Width());
    return w;
}

int TGIFImage::ScreenHeight() const {
    int h = 0;
    for (const TGIFFrame& f : frames_)
        h = std::max(h, f.Top() + f.Height());
    return h;
}

void TGIFImage::EncodeAll() {
    waitForWorker();
    for (TGIFFrame& frame : frames_)
        if (!frame.Encoded()) encode(frame);
    handed_ = frames_.size();
}

void TGIFImage::encode(TGIFFrame& frame) {
    const bool local = global_.count != 0;
    frame.Encode(work_, local);
    if (!local) global_ = frame.ColorTable();
    if (inMemory_ + frame.EncodedSize() > memoryLimit_ && !spillFailed_) spill(frame);
    if (!frame.Released()) inMemory_ += frame.EncodedSize();
}

void TGIFImage::EncodeInBackground() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
    for (; handed_ < frames_.size(); ++handed_) {
        room_.wait(lock, [this] { return queue_.size() < kQueued; });
        if (failure_) return;  // thrown by the next wait
        TGIFFrame* frame = &frames_[handed_];
        if (frame->Encoded()) continue;
        queue_.push_back(frame);
        ready_.notify_one();
    }
}

void TGIFImage::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        ready_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        TGIFFrame* frame = queue_.front();
        if (!failure_) {
            // The caller only adds frames and reads the queue meanwhile; the image's encoding state belongs
            // to this thread until the queue is empty.
            lock.unlock();
            try {
                encode(*frame);
            } catch (...) {
                lock.lock();
                failure_ = std::current_exception();
                lock.unlock();
            }
            lock.lock();
        }
        queue_.pop_front();
        room_.notify_all();
    }
}

void TGIFImage::waitForWorker() {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [this] { return queue_.empty(); });
    if (failure_) {
        std::exception_ptr failure = failure_;
        failure_ = nullptr;
        std::rethrow_exception(failure);
    }
}

void TGIFImage::spill(TGIFFrame& frame) {
    if (!spillFile_) {
        spillFile_ = std::tmpfile();
        if (!spillFile_) {
            spillFailed_ = true;
            return;
        }
    }
    const std::vector<uint8_t>& data = frame.EncodedData();
    // The file only grows: a frame's data is appended after the last one and stays where it was put.
    if (std::fseek(spillFile_, 0, SEEK_END) != 0 ||
        std::fwrite(data.data(), 1, data.size(), spillFile_) != data.size() || std::fflush(spillFile_) != 0) {
        // A full disk: this frame and the later ones stay in memory; what a partial write left at the end of
        // the file is never read.
        spillFailed_ = true;
        return;
    }
    const size_t size = data.size();
    frame.ReleaseEncodedData(spilled_);
    spilled_ += size;
}

std::vector<uint8_t> TGIFImage::SaveToBytes() {
    std::vector<uint8_t> out;
    write([&out](const uint8_t* data, size_t size) { out.insert(out.end(), data, data + size); });
    return out;
}

void TGIFImage::write(const std::function<void(const uint8_t*, size_t)>& put) {
    if (frames_.empty()) throw std::runtime_error("No GIF Data to write");
    EncodeAll();

    std::vector<uint8_t> out;
    const char* header = Version() == TGIFVersion::GIF89a ? "GIF89a" : "GIF87a";
    out.insert(out.end(), header, header + 6);

    // Logical Screen Descriptor: global table flag, colour resolution and table size from the table's bits.
    Put16(out, static_cast<unsigned>(ScreenWidth()));
    Put16(out, static_cast<unsigned>(ScreenHeight()));
    const int bits = BitsFor(global_.count);
    out.push_back(static_cast<uint8_t>(0x80 | (bits - 1) << 4 | (bits - 1)));
    out.push_back(static_cast<uint8_t>(BackgroundIndex()));
    out.push_back(0);
    const size_t entries = size_t{1} << bits;
    out.insert(out.end(), global_.rgb.begin(),
               global_.rgb.begin() + static_cast<std::ptrdiff_t>(entries * 3));

    if (looping_ && frames_.size() > 1) {
        // NETSCAPE2.0 application extension: sub-block id 1, then the loop count.
        static constexpr uint8_t kNetscape[] = {0x21, 0xFF, 11,  'N', 'E', 'T', 'S',
                                                'C',  'A',  'P', 'E', '2', '.', '0'};
        out.insert(out.end(), std::begin(kNetscape), std::end(kNetscape));
        out.push_back(3);
        out.push_back(1);
        Put16(out, repeatCount_);
        out.push_back(0);
    }

    // Frames are passed on a few at a time; data from the temporary file is read back in pieces.
    constexpr size_t kPiece = size_t{1} << 20;
    for (const TGIFFrame& frame : frames_) {
        frame.WriteBlocksTo(out);
        if (!frame.Released()) {
            out.insert(out.end(), frame.EncodedData().begin(), frame.EncodedData().end());
        } else {
            put(out.data(), out.size());
            out.clear();
            if (std::fseek(spillFile_, static_cast<long>(frame.ReleasedAt()), SEEK_SET) != 0)
                throw std::runtime_error("Cannot read the GIF frames' temporary file");
            out.resize(kPiece);
            for (size_t left = frame.EncodedSize(); left > 0;) {
                const size_t n = std::min(left, kPiece);
                if (std::fread(out.data(), 1, n, spillFile_) != n)
                    throw std::runtime_error("Cannot read the GIF frames' temporary file");
                put(out.data(), n);
                left -= n;
            }
            out.clear();
        }
        if (out.size() >= kPiece) {
            put(out.data(), out.size());
            out.clear();
        }
    }
    out.push_back(0x3B);
    put(out.data(), out.size());
}

void TGIFImage::SaveToFile(const std::string& path) {
    if (frames_.empty()) throw std::runtime_error("No GIF Data to write");
    EncodeAll();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("Cannot create file " + path);
    bool written = true;
    try {
        write([&](const uint8_t* data, size_t size) {
            written = written && std::fwrite(data, 1, size, file) == size;
        });
    } catch (...) {
        std::fclose(file);
        throw;
    }
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) throw std::runtime_error("Cannot write file " + path);
}
