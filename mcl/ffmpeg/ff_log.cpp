#include "mcl/ffmpeg/ff_log.h"

#include <cstdarg>
#include <mutex>

extern "C" {
#include <libavutil/log.h>
}

namespace mcl::ff {
namespace {

thread_local int t_quietDepth = 0;

void FilteredLog(void* avcl, int level, const char* fmt, va_list args) {
    if (t_quietDepth > 0) return;
    av_log_default_callback(avcl, level, fmt, args);
}

}  // namespace

QuietLog::QuietLog() {
    static std::once_flag installed;
    std::call_once(installed, [] { av_log_set_callback(FilteredLog); });
    ++t_quietDepth;
}

QuietLog::~QuietLog() {
    --t_quietDepth;
}

}  // namespace mcl::ff
