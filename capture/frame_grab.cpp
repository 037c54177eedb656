#include "capture/frame_grab.h"

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QPoint>
#include <QRect>
#include <QWidget>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "capture/shockwave_flash.h"
#include "tasks/cov_settings.h"

namespace {

// a * b / c on 64-bit intermediates, rounded half away from zero (the MulDiv of the platform the task
// settings come from). Results beyond the int range are clamped; c is never 0 here (FitSize checks it).
int MulDivRound(int a, int b, int c) {
    const int64_t num = int64_t(a) * int64_t(b);
    const int64_t den = c;
    const bool negative = (num < 0) != (den < 0);
    const uint64_t n = uint64_t(num < 0 ? -num : num);
    const uint64_t d = uint64_t(den < 0 ? -den : den);
    uint64_t q = n / d;
    if ((n % d) * 2 >= d) ++q;
    const int64_t limit = std::numeric_limits<int>::max();
    const int64_t value = std::min<int64_t>(int64_t(q), limit);
    return int(negative ? -value : value);
}

// Makes `bitmap` an 8-bit bitmap of width x height. Only a bitmap of another format or size is touched, so a
// task's alpha bitmap is set up by the first frame and reused by all later ones.
void ShapeAlphaLike(TDib& alpha, const TDib& frame) {
    if (alpha.bitsPerPixel() != 8) alpha.setFormat(8);
    if (alpha.width() != frame.width() || alpha.height() != frame.height())
        alpha.setSize(frame.width(), frame.height());
}

// Fills the part of `rect` inside the bitmap with one colour.
void FillRect(TDib& target, const QRect& rect, const QColor& colour) {
    const QRect r = rect.intersected(QRect(0, 0, target.width(), target.height()));
    if (r.isEmpty()) return;
    const uint8_t b = uint8_t(colour.blue()), g = uint8_t(colour.green()), red = uint8_t(colour.red());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        uint8_t* p = target.scanLine(y) + size_t(r.left()) * 3;
        for (int x = r.left(); x <= r.right(); ++x, p += 3) {
            p[0] = b;
            p[1] = g;
            p[2] = red;
        }
    }
}

// Fills the part of `area` outside `hole` (up to four bands) with one colour.
void FillAround(TDib& target, const QRect& area, const QRect& hole, const QColor& colour) {
    const QRect h = hole.intersected(area);
    if (h.isEmpty()) {
        FillRect(target, area, colour);
        return;
    }
    FillRect(target, QRect(area.left(), area.top(), area.width(), h.top() - area.top()), colour);
    FillRect(target, QRect(area.left(), h.bottom() + 1, area.width(), area.bottom() - h.bottom()), colour);
    FillRect(target, QRect(area.left(), h.top(), h.left() - area.left(), h.height()), colour);
    FillRect(target, QRect(h.right() + 1, h.top(), area.right() - h.right(), h.height()), colour);
}

// Draws a premultiplied ARGB picture with its top-left corner at `at` over the panel's background colour,
// clipped to `clip` and the bitmap. The player's pictures are opaque, so this is normally a plain copy: each
// pixel is stored as four bytes (the fourth is overwritten by the next pixel).
void DrawPicture(TDib& target, const QImage& picture, QPoint at, const QRect& clip,
                 const QColor& background) {
    const QRect r =
        QRect(at, picture.size()).intersected(clip).intersected(QRect(0, 0, target.width(), target.height()));
    if (r.isEmpty()) return;
    const uint32_t bb = uint32_t(background.blue()), bg = uint32_t(background.green()),
                   br = uint32_t(background.red());
    const int count = r.width();
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const auto* src =
            reinterpret_cast<const uint32_t*>(picture.constScanLine(y - at.y())) + (r.left() - at.x());
        uint8_t* dst = target.scanLine(y) + size_t(r.left()) * 3;
        if constexpr (std::endian::native == std::endian::little) {
            // Copied as if opaque, in one pass; a row that turns out to hold a translucent pixel is drawn
            // again below.
            if (PackPixelsBgr(src, dst, count)) continue;
        }
        for (int i = 0; i < count; ++i, dst += 3) {
            const uint32_t p = src[i];
            const uint32_t a = p >> 24;
            const uint8_t sb = uint8_t(p), sg = uint8_t(p >> 8), sr = uint8_t(p >> 16);
            if (a == 255) {
                dst[0] = sb;
                dst[1] = sg;
                dst[2] = sr;
            } else {
                // Premultiplied source over the panel's background.
                const uint32_t inv = 255 - a;
                dst[0] = uint8_t(std::min<uint32_t>(255, sb + (bb * inv + 127) / 255));
                dst[1] = uint8_t(std::min<uint32_t>(255, sg + (bg * inv + 127) / 255));
                dst[2] = uint8_t(std::min<uint32_t>(255, sr + (br * inv + 127) / 255));
            }
        }
    }
}

// What the panel shows, painted into `target` at (0, 0): the panel's background, then the player's picture at
// its widget size and at its place in the panel. Without a panel the player stands alone at (0, 0). A player
// hidden in the panel, or not inside it at all, is not painted. Returns false when there is nothing to paint
// from. Each pixel is written once: the background only around the picture, and under its translucent pixels.
bool PaintPanel(const TGrabSource& source, TDib& target) {
    QWidget* panel = source.panel ? source.panel : source.player;
    if (!panel) return false;
    const QRect panelRect(QPoint(0, 0), panel->size());
    const QColor background = panel->palette().color(panel->backgroundRole());

    TShockwaveFlash* player = source.player;
    QPoint offset(0, 0);
    QImage picture;
    if (player && (panel == player || (panel->isAncestorOf(player) && player->isVisibleTo(panel)))) {
        if (panel != player) offset = player->mapTo(panel, QPoint(0, 0));
        picture = player->currentPicture(player->size());
    }
    if (picture.isNull()) {
        FillRect(target, panelRect, background);
        return true;
    }
    if (picture.format() != QImage::Format_ARGB32_Premultiplied)
        picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    FillAround(target, panelRect, QRect(offset, picture.size()), background);
    DrawPicture(target, picture, offset, panelRect, background);
    return true;
}

// frameW x frameH pixels from `full` at (x, y) to (0, 0) of `frame`. Frame pixels whose source lies outside
// the full bitmap keep what they held.
void CopyCrop(const TDib& full, TDib& frame, int x, int y) {
    const int64_t x0 = std::max<int64_t>(0, -int64_t(x));
    const int64_t x1 = std::min<int64_t>(frame.width(), int64_t(full.width()) - x);
    const int64_t y0 = std::max<int64_t>(0, -int64_t(y));
    const int64_t y1 = std::min<int64_t>(frame.height(), int64_t(full.height()) - y);
    if (x0 >= x1 || y0 >= y1) return;
    const size_t bytes = size_t(x1 - x0) * 3;
    for (int64_t dy = y0; dy < y1; ++dy) {
        const uint8_t* src = full.scanLine(int(dy + y)) + size_t(x0 + x) * 3;
        std::copy_n(src, bytes, frame.scanLine(int(dy)) + size_t(x0) * 3);
    }
}

}  // namespace

// Four pixels at a time with a byte shuffle where the processor has one (every x86-64 of
// the last fifteen years), each written as 16 bytes whose last four the next pixels overwrite; else one
// pixel at a time, stored as four bytes the same way.
#if defined(__x86_64__)
namespace {

__attribute__((target("ssse3"))) bool PackRowShuffled(const uint32_t* src, uint8_t* dst, int count) {
    const __m128i order = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    __m128i all = _mm_set1_epi32(-1);
    int i = 0;
    // The 16-byte store reaches 4 bytes past the 12 it fills: at least two more pixels must follow.
    for (; i + 6 <= count; i += 4) {
        const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        all = _mm_and_si128(all, p);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + size_t(i) * 3), _mm_shuffle_epi8(p, order));
    }
    alignas(16) uint32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), all);
    uint32_t opaque = lanes[0] & lanes[1] & lanes[2] & lanes[3] & 0xFF000000u;
    for (; i < count; ++i) {
        const uint32_t p = src[i];
        opaque &= p;
        dst[size_t(i) * 3] = uint8_t(p);
        dst[size_t(i) * 3 + 1] = uint8_t(p >> 8);
        dst[size_t(i) * 3 + 2] = uint8_t(p >> 16);
    }
    return opaque == 0xFF000000u;
}

}  // namespace
#endif

bool PackPixelsBgr(const uint32_t* src, uint8_t* dst, int count) {
#if defined(__x86_64__)
    static const bool shuffle = __builtin_cpu_supports("ssse3");
    if (shuffle) return PackRowShuffled(src, dst, count);
#endif
    uint32_t opaque = 0xFF000000u;
    for (int i = 0; i < count - 1; ++i) {
        opaque &= src[i];
        std::memcpy(dst + size_t(i) * 3, &src[i], 4);
    }
    const uint32_t p = src[count - 1];
    opaque &= p;
    uint8_t* last = dst + size_t(count - 1) * 3;
    last[0] = uint8_t(p);
    last[1] = uint8_t(p >> 8);
    last[2] = uint8_t(p >> 16);
    return opaque == 0xFF000000u;
}

void FitSize(int srcW, int srcH, int boxW, int boxH, int* w, int* h) {
    if (srcW == 0 || srcH == 0) {
        *w = srcW;
        *h = srcH;
        return;
    }
    const double heightRatio = double(boxH) / double(srcH);
    const double widthRatio = double(boxW) / double(srcW);
    if (heightRatio > widthRatio) {
        *w = boxW;
        *h = MulDivRound(srcH, boxW, srcW);
    } else {
        *w = MulDivRound(srcW, boxH, srcH);
        *h = boxH;
    }
}

TFrameSizes ComputeFrameSizes(const TCovSettings& task) {
    TFrameSizes s;
    if (task.destIsCrop) {
        if (task.destIsKeepAspectRatio) {
            FitSize(task.swfW, task.swfH, task.destCropW, task.destCropH, &s.frameW, &s.frameH);
            FitSize(task.swfW, task.swfH, task.destW, task.destH, &s.panelW, &s.panelH);
        } else {
            s.frameW = task.destCropW;
            s.frameH = task.destCropH;
            s.panelW = task.destW;
            s.panelH = task.destH;
        }
    } else {
        if (task.destIsKeepAspectRatio) {
            FitSize(task.swfW, task.swfH, task.destW, task.destH, &s.frameW, &s.frameH);
        } else {
            s.frameW = task.destW;
            s.frameH = task.destH;
        }
        s.panelW = task.destW;
        s.panelH = task.destH;
    }
    return s;
}

uint8_t PixelIntensity(const uint8_t* pixel) {
    // Weights of blue, green and red sum to 256, so the shifted value never exceeds 255.
    const int v = (21 * pixel[0] + 174 * pixel[1] + 61 * pixel[2]) >> 8;
    return uint8_t(std::clamp(v, 0, 255));
}

const uint8_t* SqrtTable() {
    static const std::array<uint8_t, 256> table = [] {
        std::array<uint8_t, 256> t{};
        for (int i = 0; i < 256; ++i)
            t[size_t(i)] = uint8_t(std::trunc(std::sqrt(i / 255.0) * 255.0));
        return t;
    }();
    return table.data();
}

void IntensityToAlpha(TDib& alpha, const TDib& frame, bool useSquareRoot) {
    ShapeAlphaLike(alpha, frame);
    const uint8_t* curve = useSquareRoot ? SqrtTable() : nullptr;
    for (int y = 0; y < frame.height(); ++y) {
        const uint8_t* src = frame.scanLine(y);
        uint8_t* dst = alpha.scanLine(y);
        for (int x = 0; x < frame.width(); ++x, src += 3) {
            const uint8_t v = PixelIntensity(src);
            dst[x] = curve ? curve[v] : v;
        }
    }
}

void ColorToAlpha(TDib& alpha, const TDib& frame, uint32_t colour) {
    ShapeAlphaLike(alpha, frame);
    const uint8_t keyBlue = uint8_t(colour), keyGreen = uint8_t(colour >> 8), keyRed = uint8_t(colour >> 16);
    for (int y = 0; y < frame.height(); ++y) {
        const uint8_t* src = frame.scanLine(y);
        uint8_t* dst = alpha.scanLine(y);
        for (int x = 0; x < frame.width(); ++x, src += 3)
            dst[x] = (src[0] == keyBlue && src[1] == keyGreen && src[2] == keyRed) ? 0 : 255;
    }
}

bool GrabFrame(const TGrabSource& source, TDib* frame, TDib* alpha, TDib* full, int alphaMode,
               int frameNumber, int x, int y) {
    if (!frame) return false;
    try {
        // The pixel loops below write three bytes a pixel; an 8-bit bitmap here is the caller's mistake.
        if (frame->bitsPerPixel() != 24 || (full && full->bitsPerPixel() != 24)) return false;
        if (frameNumber >= 0) {
            if (!source.player) return false;
            source.player->GotoFrame(frameNumber);
            source.player->StopPlay();
        }
        if (full) {
            if (!PaintPanel(source, *full)) return false;
            CopyCrop(*full, *frame, x, y);
        } else if (!PaintPanel(source, *frame)) {
            return false;
        }
        if (alpha && alphaMode > 0) {
            switch (alphaMode) {
                case 1:
                    IntensityToAlpha(*alpha, *frame, false);
                    break;
                case 2:
                    IntensityToAlpha(*alpha, *frame, true);
                    break;
                case 3:
                    ColorToAlpha(*alpha, *frame, source.bgColor);
                    break;
                default:
                    break;
            }
        }
        return true;
    } catch (...) {
        return false;
    }
}

void CaptureFrame(const TGrabSource& source, const TCovSettings& task, const TCaptureBitmaps& bitmaps,
                  int frameNumber) {
    // Both fields are compared as signed bytes, as the task-list file may hold any byte there.
    const bool alphaWanted = static_cast<int8_t>(task.destColorDepth) > 0 &&
                             static_cast<int8_t>(task.destAlphaMode) > 0 && bitmaps.alpha &&
                             bitmaps.alphaImage;
    TDib* full = task.destIsCrop ? bitmaps.full : nullptr;
    const int x = full ? task.destCropX : 0;
    const int y = full ? task.destCropY : 0;
    if (!bitmaps.frame) return;
    if (!alphaWanted) {
        GrabFrame(source, bitmaps.frame, nullptr, full, -1, frameNumber, x, y);
        MclDIBToImg(bitmaps.frameImage, *bitmaps.frame);
        return;
    }
    GrabFrame(source, bitmaps.frame, bitmaps.alpha, full, static_cast<int8_t>(task.destAlphaMode),
              frameNumber, x, y);
    MclDIBToImg(bitmaps.frameImage, *bitmaps.frame);
    MclDIBToImg(bitmaps.alphaImage, *bitmaps.alpha);
    MclImgAddAlpha(bitmaps.frameImage, bitmaps.alphaImage);
}
