// GIF animation output end to end: real movies through the conversion window, the files decoded by FFmpeg.
#include <QDir>
#include <QFile>

#include <string>
#include <vector>

#include "convert_test_util.h"
#include "gif_test_util.h"

namespace {

using namespace convtest;

class GifOutput : public ConvertTest {};

QImage DecodedPicture(const gif_test::Decoded& d, size_t index) {
    QImage picture(d.width, d.height, QImage::Format_RGB888);
    for (int y = 0; y < d.height; ++y)
        for (int x = 0; x < d.width; ++x)
            picture.setPixel(x, y, d.frames[index].argb[size_t(y) * d.width + x]);
    return picture;
}

TEST_F(GifOutput, EveryFrameOfTheRangeWithTheEnginesPictureAndTheFrameDelay) {
    struct Case {
        const char* what;
        TSequenceMode mode;
        int start, end;
        int gifRate;
        int delay;  // hundredths, as FFmpeg's demuxer reports them
    } cases[] = {
        {"normal, 12 fps", smNormal, 1, 6, 12, 8},
        {"from frame 2, 25 fps", smNormal, 2, 5, 25, 4},
        {"frame by frame, 16 fps (62.5 ms rounds to 62)", smFrameByFrame, 1, 4, 16, 6},
        {"rate 0 takes the movie's 12 fps", smNormal, 1, 3, 0, 8},
        {"negative rate takes the movie's 12 fps", smSkipBackward, 1, 3, -5, 8},
    };
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 6);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        journal = {};
        TCovSettings task = Task(movie, dtGIF, "square.gif");
        task.destSequenceMode = c.mode;
        task.destStartFrame = c.start;
        task.destEndFrame = c.end;
        task.destGIFFrameRate = c.gifRate;
        Run({&task});
        const gif_test::Decoded d = gif_test::DecodeWithFfmpeg(Out("square.gif"));
        ASSERT_TRUE(d.ok) << d.error;
        EXPECT_EQ(d.width, 80);
        EXPECT_EQ(d.height, 60);
        ASSERT_EQ(d.frames.size(), size_t(c.end - c.start + 1));
        for (size_t i = 0; i < d.frames.size(); ++i) {
            const int f = c.start + int(i);
            EXPECT_EQ(MaxChannelDifference(DecodedPicture(d, i), ReferenceFrame(movie, f, QSize(80, 60))), 0)
                << "frame " << f;
        }
        for (int64_t duration : d.packetDurations)
            EXPECT_EQ(duration * 100 * d.timeBaseNum / d.timeBaseDen, c.delay);
        ASSERT_EQ(journal.ends.size(), 1u);
        EXPECT_TRUE(journal.ends[0].done);
    }
}

TEST_F(GifOutput, LoopingAndRepeatCountReachTheFile) {
    struct Case {
        const char* what;
        bool looping;
        int32_t repeat;
        int expected;  // NETSCAPE2.0 loop count, -1: no extension
    } cases[] = {
        {"looping forever", true, 0, 0},
        {"looping 3 times", true, 3, 3},
        {"only the low 16 bits", true, 65536 + 7, 7},
        {"looping off", false, 5, -1},
    };
    const std::string movie = WriteMovingSquareMovie(Folder(), "loop.swf", 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TCovSettings task = Task(movie, dtGIF, "loop.gif");
        task.destSequenceMode = smFrameByFrame;
        task.destGIFIsLooping = c.looping;
        task.destGIFRepeatCount = c.repeat;
        Run({&task});
        QFile file(QString::fromStdString(Out("loop.gif")));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray raw = file.readAll();
        const gif_test::Parsed p = gif_test::Parse(std::vector<uint8_t>(raw.begin(), raw.end()));
        ASSERT_TRUE(p.ok) << p.error;
        int found = -1;
        for (const gif_test::Extension& e : p.leadingExtensions)
            if (e.label == 0xFF && e.subBlocks.size() >= 2 && e.subBlocks[1].size() == 3)
                found = e.subBlocks[1][1] | (e.subBlocks[1][2] << 8);
        EXPECT_EQ(found, c.expected);
    }
}

TEST_F(GifOutput, NothingCapturedSkipsTheFileAndTheRunGoesOn) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 3);
    TCovSettings empty = Task(movie, dtGIF, "empty.gif");
    empty.destStartFrame = 3;
    empty.destEndFrame = 2;
    TCovSettings next = Task(movie, dtGIF, "next.gif");
    Run({&empty, &next});
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Out("empty.gif"))));
    EXPECT_TRUE(QFile::exists(QString::fromStdString(Out("next.gif"))));
    EXPECT_TRUE(journal.messages.empty());
    ASSERT_EQ(journal.ends.size(), 2u);
    EXPECT_FALSE(journal.ends[0].done);
    EXPECT_EQ(journal.ends[0].reason, "no frame captured");
    EXPECT_TRUE(journal.ends[1].done);
    ASSERT_GE(journal.lines.size(), 2u);
    EXPECT_EQ(journal.lines[1], "Status:> No frame captured from \"square.swf\", no GIF Animation written.");
}

TEST_F(GifOutput, AFileThatCannotBeWrittenEndsTheRunWithTheWritersMessage) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 2);
    TCovSettings blocked = Task(movie, dtGIF, "taken");
    QDir().mkpath(QString::fromStdString(Out("taken")));  // a folder where the file should go
    TCovSettings next = Task(movie, dtGIF, "next.gif");
    Run({&blocked, &next});
    EXPECT_FALSE(QFile::exists(QString::fromStdString(Out("next.gif")))) << "the run ended";
    ASSERT_EQ(journal.messages.size(), 1u);
    EXPECT_EQ(journal.messages[0], QString::fromStdString("Cannot create file " + Out("taken")));
    ASSERT_FALSE(journal.lines.empty());
    EXPECT_EQ(journal.lines.back(), "Status:> All Finished");
    ASSERT_EQ(journal.ends.size(), 1u);
    EXPECT_FALSE(journal.ends[0].done);
    EXPECT_FALSE(frm->Converting);
}

TEST_F(GifOutput, ThePlayersOwnClockPacesTheRunWithoutDroppingFrames) {
    // The movie's own timer drives the player here, as on screen; the gate still holds every frame.
    frm->FastClock = false;
    const std::string movie = WriteMovingSquareMovie(Folder(), "paced.swf", 4, 80, 60, 30);
    TCovSettings task = Task(movie, dtGIF, "paced.gif");
    Run({&task});
    const gif_test::Decoded d = gif_test::DecodeWithFfmpeg(Out("paced.gif"));
    ASSERT_TRUE(d.ok) << d.error;
    ASSERT_EQ(d.frames.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(
            MaxChannelDifference(DecodedPicture(d, i), ReferenceFrame(movie, int(i) + 1, QSize(80, 60))), 0)
            << "frame " << i + 1;
}

}  // namespace
