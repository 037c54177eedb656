// `tolvikan convert` progress: the live line's rate and time left, the plain log, and JSON events that a JSON
// reader takes (one object per line, texts escaped).
#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>
#include <sstream>

#include "app/convert_progress.h"

namespace {

using cli::TConvertReporter;
using cli::TReportMode;

// Collects what a reporter writes to its two streams.
struct Capture {
    char* errBuf = nullptr;
    size_t errLen = 0;
    char* outBuf = nullptr;
    size_t outLen = 0;
    std::FILE* err = open_memstream(&errBuf, &errLen);
    std::FILE* out = open_memstream(&outBuf, &outLen);
    ~Capture() {
        std::fclose(err);
        std::fclose(out);
        std::free(errBuf);
        std::free(outBuf);
    }
    std::string errText() {
        std::fflush(err);
        return std::string(errBuf, errLen);
    }
    std::string outText() {
        std::fflush(out);
        return std::string(outBuf, outLen);
    }
};

TEST(ConvertProgress, DurationsReadAsClockTimes) {
    EXPECT_EQ(cli::formatDuration(0), "0:00");
    EXPECT_EQ(cli::formatDuration(7.4), "0:07");
    EXPECT_EQ(cli::formatDuration(754), "12:34");
    EXPECT_EQ(cli::formatDuration(3723), "1:02:03");
    EXPECT_EQ(cli::formatDuration(-3), "0:00");
    EXPECT_EQ(cli::formatDuration(1.0 / 0.0), "0:00");
}

TEST(ConvertProgress, TerminalLineShowsRateAndTimeLeftFromTheFirstFrameOn) {
    Capture cap;
    double now = 100;
    TConvertReporter r(TReportMode::Terminal, {{"/m/a.swf", "/m/a.avi"}, {"/m/b.swf", "/m/b.avi"}}, cap.err,
                       cap.out, [&] { return now; });
    r.totalProgress(0, 2);
    r.currentProgress(0, 100);
    now += 5;  // loading the movie: not part of the rate
    r.currentProgress(1, 100);
    now += 1;
    r.currentProgress(11, 100);  // 10 frames in one second: 89 left take 8.9 s
    std::string text = cap.errText();
    size_t last = text.rfind('\r');
    ASSERT_NE(last, std::string::npos) << text;
    std::string line = text.substr(last + 1);
    EXPECT_NE(line.find("[1/2] a.swf  11/100 frames  10.0 fps  0:09 left"), std::string::npos) << line;
    EXPECT_TRUE(cap.outText().empty());

    // A status line goes above the live line, which comes back under it.
    r.statusLine("Status:> Finish converting \"a.swf\" to AVI.");
    text = cap.errText();
    EXPECT_NE(text.find("\r\x1b[KStatus:> Finish converting \"a.swf\" to AVI.\n\r[1/2]"), std::string::npos);
}

TEST(ConvertProgress, LogModeWritesStatusLinesAndFailuresOnly) {
    Capture cap;
    TConvertReporter r(TReportMode::Log, {{"/m/a.swf", "/m/a.gif"}}, cap.err, cap.out, [] { return 0.0; });
    r.totalProgress(0, 1);
    r.statusLine("Status:> Converting \"a.swf\" to GIF Animation. | /m/a.gif");
    r.currentProgress(1, 10);
    r.taskEnded(0, false, "movie missing: /m/a.swf");
    r.finished(0, 1, false, 1);
    EXPECT_EQ(cap.errText(),
              "Status:> Converting \"a.swf\" to GIF Animation. | /m/a.gif\n"
              "tolvikan convert: /m/a.swf: not converted: movie missing: /m/a.swf\n"
              "tolvikan convert: 0 of 1 task converted\n");
}

TEST(ConvertProgress, JsonEventsParseOnePerLine) {
    Capture cap;
    TConvertReporter r(TReportMode::Json, {{"/m/q\"uote.swf", "/m/out\\dir/"}}, cap.err, cap.out,
                       [] { return 0.0; });
    r.totalProgress(0, 1);
    r.statusLine("Status:> Converting \"q\"uote.swf\"\tto Image Sequence.");
    r.currentProgress(3, 4);
    r.taskEnded(0, true, "cancelled");
    r.finished(1, 0, false, 0);
    EXPECT_TRUE(cap.errText().empty());

    std::stringstream ss(cap.outText());
    std::vector<QJsonObject> events;
    for (std::string line; std::getline(ss, line);) {
        QJsonParseError e;
        QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &e);
        ASSERT_EQ(e.error, QJsonParseError::NoError) << line;
        events.push_back(doc.object());
    }
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0]["event"].toString(), "tasks");
    EXPECT_EQ(events[1]["line"].toString(), "Status:> Converting \"q\"uote.swf\"\tto Image Sequence.");
    EXPECT_EQ(events[2]["frames"].toInt(), 3);
    EXPECT_EQ(events[2]["total"].toInt(), 4);
    EXPECT_EQ(events[3]["event"].toString(), "task");
    EXPECT_EQ(events[3]["movie"].toString(), "/m/q\"uote.swf");
    EXPECT_EQ(events[3]["output"].toString(), "/m/out\\dir/");
    EXPECT_TRUE(events[3]["done"].toBool());
    EXPECT_EQ(events[3]["reason"].toString(), "cancelled");
    EXPECT_EQ(events[4]["event"].toString(), "finished");
    EXPECT_EQ(events[4]["exitStatus"].toInt(), 0);
}

}  // namespace
