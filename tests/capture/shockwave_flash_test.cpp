// The player widget: loading and unloading by the Movie text, frame navigation in the system's numbering,
// the playback clock, FSCommand delivery from the frame-event movie, painting and the render-once rule.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QSignalSpy>

#include <vector>

#include "capture/shockwave_flash.h"
#include "tests/capture/capture_test_util.h"

namespace {

using namespace capturetest;

class ShockwaveFlash : public ::testing::Test {
  protected:
    void SetUp() override { ensureApp(); }
    MovieFiles files;
};

TEST_F(ShockwaveFlash, MovieTextLoadsAtOnceAndASpaceUnloads) {
    TShockwaveFlash w;
    EXPECT_EQ(w.Movie(), QString());
    EXPECT_EQ(w.TotalFrames(), 0);
    EXPECT_EQ(w.timerInterval(), 0) << "no clock without a movie";

    QString path = QString::fromStdString(files.threeFrames());
    w.Movie(path);
    EXPECT_EQ(w.Movie(), path);
    EXPECT_EQ(w.TotalFrames(), 3) << "loaded when the call returns";
    EXPECT_EQ(w.CurrentFrame(), 1);
    EXPECT_TRUE(w.IsPlaying()) << "a loaded movie plays";
    EXPECT_TRUE(w.LoadError().isEmpty()) << w.LoadError().toStdString();
    EXPECT_EQ(rgbAt(w.currentPicture(QSize(40, 40)), 20, 20), kFrameColour[1]) << "paints at once";

    w.Movie(" ");
    EXPECT_EQ(w.Movie(), QString(" "));
    EXPECT_EQ(w.TotalFrames(), 0);
    EXPECT_EQ(w.CurrentFrame(), 0);
    EXPECT_FALSE(w.IsPlaying());
    EXPECT_EQ(w.timerInterval(), 0);
    EXPECT_EQ(rgbAt(w.currentPicture(QSize(40, 40)), 20, 20), 0xFFFFFFu) << "an empty player shows white";

    QString missing = path + ".missing";
    w.Movie(path);
    w.Movie(missing);
    EXPECT_EQ(w.Movie(), missing) << "the text last set, even when it does not load";
    EXPECT_EQ(w.TotalFrames(), 0) << "a failed load leaves nothing loaded";
    EXPECT_FALSE(w.LoadError().isEmpty());
}

TEST_F(ShockwaveFlash, ClockRunsAtTheMoviesFrameRate) {
    struct Case {
        uint16_t rate88;
        int intervalMs;
    } cases[] = {
        {25 << 8, 40},
        {12 << 8, 83},
        {0, 83},                // a rate of 0 runs at the default 12 frames per second
        {255 << 8, 4},          // the fastest rate the header can state
        {1, 256000},            // 1/256 frame per second
        {(30 << 8) | 128, 33},  // 30.5
    };
    for (const Case& c : cases) {
        TShockwaveFlash w;
        w.Movie(QString::fromStdString(files.threeFrames(c.rate88)));
        EXPECT_EQ(w.timerInterval(), c.intervalMs) << "rate88 " << c.rate88;
    }
}

TEST_F(ShockwaveFlash, FramesCountFromOneForGotoAndCurrentFrame) {
    TShockwaveFlash w;
    w.Movie(QString::fromStdString(files.threeFrames()));
    struct Step {
        const char* what;
        void (*op)(TShockwaveFlash&);
        int frame;
    } steps[] = {
        {"GotoFrame(2)", [](TShockwaveFlash& f) { f.GotoFrame(2); }, 2},
        {"Forward", [](TShockwaveFlash& f) { f.Forward(); }, 3},
        {"Forward at the end", [](TShockwaveFlash& f) { f.Forward(); }, 3},
        {"Back", [](TShockwaveFlash& f) { f.Back(); }, 2},
        {"Back", [](TShockwaveFlash& f) { f.Back(); }, 1},
        {"Back at the start", [](TShockwaveFlash& f) { f.Back(); }, 1},
        {"GotoFrame(3)", [](TShockwaveFlash& f) { f.GotoFrame(3); }, 3},
        {"GotoFrame(1)", [](TShockwaveFlash& f) { f.GotoFrame(1); }, 1},
        {"GotoFrame(0)", [](TShockwaveFlash& f) { f.GotoFrame(0); }, 1},
        {"GotoFrame(99)", [](TShockwaveFlash& f) { f.GotoFrame(99); }, 3},
    };
    w.StopPlay();
    for (const Step& s : steps) {
        s.op(w);
        EXPECT_EQ(w.CurrentFrame(), s.frame) << s.what;
        // The frame asked for is the frame shown: frame n has colour n.
        EXPECT_EQ(rgbAt(w.currentPicture(QSize(40, 40)), 20, 20), kFrameColour[s.frame]) << s.what;
        EXPECT_FALSE(w.IsPlaying()) << s.what << " leaves a stopped movie stopped";
    }
}

TEST_F(ShockwaveFlash, TicksAdvanceAPlayingMovieOnly) {
    TShockwaveFlash w;
    w.Movie(QString::fromStdString(files.threeFrames()));
    w.tick();
    EXPECT_EQ(w.CurrentFrame(), 2);
    w.StopPlay();
    EXPECT_FALSE(w.IsPlaying());
    for (int i = 0; i < 3; ++i)
        w.tick();
    EXPECT_EQ(w.CurrentFrame(), 2) << "the shown frame stays while stopped";
    EXPECT_EQ(rgbAt(w.currentPicture(QSize(40, 40)), 20, 20), kFrameColour[2]);
    w.Play();
    EXPECT_TRUE(w.IsPlaying());
    w.tick();
    EXPECT_EQ(w.CurrentFrame(), 3);
    w.tick();
    EXPECT_EQ(w.CurrentFrame(), 1) << "the timeline loops";
    EXPECT_EQ(rgbAt(w.currentPicture(QSize(40, 40)), 20, 20), kFrameColour[1]);

    TShockwaveFlash empty;
    empty.tick();  // a tick without a movie is harmless
    EXPECT_EQ(empty.CurrentFrame(), 0);
}

TEST_F(ShockwaveFlash, TheClockAdvancesThePlayingMovieByItself) {
    TShockwaveFlash w;
    w.Movie(QString::fromStdString(files.threeFrames(100 << 8)));  // 10 ms a frame
    ASSERT_EQ(w.CurrentFrame(), 1);
    QElapsedTimer t;
    t.start();
    while (w.CurrentFrame() == 1 && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(w.CurrentFrame(), 2);

    w.StopPlay();
    int frame = w.CurrentFrame();
    t.restart();
    while (t.elapsed() < 100)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(w.CurrentFrame(), frame) << "the clock does not move a stopped movie";
}

TEST_F(ShockwaveFlash, FrameEventMovieInLevel88RaisesEnterFrameOncePerTick) {
    TShockwaveFlash w;
    w.Movie(QString::fromStdString(files.threeFrames()));
    std::vector<std::pair<QString, QString>> viaCallback;
    w.OnFSCommand = [&](TShockwaveFlash* sender, const QString& command, const QString& args) {
        EXPECT_EQ(sender, &w);
        viaCallback.emplace_back(command, args);
    };
    QSignalSpy spy(&w, &TShockwaveFlash::FSCommand);
    ASSERT_TRUE(w.LoadMovie(88, fpsMovie())) << w.LoadError().toStdString();
    EXPECT_EQ(viaCallback.size(), 1u) << "its first frame is shown as it loads";
    EXPECT_EQ(w.Movie(), QString::fromStdString(files.threeFrames())) << "LoadMovie leaves the Movie text";

    w.StopPlay();
    for (int tick = 1; tick <= 5; ++tick) {
        w.tick();
        EXPECT_EQ(viaCallback.size(), size_t(1 + tick)) << "tick " << tick << ", level 0 stopped";
    }
    EXPECT_EQ(spy.count(), int(viaCallback.size())) << "the signal fires with the callback";
    for (const auto& [command, args] : viaCallback)
        EXPECT_EQ(command, QString("enterFrame"));
    EXPECT_EQ(w.CurrentFrame(), 1);
    EXPECT_EQ(rgbAt(w.currentPicture(QSize(40, 40)), 20, 20), kFrameColour[1]) << "it draws nothing";

    w.Movie(" ");
    w.tick();
    EXPECT_EQ(viaCallback.size(), 6u) << "unloading level 0 removes level 88 too";
}

TEST_F(ShockwaveFlash, AnFsCommandHandlerMayUnloadTheMovie) {
    // The handler runs after the engine has returned, so unloading inside it is safe.
    TShockwaveFlash w;
    w.Movie(QString::fromStdString(files.threeFrames()));
    int events = 0;
    ASSERT_TRUE(w.LoadMovie(88, fpsMovie()));
    w.OnFSCommand = [&](TShockwaveFlash* sender, const QString&, const QString&) {
        ++events;
        sender->Movie(" ");
    };
    w.tick();
    EXPECT_EQ(events, 1);
    EXPECT_EQ(w.TotalFrames(), 0);
    w.tick();
    EXPECT_EQ(events, 1);
}

TEST_F(ShockwaveFlash, PaintsTheMovieScaledOverTheChosenBackground) {
    TShockwaveFlash w;
    w.resize(80, 40);  // twice as wide as the stage: 20 pixels of background left and right
    w.Movie(QString::fromStdString(files.squareOnBackground()));
    const uint32_t own = MovieFiles::kOwnBackground;
    struct Step {
        const char* what;
        void (*op)(TShockwaveFlash&);
        uint32_t background;
        int backgroundColor;
        const char* bgText;
    } steps[] = {
        {"the movie's own", [](TShockwaveFlash&) {}, own, -1, ""},
        {"BackgroundColor", [](TShockwaveFlash& f) { f.BackgroundColor(0x00FF00); }, 0x00FF00, 0x00FF00,
         "00FF00"},
        {"BGColor \" \" clears it", [](TShockwaveFlash& f) { f.BGColor(" "); }, own, -1, ""},
        {"BGColor #RRGGBB", [](TShockwaveFlash& f) { f.BGColor("#0000ff"); }, 0x0000FF, 0x0000FF, "0000FF"},
        {"BGColor RRGGBB", [](TShockwaveFlash& f) { f.BGColor("FFFF00"); }, 0xFFFF00, 0xFFFF00, "FFFF00"},
        {"BGColor not a colour", [](TShockwaveFlash& f) { f.BGColor("#12"); }, own, -1, ""},
        {"BackgroundColor high byte ignored", [](TShockwaveFlash& f) { f.BackgroundColor(0x7F00FFFF); },
         0x00FFFF, 0x00FFFF, "00FFFF"},
        {"BackgroundColor -1 clears it", [](TShockwaveFlash& f) { f.BackgroundColor(-1); }, own, -1, ""},
    };
    for (const Step& s : steps) {
        s.op(w);
        QImage shot = w.grab().toImage();
        ASSERT_EQ(shot.size(), QSize(80, 40)) << s.what;
        EXPECT_EQ(rgbAt(shot, 40, 20), 0xFF0000u) << s.what << ": the square in the middle";
        EXPECT_EQ(rgbAt(shot, 5, 20), s.background) << s.what << ": left margin";
        EXPECT_EQ(rgbAt(shot, 30, 5), s.background) << s.what << ": stage around the square";
        EXPECT_EQ(rgbAt(shot, 75, 35), s.background) << s.what << ": right margin";
        EXPECT_EQ(w.BackgroundColor(), s.backgroundColor) << s.what;
        EXPECT_EQ(w.BGColor(), QString(s.bgText)) << s.what;
    }
}

TEST_F(ShockwaveFlash, RendersOncePerShownFrame) {
    TShockwaveFlash w;
    w.resize(40, 40);
    w.Movie(QString::fromStdString(files.threeFrames()));
    const int start = w.renderCount();

    QImage first = w.currentPicture(QSize(40, 40));
    EXPECT_EQ(w.renderCount(), start + 1);
    EXPECT_EQ(w.currentPicture(QSize(40, 40)).cacheKey(), first.cacheKey()) << "same frame, same size";
    QImage painted = w.grab().toImage();
    EXPECT_EQ(w.renderCount(), start + 1) << "painting at that size reuses the picture";
    EXPECT_EQ(rgbAt(painted, 20, 20), kFrameColour[1]);

    w.currentPicture(QSize(20, 20));
    EXPECT_EQ(w.renderCount(), start + 2) << "another size is drawn anew";

    struct Change {
        const char* what;
        void (*op)(TShockwaveFlash&);
    } changes[] = {
        {"tick", [](TShockwaveFlash& f) { f.tick(); }},
        {"GotoFrame", [](TShockwaveFlash& f) { f.GotoFrame(1); }},
        {"Forward", [](TShockwaveFlash& f) { f.Forward(); }},
        {"Back", [](TShockwaveFlash& f) { f.Back(); }},
        {"BackgroundColor", [](TShockwaveFlash& f) { f.BackgroundColor(0x123456); }},
        {"LoadMovie", [](TShockwaveFlash& f) { f.LoadMovie(88, fpsMovie()); }},
    };
    for (const Change& c : changes) {
        qint64 before = w.currentPicture(QSize(40, 40)).cacheKey();
        int count = w.renderCount();
        c.op(w);
        QImage after = w.currentPicture(QSize(40, 40));
        EXPECT_NE(after.cacheKey(), before) << c.what;
        EXPECT_EQ(w.renderCount(), count + 1) << c.what;
        w.currentPicture(QSize(40, 40));
        w.grab();
        EXPECT_EQ(w.renderCount(), count + 1) << c.what << ": once only";
    }
    EXPECT_TRUE(w.currentPicture(QSize(0, 10)).isNull());
}

// A new frame is drawn into the last picture's memory only once no one holds that picture: a picture kept
// (a preview, a grab in progress) keeps showing its frame.
TEST_F(ShockwaveFlash, PictureHeldByTheCallerIsNotDrawnOver) {
    TShockwaveFlash w;
    w.resize(40, 40);
    w.Movie(QString::fromStdString(files.threeFrames()));
    w.StopPlay();
    QImage held = w.currentPicture(QSize(40, 40));
    w.Forward();
    QImage next = w.currentPicture(QSize(40, 40));
    EXPECT_EQ(rgbAt(held, 20, 20), kFrameColour[1]);
    EXPECT_EQ(rgbAt(next, 20, 20), kFrameColour[2]);
    EXPECT_NE(held.constBits(), next.constBits());

    const qint64 key = next.cacheKey();
    next = QImage();
    w.Forward();
    const QImage third = w.currentPicture(QSize(40, 40));
    EXPECT_EQ(rgbAt(third, 20, 20), kFrameColour[3]);
    EXPECT_NE(third.cacheKey(), key);
    EXPECT_EQ(rgbAt(held, 20, 20), kFrameColour[1]);
}

}  // namespace
