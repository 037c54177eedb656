#include "mcl/ffmpeg/ff_log.h"

#include <cstdarg>
#include <memory>
#include <mutex>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "mcl/mcl.h"

namespace mcl::ff {
namespace {

thread_local int t_quietDepth = 0;

struct SinkState {
    std::mutex mutex;
    int maxLevel = AV_LOG_ERROR;
    std::shared_ptr<MclLogSink> sink;
    std::string pending;  // a line FFmpeg handed over in pieces, until its newline
    int pendingLevel = AV_LOG_ERROR;
};

SinkState& State() {
    static SinkState state;
    return state;
}

void FilteredLog(void* avcl, int level, const char* fmt, va_list args) {
    if (t_quietDepth > 0) return;
    SinkState& st = State();
    std::shared_ptr<MclLogSink> sink;
    int maxLevel;
    {
        std::lock_guard<std::mutex> lock(st.mutex);
        sink = st.sink;
        maxLevel = st.maxLevel;
    }
    if (!sink) {
        // No one collects FFmpeg's lines: errors only, so its chatter never breaks the caller's output.
        if (level <= AV_LOG_ERROR) av_log_default_callback(avcl, level, fmt, args);
        return;
    }
    if (level > maxLevel) return;
    char buffer[1024];
    int printPrefix = 1;
    av_log_format_line2(avcl, level, fmt, args, buffer, sizeof buffer, &printPrefix);
    std::string text;
    {
        std::lock_guard<std::mutex> lock(st.mutex);
        st.pending += buffer;
        if (st.pending.empty() || st.pending.back() != '\n') return;  // the rest of the line follows
        text.swap(st.pending);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (!text.empty()) (*sink)(level, text);
}

}  // namespace

void InstallLog() {
    static std::once_flag installed;
    std::call_once(installed, [] { av_log_set_callback(FilteredLog); });
}

QuietLog::QuietLog() {
    InstallLog();
    ++t_quietDepth;
}

QuietLog::~QuietLog() {
    --t_quietDepth;
}

}  // namespace mcl::ff

void MclSetLogSink(int32_t maxLevel, MclLogSink sink) {
    mcl::ff::InstallLog();
    mcl::ff::SinkState& st = mcl::ff::State();
    std::lock_guard<std::mutex> lock(st.mutex);
    st.maxLevel = maxLevel;
    st.sink = sink ? std::make_shared<MclLogSink>(std::move(sink)) : nullptr;
    st.pending.clear();
}
