// FFmpeg's log output, as far as the media library is concerned.
// mcl installs FFmpeg's process-wide log callback once (InstallLog, or the first QuietLog): lines go to the
// sink of MclSetLogSink (mcl.h), or errors alone to stderr without one, except messages raised on a thread
// while a QuietLog lives there. The codec probe opens
// encoders at sizes they may refuse; those refusals are expected answers, not errors for the user's terminal.
#pragma once

namespace mcl::ff {

// Puts the media library's log callback in place of FFmpeg's printer; once per process, any thread.
void InstallLog();

class QuietLog {
  public:
    QuietLog();
    ~QuietLog();
    QuietLog(const QuietLog&) = delete;
    QuietLog& operator=(const QuietLog&) = delete;
};

}  // namespace mcl::ff
