#include "mcl/mcl_frame_clock.h"

extern "C" {
#include <libavutil/mathematics.h>
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
    // ceil(k * output / source) for the k frames of this stretch, in integers: k * on * sd / (od * sn).
    const int64_t k = delivered_ - stretchInput_;
    const int64_t num = static_cast<int64_t>(output_.num) * source_.den;
    const int64_t den = static_cast<int64_t>(output_.den) * source_.num;
    const int64_t total = stretchOutput_ + av_rescale_rnd(k, num, den, AV_ROUND_UP);
    const int64_t count = total - written_;
    written_ = total;
    return count;
}
