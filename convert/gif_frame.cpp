#include "convert/gif_frame.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace {

void Put16(std::vector<uint8_t>& out, unsigned value) {
    out.push_back(static_cast<uint8_t>(value));
    out.push_back(static_cast<uint8_t>(value >> 8));
}

// GIF89a interlacing: every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
void InterlaceRows(const uint8_t* rows, int width, int height, uint8_t* out) {
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    const size_t w = static_cast<size_t>(width);
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = kStart[pass]; y < height; y += kStep[pass]) {
            const uint8_t* row = rows + static_cast<size_t>(y) * w;
            out = std::copy(row, row + w, out);
        }
    }
}

}  // namespace

int TGIFColorTable::IndexOf(uint32_t color) const {
    if (color == kGIFColorNone) return -1;
    const uint8_t r = static_cast<uint8_t>(color), g = static_cast<uint8_t>(color >> 8),
                  b = static_cast<uint8_t>(color >> 16);
    for (int i = 0; i < count; ++i) {
        const size_t at = static_cast<size_t>(i) * 3;
        if (rgb[at] == r && rgb[at + 1] == g && rgb[at + 2] == b) return i;
    }
    return -1;
}

TGIFFrame::TGIFFrame(const uint8_t* pixels, int width, int height, int stride, TGIFPixelFormat format) {
    if (width < 1 || width > 0xFFFF || height < 1 || height > 0xFFFF)
        throw std::invalid_argument("GIF frame size out of range: " + std::to_string(width) + "x" +
                                    std::to_string(height));
    const int bytesPerPixel = format == TGIFPixelFormat::XRGB32 ? 4 : 3;
    if (!pixels || stride < width * bytesPerPixel) throw std::invalid_argument("GIF frame: bad pixel buffer");
    width_ = width;
    height_ = height;
    picture_.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    uint8_t* out = picture_.data();
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride);
        switch (format) {
            case TGIFPixelFormat::RGB24:
                out = std::copy(row, row + static_cast<size_t>(width) * 3, out);
                break;
            case TGIFPixelFormat::BGR24:
                for (int x = 0; x < width; ++x, row += 3, out += 3) {
                    out[0] = row[2];
                    out[1] = row[1];
                    out[2] = row[0];
                }
                break;
            case TGIFPixelFormat::XRGB32:
                for (int x = 0; x < width; ++x, row += 4, out += 3) {
                    uint32_t word;
                    std::memcpy(&word, row, 4);
                    out[0] = static_cast<uint8_t>(word >> 16);
                    out[1] = static_cast<uint8_t>(word >> 8);
                    out[2] = static_cast<uint8_t>(word);
                }
                break;
        }
    }
}

void TGIFFrame::SetDelay(unsigned milliseconds) {
    delay_ = milliseconds > 0xFFFF ? 0xFFFF : milliseconds;
}

void TGIFFrame::SetInterlaced(bool on) {
    if (Encoded() && on != interlaced_)
        throw std::logic_error("GIF frame already encoded; its row order is fixed");
    interlaced_ = on;
}

void TGIFFrame::SetDisposalMethod(int method) {
    if (method < 0 || method > 7) throw std::invalid_argument("GIF disposal method out of range");
    disposal_ = method;
}

int TGIFFrame::BitsPerPixel() const {
    if (table_.count == 0) return 0;
    int n = 1;
    while ((1 << n) < table_.count)
        ++n;
    return n;
}

bool TGIFFrame::HasGraphicControl() const {
    return delay_ != 0 || transparentColor_ != kGIFColorNone || disposal_ != 0;
}

int TGIFFrame::TransparentIndex() const {
    return table_.IndexOf(transparentColor_);
}

void TGIFFrame::Encode(TGIFEncodeWorkspace& work, bool localTable) {
    if (Encoded()) return;
    const size_t pixels = static_cast<size_t>(width_) * static_cast<size_t>(height_);
    if (work.indices.size() < pixels) work.indices.resize(pixels);
    const gif::PopularityPalette palette =
        work.reducer.Reduce(picture_.data(), width_, height_, work.indices.data());
    table_.count = 256;
    table_.rgb = palette.rgb;
    localTable_ = localTable;

    const uint8_t* order = work.indices.data();
    if (interlaced_) {
        if (work.ordered.size() < pixels) work.ordered.resize(pixels);
        InterlaceRows(work.indices.data(), width_, height_, work.ordered.data());
        order = work.ordered.data();
    }
    work.lzw.Encode(order, pixels, std::max(2, BitsPerPixel()), data_);
    encodedSize_ = data_.size();

    std::vector<uint8_t>().swap(picture_);
}

std::vector<uint8_t> TGIFFrame::ReleaseEncodedData(uint64_t where) {
    if (!Encoded() || released_) throw std::logic_error("GIF frame has no encoded data to release");
    released_ = true;
    releasedAt_ = where;
    return std::move(data_);
}

void TGIFFrame::WriteTo(std::vector<uint8_t>& out) const {
    if (released_) throw std::logic_error("GIF frame data is kept by its image");
    WriteBlocksTo(out);
    out.insert(out.end(), data_.begin(), data_.end());
}

void TGIFFrame::WriteBlocksTo(std::vector<uint8_t>& out) const {
    if (!Encoded()) throw std::logic_error("GIF frame written before it was encoded");
    if (HasGraphicControl()) {
        // GIF89a Graphic Control Extension: disposal in bits 2-4, user input 0, transparency flag in bit 0.
        const int transparent = TransparentIndex();
        out.insert(out.end(), {0x21, 0xF9, 4});
        out.push_back(static_cast<uint8_t>(disposal_ << 2 | (transparent >= 0 ? 1 : 0)));
        Put16(out, delay_ / 10);
        out.push_back(static_cast<uint8_t>(transparent >= 0 ? transparent : 0));
        out.push_back(0);
    }
    out.push_back(0x2C);
    Put16(out, static_cast<unsigned>(Left()));
    Put16(out, static_cast<unsigned>(Top()));
    Put16(out, static_cast<unsigned>(width_));
    Put16(out, static_cast<unsigned>(height_));
    uint8_t packed = interlaced_ ? 0x40 : 0x00;
    if (localTable_) packed = static_cast<uint8_t>(packed | 0x80 | (BitsPerPixel() - 1));
    out.push_back(packed);
    if (localTable_) {
        const size_t entries = size_t{1} << BitsPerPixel();
        out.insert(out.end(), table_.rgb.begin(),
                   table_.rgb.begin() + static_cast<std::ptrdiff_t>(entries * 3));
    }
}
