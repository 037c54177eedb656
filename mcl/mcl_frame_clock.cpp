#include "mcl/mcl_frame_clock.h"

#include <algorithm>

extern "C" {
#include <libavutil/mathematics.h>  // av_d2q
}

MclFrameClock::MclFrameClock(AVRational outputRate, bool keepDuration)
    : output_(outputRate), keep_(keepDuration) {}

int64_t MclFrameClock::next(double sourceRate) {
    ++delivered_;
    if (!keep_) {
        ++written_;
        return 1;
    }
    AVRational rate = sourceRate > 0 ? av_d2q(sourceRate, 65535) : source_;
    if (rate.num <= 0 || rate.den <= 0) rate = output_;
    if (av_cmp_q(rate, source_) != 0) {
        // A new stretch starts where the output stands now.
        source_ = rate;
        stretchInput_ = delivered_ - 1;
        stretchOutput_ = written_;
    }
    // round(k * output / source) for the k frames of this stretch, in integers: with r = n / d,
    // floor((2 k n + d) / (2 d)).
    const int64_t k = delivered_ - stretchInput_;
    const __int128 n = static_cast<__int128>(output_.num) * source_.den;
    const __int128 d = static_cast<__int128>(output_.den) * source_.num;
    int64_t total = stretchOutput_ + static_cast<int64_t>((2 * k * n + d) / (2 * d));
    if (delivered_ == 1) total = std::max<int64_t>(total, 1);  // the movie's first frame always shows
    total = std::max(total, written_);
    const int64_t count = total - written_;
    written_ = total;
    return count;
}
