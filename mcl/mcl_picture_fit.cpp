#include "mcl/mcl_picture_fit.h"

#include <algorithm>
#include <cmath>
#include <cstring>

MclFitRect MclFitPicture(int pictureW, int pictureH, int frameW, int frameH, AVRational sampleAspect) {
    MclFitRect r{0, 0, frameW, frameH};
    if (pictureW <= 0 || pictureH <= 0 || frameW <= 0 || frameH <= 0) return r;
    const double sar = sampleAspect.num > 0 && sampleAspect.den > 0 ? av_q2d(sampleAspect) : 1.0;
    // Fit in the units the frame is seen in (its width stretched by the sample aspect ratio).
    const double scale = std::min(frameW * sar / pictureW, static_cast<double>(frameH) / pictureH);
    int w = static_cast<int>(std::lround(pictureW * scale / sar));
    int h = static_cast<int>(std::lround(pictureH * scale));
    w = std::clamp(w, 1, frameW);
    h = std::clamp(h, 1, frameH);
    if (frameW - w <= 2) w = frameW;
    if (frameH - h <= 2) h = frameH;
    r.width = w;
    r.height = h;
    r.x = (frameW - w) / 2;
    r.y = (frameH - h) / 2;
    return r;
}

MclPictureFitter::MclPictureFitter(int frameW, int frameH, AVRational sampleAspect, bool alpha)
    : frameW_(frameW), frameH_(frameH), sar_(sampleAspect), alpha_(alpha), bpp_(alpha ? 4 : 3) {}

mcl::MclStatus MclPictureFitter::fit(const MclImage& image, const uint8_t** pixels, int* stride) {
    const size_t w = image.width > 0 ? static_cast<size_t>(image.width) : 0;
    const size_t h = image.height > 0 ? static_cast<size_t>(image.height) : 0;
    const bool valid = w > 0 && h > 0 && image.bgr.size() >= w * h * 3;
    const size_t canvasSize = static_cast<size_t>(frameW_) * frameH_ * bpp_;
    if (canvas_.size() != canvasSize) {
        canvas_.assign(canvasSize, 0);
        canvasRect_ = MclFitRect{-1, -1, -1, -1};
    }
    *stride = frameW_ * bpp_;
    if (!valid) {
        std::fill(canvas_.begin(), canvas_.end(), uint8_t{0});
        canvasRect_ = MclFitRect{0, 0, 0, 0};
        *pixels = canvas_.data();
        return {};
    }

    // The picture in the writer's packed layout.
    const uint8_t* source = image.bgr.data();
    int sourceStride = static_cast<int>(w * 3);
    if (alpha_) {
        const bool hasAlpha = image.alpha.size() >= w * h;
        packed_.resize(w * h * 4);
        for (size_t i = 0; i < w * h; ++i) {
            packed_[i * 4 + 0] = image.bgr[i * 3 + 0];
            packed_[i * 4 + 1] = image.bgr[i * 3 + 1];
            packed_[i * 4 + 2] = image.bgr[i * 3 + 2];
            packed_[i * 4 + 3] = hasAlpha ? image.alpha[i] : 255;
        }
        source = packed_.data();
        sourceStride = static_cast<int>(w * 4);
    }

    // A picture of the frame's own size was made for the frame (a disc format's picture drawn on its
    // non-square pixels): it goes in as it is, whatever the sample aspect ratio.
    const MclFitRect r = image.width == frameW_ && image.height == frameH_
                             ? MclFitRect{0, 0, frameW_, frameH_}
                             : MclFitPicture(image.width, image.height, frameW_, frameH_, sar_);
    if (r.x == 0 && r.y == 0 && r.width == image.width && r.height == image.height) {
        *pixels = source;
        *stride = sourceStride;
        return {};
    }

    if (r.x != canvasRect_.x || r.y != canvasRect_.y || r.width != canvasRect_.width ||
        r.height != canvasRect_.height) {
        std::fill(canvas_.begin(), canvas_.end(), uint8_t{0});
        canvasRect_ = r;
    }
    if (!sws_ || swsSourceW_ != image.width || swsSourceH_ != image.height) {
        const AVPixelFormat format = alpha_ ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
        sws_.reset(sws_getContext(image.width, image.height, format, r.width, r.height, format,
                                  SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr));
        if (!sws_) {
            return mcl::MclStatus::Error(mcl::MclError::Unsupported, "cannot scale a picture of " +
                                                                         std::to_string(image.width) + "x" +
                                                                         std::to_string(image.height));
        }
        swsSourceW_ = image.width;
        swsSourceH_ = image.height;
    }
    const uint8_t* src[4] = {source, nullptr, nullptr, nullptr};
    const int srcStride[4] = {sourceStride, 0, 0, 0};
    uint8_t* dst[4] = {canvas_.data() + static_cast<size_t>(r.y) * *stride + static_cast<size_t>(r.x) * bpp_,
                       nullptr, nullptr, nullptr};
    const int dstStride[4] = {*stride, 0, 0, 0};
    sws_scale(sws_.get(), src, srcStride, 0, image.height, dst, dstStride);
    *pixels = canvas_.data();
    return {};
}
