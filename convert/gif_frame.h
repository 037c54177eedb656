// One frame of a TGIFImage: the full-colour copy of a grabbed picture until it is encoded, then its colour
// table and LZW data (or, once the image has moved that data to its spill file, the data's place there), plus
// the per-frame settings written in its GIF89a Graphic Control Extension and Image Descriptor. Plain C++;
// owned by TGIFImage and used on the thread that owns the image.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "convert/gif_lzw.h"
#include "convert/gif_palette.h"

// Colours are 0x00BBGGRR (red in the low byte); this value means "no colour".
constexpr uint32_t kGIFColorNone = 0x1FFFFFFF;

// Layouts a picture can be handed over in; rows top first, `stride` bytes apart.
enum class TGIFPixelFormat {
    BGR24,   // bytes B, G, R (a 24-bit device-independent bitmap row, QImage::Format_BGR888)
    RGB24,   // bytes R, G, B (QImage::Format_RGB888)
    XRGB32,  // native 32-bit 0xAARRGGBB words (player::Pixel, QImage::Format_RGB32); the top byte is ignored
};

struct TGIFColorTable {
    int count = 0;                   // entries in use, 0..256
    std::array<uint8_t, 768> rgb{};  // R, G, B triples

    // The first entry equal to the colour's RGB (0x00BBGGRR), or -1 (always for kGIFColorNone).
    int IndexOf(uint32_t color) const;
};

// Work tables shared by the frames of one image, so encoding a run of frames allocates little.
struct TGIFEncodeWorkspace {
    gif::PopularityReducer reducer;
    gif::LzwEncoder lzw;
    std::vector<uint8_t> indices;  // palette index per pixel, top row first
    std::vector<uint8_t> ordered;  // the same rows in interlaced order
};

class TGIFFrame {
  public:
    // Takes a copy of the picture. Throws std::invalid_argument when the size is outside 1..65535 (GIF's
    // 16-bit fields), `pixels` is null or `stride` is shorter than a row.
    TGIFFrame(const uint8_t* pixels, int width, int height, int stride, TGIFPixelFormat format);

    int Left() const { return 0; }
    int Top() const { return 0; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // Milliseconds; values above 65535 are held as 65535. Written in hundredths of a second, rounded down.
    unsigned Delay() const { return delay_; }
    void SetDelay(unsigned milliseconds);
    // kGIFColorNone, or a colour marked transparent when it is exactly one of the frame's palette entries.
    uint32_t TransparentColor() const { return transparentColor_; }
    void SetTransparentColor(uint32_t color) { transparentColor_ = color; }
    // GIF89a disposal method, 0..7 (0: none asked; 2: restore to background). Throws otherwise.
    int DisposalMethod() const { return disposal_; }
    void SetDisposalMethod(int method);
    // Rows written in GIF's four interlace passes. Off by default. The row order is fixed when the frame is
    // encoded: changing it afterwards throws std::logic_error rather than mislabel the data.
    bool Interlaced() const { return interlaced_; }
    void SetInterlaced(bool on);

    bool Encoded() const { return encodedSize_ != 0; }
    // Whether the full-colour copy is still held (it is released once the frame is encoded).
    bool HoldsPicture() const { return !picture_.empty(); }
    const TGIFColorTable& ColorTable() const { return table_; }
    // Smallest n >= 1 with 2^n >= the colour table's count (8 for 256 entries); 0 before encoding.
    int BitsPerPixel() const;
    bool UsesLocalTable() const { return localTable_; }
    // Minimum code size byte, data sub-blocks and block terminator; empty before encoding and once released.
    const std::vector<uint8_t>& EncodedData() const { return data_; }
    // Size of the encoded data, held or released; 0 before encoding.
    size_t EncodedSize() const { return encodedSize_; }
    // Whether the encoded data was handed to the image (ReleaseEncodedData) and is no longer held here.
    bool Released() const { return released_; }
    // Where the image keeps the released data (an offset in its spill file); 0 while held.
    uint64_t ReleasedAt() const { return releasedAt_; }
    // Hands the encoded data over to the image, which keeps it at `where`. Only for encoded frames.
    std::vector<uint8_t> ReleaseEncodedData(uint64_t where);

    // A Graphic Control Extension is written when the delay, the transparent colour or the disposal method is
    // set.
    bool HasGraphicControl() const;
    // Palette index marked transparent: the first table entry equal to the transparent colour, or -1.
    int TransparentIndex() const;

    // Reduces the picture to 256 colours, LZW-encodes it and releases the picture. `localTable` says whether
    // the frame carries its own colour table (every frame but the one that fills the global table).
    void Encode(TGIFEncodeWorkspace& work, bool localTable);
    // Appends the frame's blocks: Graphic Control Extension (when it has one), Image Descriptor, local colour
    // table (when used) and the encoded data. Only for encoded frames whose data is still held.
    void WriteTo(std::vector<uint8_t>& out) const;
    // The same blocks without the encoded data, which follows them in the file. Only for encoded frames.
    void WriteBlocksTo(std::vector<uint8_t>& out) const;

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<uint8_t> picture_;  // R, G, B per pixel, top row first
    unsigned delay_ = 0;
    uint32_t transparentColor_ = kGIFColorNone;
    int disposal_ = 0;
    bool interlaced_ = false;
    TGIFColorTable table_;
    bool localTable_ = false;
    std::vector<uint8_t> data_;
    size_t encodedSize_ = 0;
    bool released_ = false;
    uint64_t releasedAt_ = 0;
};
