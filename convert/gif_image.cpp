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
    for (TGIFFrame& frame : frames_) {
        if (frame.Encoded()) continue;
        const bool local = global_.count != 0;
        frame.Encode(work_, local);
        if (!local) global_ = frame.ColorTable();
    }
}

std::vector<uint8_t> TGIFImage::SaveToBytes() {
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

    for (const TGIFFrame& frame : frames_)
        frame.WriteTo(out);
    out.push_back(0x3B);
    return out;
}

void TGIFImage::SaveToFile(const std::string& path) {
    const std::vector<uint8_t> bytes = SaveToBytes();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw std::runtime_error("Cannot create file " + path);
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) throw std::runtime_error("Cannot write file " + path);
}
