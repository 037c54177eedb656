#include "mcl/ffmpeg/frame_converter.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace mcl::ff {
namespace {

bool IsPlanarRgb(AVPixelFormat f) {
    return f == AV_PIX_FMT_GBRP || f == AV_PIX_FMT_GBRAP;
}

// No scaling happens (same size in and out); the filter only shapes chroma subsampling. Bit-exact arithmetic
// keeps the output identical across CPUs.
constexpr int kSwsFlags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_BITEXACT | SWS_FULL_CHR_H_INP;

}  // namespace

std::unique_ptr<FrameConverter> FrameConverter::create(int width, int height, AVPixelFormat source,
                                                       AVPixelFormat target, MclStatus* status) {
    MclStatus ignored;
    MclStatus& st = status ? *status : ignored;
    st = MclStatus{};
    if (width <= 0 || height <= 0 || (source != AV_PIX_FMT_BGR24 && source != AV_PIX_FMT_BGRA)) {
        st = MclStatus::Error(MclError::InvalidArgument, "frame converter: unsupported source picture");
        return nullptr;
    }
    std::unique_ptr<FrameConverter> converter(new FrameConverter);
    converter->width_ = width;
    converter->height_ = height;
    converter->source_ = source;
    converter->target_ = target;
    if (!IsPlanarRgb(target)) {
        converter->sws_.reset(sws_getContext(width, height, source, width, height, target, kSwsFlags, nullptr,
                                             nullptr, nullptr));
        if (!converter->sws_) {
            const char* name = av_get_pix_fmt_name(target);
            st = MclStatus::Error(MclError::Unsupported,
                                  std::string("frame converter: no conversion to ") + (name ? name : "?"));
            return nullptr;
        }
    }
    return converter;
}

void FrameConverter::convert(const uint8_t* pixels, int stride, AVFrame* frame) const {
    if (sws_) {
        const uint8_t* src[4] = {pixels, nullptr, nullptr, nullptr};
        const int srcStride[4] = {stride, 0, 0, 0};
        sws_scale(sws_.get(), src, srcStride, 0, height_, frame->data, frame->linesize);
        return;
    }
    // GBR(A) planes: plane 0 green, 1 blue, 2 red, 3 alpha.
    const int bpp = source_ == AV_PIX_FMT_BGRA ? 4 : 3;
    const bool withAlpha = target_ == AV_PIX_FMT_GBRAP;
    for (int y = 0; y < height_; ++y) {
        const uint8_t* in = pixels + static_cast<ptrdiff_t>(y) * stride;
        uint8_t* g = frame->data[0] + static_cast<ptrdiff_t>(y) * frame->linesize[0];
        uint8_t* b = frame->data[1] + static_cast<ptrdiff_t>(y) * frame->linesize[1];
        uint8_t* r = frame->data[2] + static_cast<ptrdiff_t>(y) * frame->linesize[2];
        uint8_t* a = withAlpha ? frame->data[3] + static_cast<ptrdiff_t>(y) * frame->linesize[3] : nullptr;
        for (int x = 0; x < width_; ++x, in += bpp) {
            b[x] = in[0];
            g[x] = in[1];
            r[x] = in[2];
            if (a) a[x] = bpp == 4 ? in[3] : 255;
        }
    }
}

}  // namespace mcl::ff
