// The hooked host: the order of the clock notifications, the swallow rule, the frame gate built on them,
// and the mouse switch.
#include <QEnterEvent>
#include <QMouseEvent>
#include <QTest>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "capture/shockwave_flash_ex.h"
#include "tests/capture/capture_test_util.h"

namespace {

using namespace capturetest;

class ShockwaveFlashEx : public ::testing::Test {
  protected:
    void SetUp() override { ensureApp(); }
    MovieFiles files;
};

// Records, in order, what happened on each clock message.
struct Journal {
    std::vector<std::string> lines;
    void hook(TShockwaveFlashEx& host, bool withSkipHandler) {
        auto note = [this](const char* what) {
            return [this, what](TShockwaveFlashEx* sender) {
                lines.push_back(std::string(what) + "@" + std::to_string(sender->CurrentFrame()));
            };
        };
        host.OnBeforeTimer = note("before");
        host.OnAfterTimer = note("after");
        if (withSkipHandler) host.OnSkipTimer = note("skip");
        host.OnFSCommand = [this](TShockwaveFlash* sender, const QString& command, const QString&) {
            lines.push_back(command.toStdString() + "@" + std::to_string(sender->CurrentFrame()));
        };
    }
};

TEST_F(ShockwaveFlashEx, DefaultsLetEverythingThrough) {
    TShockwaveFlashEx host;
    EXPECT_FALSE(host.PreviewMsg);
    EXPECT_FALSE(host.SkipTimer);
    host.Movie(QString::fromStdString(files.threeFrames()));
    host.tick();  // no handlers assigned: the movie still advances
    EXPECT_EQ(host.CurrentFrame(), 2);
}

TEST_F(ShockwaveFlashEx, ClockMessagesNotifyBeforeAndAfterOrAreSwallowed) {
    struct Case {
        const char* what;
        bool skipTimer;
        bool skipHandler;
        std::vector<std::string> journal;
        int frameAfter;
    } cases[] = {
        {"let through", false, true, {"before@1", "enterFrame@2", "after@2"}, 2},
        {"swallowed, OnSkipTimer", true, true, {"skip@1"}, 1},
        {"swallowed silently", true, false, {}, 1},
    };
    for (const Case& c : cases) {
        TShockwaveFlashEx host;
        host.Movie(QString::fromStdString(files.threeFrames()));
        ASSERT_TRUE(host.LoadMovie(88, fpsMovie()));
        Journal j;
        j.hook(host, c.skipHandler);
        host.SkipTimer = c.skipTimer;
        QImage before = host.currentPicture(QSize(40, 40));
        int renders = host.renderCount();
        host.tick();
        EXPECT_EQ(j.lines, c.journal) << c.what;
        EXPECT_EQ(host.CurrentFrame(), c.frameAfter) << c.what;
        QImage after = host.currentPicture(QSize(40, 40));
        EXPECT_EQ(rgbAt(after, 20, 20), kFrameColour[c.frameAfter]) << c.what;
        if (c.skipTimer) {
            EXPECT_EQ(after.cacheKey(), before.cacheKey()) << c.what << ": no repaint";
            EXPECT_EQ(host.renderCount(), renders) << c.what;
        }
    }
}

TEST_F(ShockwaveFlashEx, SwallowedTicksFreezeTheMovieUntilReleased) {
    TShockwaveFlashEx host;
    host.Movie(QString::fromStdString(files.threeFrames()));
    host.SkipTimer = true;
    for (int i = 0; i < 10; ++i)
        host.tick();
    EXPECT_EQ(host.CurrentFrame(), 1);
    EXPECT_TRUE(host.IsPlaying()) << "frozen, not stopped";
    host.SkipTimer = false;
    host.tick();
    EXPECT_EQ(host.CurrentFrame(), 2);
}

TEST_F(ShockwaveFlashEx, FrameGateHoldsEveryShownFrameUntilCaptured) {
    // The handshake the converter builds on the hook: "enterFrame" holds the movie, the capture marks the
    // frame taken, the next swallowed tick releases the hold.
    TShockwaveFlashEx host;
    host.PreviewMsg = true;
    host.Movie(QString::fromStdString(files.threeFrames()));
    bool frameReady = false;
    host.OnFSCommand = [&](TShockwaveFlash* sender, const QString& command, const QString&) {
        if (command != "enterFrame") return;
        static_cast<TShockwaveFlashEx*>(sender)->SkipTimer = true;
        frameReady = true;
    };
    host.OnSkipTimer = [&](TShockwaveFlashEx* sender) {
        if (!frameReady) sender->SkipTimer = false;
    };
    ASSERT_TRUE(host.LoadMovie(88, fpsMovie()));
    host.StopPlay();
    host.Play();

    std::vector<uint32_t> captured;
    for (int tick = 0; tick < 40 && captured.size() < 7; ++tick) {
        if (frameReady) {
            captured.push_back(rgbAt(host.currentPicture(QSize(40, 40)), 20, 20));
            frameReady = false;
        }
        host.tick();
    }
    std::vector<uint32_t> expected = {kFrameColour[1], kFrameColour[2], kFrameColour[3], kFrameColour[1],
                                      kFrameColour[2], kFrameColour[3], kFrameColour[1]};
    EXPECT_EQ(captured, expected) << "every frame once, none dropped";

    // Held and not yet captured: any number of ticks keeps the frame.
    ASSERT_FALSE(frameReady);
    host.tick();  // releases the hold
    host.tick();  // advances, enterFrame holds again
    ASSERT_TRUE(frameReady);
    int held = host.CurrentFrame();
    for (int i = 0; i < 5; ++i)
        host.tick();
    EXPECT_EQ(host.CurrentFrame(), held);
}

// A host that records what reaches the movie.
class RecordingHost : public TShockwaveFlashEx {
  public:
    std::vector<QEvent::Type> reachedMovie;

  protected:
    void movieMouseEvent(QEvent* event) override {
        reachedMovie.push_back(event->type());
        TShockwaveFlashEx::movieMouseEvent(event);
    }
};

TEST_F(ShockwaveFlashEx, MouseSwitch) {
    enum Kind { Press, RightPress, DoubleClick, Release, Move, Enter, Leave };
    struct Case {
        const char* what;
        Kind kind;
        const char* hostEvent;  // fired when PreviewMsg is false
    } cases[] = {
        {"left press", Press, "down"},
        {"right press", RightPress, "down"},
        {"double click", DoubleClick, "down"},
        {"release", Release, "up"},
        {"move", Move, "move"},
        {"enter", Enter, "enter"},
        {"leave", Leave, "leave"},
    };
    auto send = [](QWidget& w, Kind kind) {
        QPointF at(5, 5), global = w.mapToGlobal(at);
        switch (kind) {
            case Enter: {
                QEnterEvent e(at, at, global);
                QCoreApplication::sendEvent(&w, &e);
                return;
            }
            case Leave: {
                QEvent e(QEvent::Leave);
                QCoreApplication::sendEvent(&w, &e);
                return;
            }
            default:
                break;
        }
        QEvent::Type type = kind == Release       ? QEvent::MouseButtonRelease
                            : kind == DoubleClick ? QEvent::MouseButtonDblClick
                            : kind == Move        ? QEvent::MouseMove
                                                  : QEvent::MouseButtonPress;
        Qt::MouseButton button = kind == RightPress ? Qt::RightButton
                                 : kind == Move     ? Qt::NoButton
                                                    : Qt::LeftButton;
        Qt::MouseButtons held = Qt::NoButton;
        if (kind == Press || kind == DoubleClick) held = Qt::LeftButton;
        if (kind == RightPress) held = Qt::RightButton;
        QMouseEvent e(type, at, global, button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(&w, &e);
    };
    for (bool preview : {false, true}) {
        for (const Case& c : cases) {
            RecordingHost host;
            host.resize(40, 40);
            host.PreviewMsg = preview;
            std::map<std::string, int> fired;
            auto count = [&fired, &host](const char* name) {
                return [&fired, &host, name](TShockwaveFlashEx* sender) {
                    EXPECT_EQ(sender, &host);
                    ++fired[name];
                };
            };
            host.OnMouseDown = count("down");
            host.OnMouseUp = count("up");
            host.OnMouseMove = count("move");
            host.OnMouseEnter = count("enter");
            host.OnMouseLeave = count("leave");
            send(host, c.kind);
            std::string label = std::string(c.what) + (preview ? ", PreviewMsg true" : ", PreviewMsg false");
            if (preview) {
                EXPECT_TRUE(fired.empty()) << label;
                EXPECT_EQ(host.reachedMovie.size(), 1u) << label << ": normal handling";
            } else {
                EXPECT_EQ(fired, (std::map<std::string, int>{{c.hostEvent, 1}})) << label;
                EXPECT_TRUE(host.reachedMovie.empty()) << label << ": nothing reaches the movie";
            }
        }
    }
}

TEST_F(ShockwaveFlashEx, DoubleClickFromTheInputSystemIsAMouseDown) {
    RecordingHost host;
    host.resize(40, 40);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    host.reachedMovie.clear();
    int downs = 0;
    host.OnMouseDown = [&](TShockwaveFlashEx*) { ++downs; };
    auto clicks = [&host] {
        return std::count_if(host.reachedMovie.begin(), host.reachedMovie.end(), [](QEvent::Type t) {
            return t == QEvent::MouseButtonPress || t == QEvent::MouseButtonDblClick ||
                   t == QEvent::MouseButtonRelease;
        });
    };
    QTest::mouseDClick(&host, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_GE(downs, 1) << "the double click is a mouse down";
    EXPECT_EQ(clicks(), 0) << "and the movie never sees it";

    // Unassigned handler: still kept from the movie.
    host.OnMouseDown = nullptr;
    QTest::mouseDClick(&host, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_EQ(clicks(), 0);

    // PreviewMsg true: the same input reaches the movie and fires nothing.
    int before = downs;
    host.OnMouseDown = [&](TShockwaveFlashEx*) { ++downs; };
    host.PreviewMsg = true;
    QTest::mouseDClick(&host, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    EXPECT_GE(clicks(), 1);
    EXPECT_EQ(downs, before);
}

}  // namespace

TEST_F(ShockwaveFlashEx, ClicksAndKeysReachTheMoviesButtonsOnlyInPreview) {
    // A 40x40 movie shown at 80x80: a button over (10,10)-(20,20) of the stage raises fscommand("clicked")
    // on release and fscommand("enter") on the Enter key.
    auto b = movie(40, 40, 1);
    b.tag(kDefineShape3, rectShape(1, 10, 10, 20, 20, 0xFF0000));
    testswf::ButtonRecordSpec up;
    up.hit = true;
    auto command = [](const char* what) {
        return testswf::ActionWriter().getURL(std::string("FSCommand:") + what, "").withEnd();
    };
    b.tag(kDefineButton2,
          testswf::defineButton2(2, false, {up},
                                 {{0x0008, command("clicked")}, {uint16_t(13 << 9), command("enter")}}));
    b.tag(kPlaceObject2, place(2, 1)).showFrame();
    std::string path = files.write("button.swf", b.end().build());
    for (bool preview : {false, true}) {
        TShockwaveFlashEx host;
        host.resize(80, 80);
        host.PreviewMsg = preview;
        host.Movie(QString::fromStdString(path));
        std::vector<std::string> commands;
        host.OnFSCommand = [&](TShockwaveFlash*, const QString& c, const QString&) {
            commands.push_back(c.toStdString());
        };
        QTest::mouseMove(&host, QPoint(5, 5));
        QTest::mouseClick(&host, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));  // beside the button
        QTest::mouseMove(&host, QPoint(30, 30));
        QTest::mouseClick(&host, Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));  // on it (stage 15,15)
        QTest::keyClick(&host, Qt::Key_Return);
        if (preview)
            EXPECT_EQ(commands, (std::vector<std::string>{"clicked", "enter"}));
        else
            EXPECT_TRUE(commands.empty()) << "input is the host's while PreviewMsg is false";
    }
}
