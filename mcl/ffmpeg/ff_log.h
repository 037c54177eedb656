// FFmpeg's log output, as far as the media library is concerned.
// mcl installs FFmpeg's process-wide log callback once (the first QuietLog): it prints through FFmpeg's
// default printer, except messages raised on a thread while a QuietLog lives there. The codec probe opens
// encoders at sizes they may refuse; those refusals are expected answers, not errors for the user's terminal.
#pragma once

namespace mcl::ff {

class QuietLog {
  public:
    QuietLog();
    ~QuietLog();
    QuietLog(const QuietLog&) = delete;
    QuietLog& operator=(const QuietLog&) = delete;
};

}  // namespace mcl::ff
