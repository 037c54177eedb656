// Image sequence output end to end: real movies through the conversion window, the written stills compared
// with the engine's own pictures of the same frames.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QTimer>

#include <string>
#include <vector>

#include "capture/frame_grab.h"
#include "convert_test_util.h"

namespace {

using namespace convtest;

class ImageSequence : public ConvertTest {
  protected:
    std::vector<std::string> Written() const {
        QDir out(QDir(dir.path()).filePath("out"));
        std::vector<std::string> names;
        for (const QString& name : out.entryList(QDir::Files, QDir::Name))
            names.push_back(name.toStdString());
        return names;
    }
};

TEST_F(ImageSequence, EveryStillIsTheEnginesPictureOfItsFrame) {
    struct Case {
        const char* what;
        TSequenceMode mode;
        int start, end;
        int destW, destH;
        bool keepAspect, crop;
        int cropX, cropY, cropW, cropH;
        QSize frame;     // expected still size
        QSize rendered;  // size the reference is rendered at; the still is its part at (cropX, cropY)
    } cases[] = {
        {"normal", smNormal, 1, 6, 80, 60, false, false, 0, 0, 0, 0, {80, 60}, {80, 60}},
        {"normal from frame 3", smNormal, 3, 5, 80, 60, false, false, 0, 0, 0, 0, {80, 60}, {80, 60}},
        {"skip goto backward", smSkipBackward, 1, 4, 80, 60, false, false, 0, 0, 0, 0, {80, 60}, {80, 60}},
        {"frame by frame", smFrameByFrame, 2, 5, 80, 60, false, false, 0, 0, 0, 0, {80, 60}, {80, 60}},
        {"scaled", smNormal, 1, 3, 160, 120, false, false, 0, 0, 0, 0, {160, 120}, {160, 120}},
        // Aspect kept without crop: the player fills 100 x 100, the frame keeps its top 75 rows.
        {"keep aspect", smNormal, 1, 3, 100, 100, true, false, 0, 0, 0, 0, {100, 75}, {100, 100}},
        {"crop", smFrameByFrame, 1, 4, 80, 60, false, true, 10, 8, 40, 30, {40, 30}, {80, 60}},
        // Crop with aspect kept: frame FitSize(80, 60, 40, 40) = 40 x 30 out of a 100 x 75 panel.
        {"crop, keep aspect", smNormal, 1, 3, 100, 100, true, true, 12, 6, 40, 40, {40, 30}, {100, 75}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
        journal = {};
        const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 6);
        TCovSettings task = Task(movie, dtImageSequence, "");
        task.destSequenceMode = c.mode;
        task.destStartFrame = c.start;
        task.destEndFrame = c.end;
        task.destW = c.destW;
        task.destH = c.destH;
        task.destIsKeepAspectRatio = c.keepAspect;
        task.destIsCrop = c.crop;
        task.destCropX = c.cropX;
        task.destCropY = c.cropY;
        task.destCropW = c.cropW;
        task.destCropH = c.cropH;
        std::vector<std::pair<int, int>> progress;
        auto connection =
            QObject::connect(frm.get(), &TInteractFrm::currentProgress, [&](int position, int maximum) {
                progress.push_back({position, maximum});
            });
        Run({&task});
        QObject::disconnect(connection);

        std::vector<std::string> expected;
        for (int f = c.start; f <= c.end; ++f)
            expected.push_back(std::to_string(f) + ".png");
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(Written(), expected);
        for (int f = c.start; f <= c.end; ++f) {
            QImage still(QString::fromStdString(Out(std::to_string(f) + ".png")));
            ASSERT_FALSE(still.isNull()) << f;
            EXPECT_EQ(still.size(), c.frame) << f;
            const QImage reference = ReferenceFrame(movie, f, c.rendered)
                                         .copy(c.cropX, c.cropY, c.frame.width(), c.frame.height());
            EXPECT_EQ(MaxChannelDifference(still, reference), 0) << "frame " << f;
        }
        const int total = c.end - c.start + 1;
        ASSERT_GE(progress.size(), 2u);
        EXPECT_EQ(progress.front(), std::make_pair(0, total));
        EXPECT_EQ(progress[progress.size() - 2], std::make_pair(total, total)) << "the last frame's position";
        ASSERT_EQ(journal.ends.size(), 1u);
        EXPECT_TRUE(journal.ends[0].done);
        EXPECT_TRUE(journal.messages.empty());
    }
}

TEST_F(ImageSequence, FileNamesGrowWithoutLeadingZerosAndJpegTakesItsQuality) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "long.swf", 101, 40, 30);
    TCovSettings task = Task(movie, dtImageSequence, "");
    task.destFilepath = QDir(dir.path()).filePath("out").toStdString();  // no trailing separator
    task.destSequenceMode = smFrameByFrame;
    task.destStartFrame = 98;
    task.destEndFrame = 101;
    task.destImageType = itJPEG;
    task.destImageJPEGQuality = 95;
    Run({&task});
    EXPECT_EQ(Written(), (std::vector<std::string>{"100.jpg", "101.jpg", "98.jpg", "99.jpg"}));
    QImage still(QString::fromStdString(Out("98.jpg")));
    ASSERT_FALSE(still.isNull());
    EXPECT_EQ(still.size(), QSize(40, 30));
    EXPECT_EQ(QFileInfo(QString::fromStdString(Out("98.jpg"))).suffix(), "jpg");
    const QImage reference = ReferenceFrame(movie, 98, QSize(40, 30));
    int worst = 0;
    for (int y = 2; y < 28; y += 5)
        for (int x = 2; x < 38; x += 5) {
            const QColor a = still.pixelColor(x, y), b = reference.pixelColor(x, y);
            worst = std::max({worst, std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                              std::abs(a.blue() - b.blue())});
        }
    EXPECT_LE(worst, 24) << "quality 95 keeps flat areas close";
}

TEST_F(ImageSequence, AlphaChannelOnlyFor32BitsWithAnAlphaMode) {
    struct Case {
        const char* what;
        TColorDepth depth;
        TAlphaMode mode;
        bool alpha;
    } cases[] = {
        {"32 bits, intensity", cd32BitAlpha, amIntensity, true},
        {"32 bits, no alpha mode", cd32BitAlpha, amNone, false},
        {"24 bits, intensity", cd24Bit, amIntensity, false},
    };
    const std::string movie = WriteMovingSquareMovie(Folder(), "alpha.swf", 2);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TCovSettings task = Task(movie, dtImageSequence, "");
        task.destFilepath = QDir(dir.path()).filePath(c.what).toStdString() + "/";
        task.destSequenceMode = smFrameByFrame;
        task.destEndFrame = 2;
        task.destColorDepth = c.depth;
        task.destAlphaMode = c.mode;
        Run({&task});
        for (int f = 1; f <= 2; ++f) {
            QImage still(QString::fromStdString(task.destFilepath + std::to_string(f) + ".png"));
            ASSERT_FALSE(still.isNull());
            EXPECT_EQ(still.hasAlphaChannel(), c.alpha);
            if (!c.alpha) continue;
            // Intensity of the pixel is its alpha: white background opaque, the square by its colour.
            const uint32_t rgb = SquareColour(f);
            const uint8_t bgr[3] = {uint8_t(rgb), uint8_t(rgb >> 8), uint8_t(rgb >> 16)};
            EXPECT_EQ(qAlpha(still.pixel(1, 1)), 255);
            EXPECT_EQ(qAlpha(still.pixel(SquareX(f) + 10, SquareY(f) + 10)), PixelIntensity(bgr));
        }
    }
}

TEST_F(ImageSequence, AnEmptyFrameRangeWritesNothingButBothLines) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "empty.swf", 3);
    TCovSettings task = Task(movie, dtImageSequence, "");
    task.destStartFrame = 3;
    task.destEndFrame = 2;
    Run({&task});
    EXPECT_TRUE(Written().empty());
    const std::vector<QString> expected = {
        "Status:> Converting \"empty.swf\" to Image Sequence. | " + QString::fromStdString(task.destFilepath),
        "Status:> Finish converting \"empty.swf\" to Image Sequence.",
        "Status:> All Finished",
    };
    EXPECT_EQ(journal.lines, expected);
    ASSERT_EQ(journal.ends.size(), 1u);
    EXPECT_TRUE(journal.ends[0].done);
}

TEST_F(ImageSequence, AStillThatCannotBeWrittenFailsTheTask) {
    const std::string movie = WriteMovingSquareMovie(Folder(), "square.swf", 5);
    TCovSettings task = Task(movie, dtImageSequence, "");
    // A folder where the third still belongs: no file can take its name, whoever runs the test.
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(Out("3.png"))));
    Run({&task});
    EXPECT_EQ(Written(), (std::vector<std::string>{"1.png", "2.png"})) << "the task stops at the failure";
    ASSERT_EQ(journal.ends.size(), 1u);
    EXPECT_FALSE(journal.ends[0].done);
    EXPECT_EQ(journal.ends[0].reason, "error: cannot write " + QString::fromStdString(Out("3.png")));
    ASSERT_GE(journal.lines.size(), 3u);
    EXPECT_EQ(journal.lines[1],
              "Status:> Error converting \"square.swf\" to Image Sequence. | cannot write " +
                  QString::fromStdString(Out("3.png")));
    EXPECT_EQ(journal.lines[2], "Status:> All Finished");
}

TEST_F(ImageSequence, SkipGotoBackwardRestartsAMovieThatStops) {
    // The movie stops itself on frame 3. Played normally it stays there and every later still shows frame 3;
    // "Skip goto backward" starts it again, so the stills go on with frames 4 to 6.
    const std::string movie = WriteMovingSquareMovie(Folder(), "stops.swf", 6, 80, 60, 12, 0xFFFFFF, 3);
    struct Case {
        const char* what;
        TSequenceMode mode;
        std::vector<int> frames;  // movie frame shown in still 1..6
    } cases[] = {
        {"normal", smNormal, {1, 2, 3, 3, 3, 3}},
        {"skip goto backward", smSkipBackward, {1, 2, 3, 4, 5, 6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TCovSettings task = Task(movie, dtImageSequence, "");
        task.destFilepath = Out(std::string(c.what) + "/");
        task.destSequenceMode = c.mode;
        QTimer::singleShot(10000, frm.get(), [this] { frm->StopConverting(); });  // guards against a hang
        Run({&task});
        for (int i = 1; i <= 6; ++i) {
            QImage still(QString::fromStdString(task.destFilepath + std::to_string(i) + ".png"));
            ASSERT_FALSE(still.isNull()) << i;
            EXPECT_EQ(MaxChannelDifference(still, ReferenceFrame(movie, c.frames[size_t(i - 1)], {80, 60})),
                      0)
                << "still " << i;
        }
    }
}

}  // namespace
