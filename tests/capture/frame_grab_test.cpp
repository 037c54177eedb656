// Frame sizes of a task, the alpha rules, and grabbing the player's picture out of its panel into bitmaps
// and media-library images.
#include <QPalette>
#include <QWidget>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "capture/frame_grab.h"
#include "capture/shockwave_flash_ex.h"
#include "tasks/cov_settings.h"
#include "tests/capture/capture_test_util.h"

namespace {

using namespace capturetest;

uint32_t DibRgb(const TDib& dib, int x, int y) {
    const uint8_t* p = dib.scanLine(y) + x * 3;
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

void FillDib(TDib& dib, uint32_t rgb) {
    for (int y = 0; y < dib.height(); ++y)
        for (int x = 0; x < dib.width(); ++x) {
            uint8_t* p = dib.scanLine(y) + x * 3;
            p[0] = uint8_t(rgb);
            p[1] = uint8_t(rgb >> 8);
            p[2] = uint8_t(rgb >> 16);
        }
}

TEST(FrameSizes, FitSizeKeepsTheAspectRatioAndRoundsHalvesAwayFromZero) {
    struct Case {
        int srcW, srcH, boxW, boxH, w, h;
    } cases[] = {
        {3, 2, 5, 5, 5, 3},  // height ratio greater: full box width, 10/3 rounds down
        {2, 3, 5, 5, 3, 5},  // width ratio greater
        {2, 2, 5, 5, 5, 5},  // equal ratios take the second branch
        {4, 2, 5, 5, 5, 3},  // 2.5 rounds up
        {550, 400, 640, 480, 640, 465},
        {550, 400, 200, 200, 200, 145},
        {0, 7, 5, 5, 0, 7},  // no source size: unchanged
        {7, 0, 5, 5, 7, 0},
        {-4, 2, 5, 5, 5, -3},                            // -2.5 rounds away from zero
        {100000, 99999, 100000, 100000, 100000, 99999},  // the product needs 64 bits
    };
    for (const Case& c : cases) {
        int w = -99, h = -99;
        FitSize(c.srcW, c.srcH, c.boxW, c.boxH, &w, &h);
        EXPECT_EQ(w, c.w) << c.srcW << "x" << c.srcH << " in " << c.boxW << "x" << c.boxH;
        EXPECT_EQ(h, c.h) << c.srcW << "x" << c.srcH << " in " << c.boxW << "x" << c.boxH;
    }
}

TEST(FrameSizes, CropAndAspectDecideFrameAndPanel) {
    struct Case {
        bool crop, keep;
        int frameW, frameH, panelW, panelH;
    } cases[] = {
        {false, false, 640, 480, 640, 480},
        {false, true, 640, 465, 640, 480},  // the frame keeps the top rows of the player's picture
        {true, false, 200, 200, 640, 480},
        {true, true, 200, 145, 640, 465},
    };
    for (const Case& c : cases) {
        TCovSettings task;
        task.swfW = 550;
        task.swfH = 400;
        task.destW = 640;
        task.destH = 480;
        task.destCropX = 10;
        task.destCropY = 20;
        task.destCropW = 200;
        task.destCropH = 200;
        task.destIsCrop = c.crop;
        task.destIsKeepAspectRatio = c.keep;
        TFrameSizes s = ComputeFrameSizes(task);
        EXPECT_EQ(s.frameW, c.frameW) << "crop " << c.crop << " keep " << c.keep;
        EXPECT_EQ(s.frameH, c.frameH) << "crop " << c.crop << " keep " << c.keep;
        EXPECT_EQ(s.panelW, c.panelW) << "crop " << c.crop << " keep " << c.keep;
        EXPECT_EQ(s.panelH, c.panelH) << "crop " << c.crop << " keep " << c.keep;
    }
}

TEST(AlphaRules, PixelIntensityWeighsBlueGreenRed) {
    struct Case {
        uint8_t bgr[3];
        int intensity;
    } cases[] = {
        {{255, 255, 255}, 255}, {{0, 0, 255}, 60}, {{0, 255, 0}, 173}, {{255, 0, 0}, 20}, {{0, 0, 0}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PixelIntensity(c.bgr), c.intensity)
            << int(c.bgr[0]) << "," << int(c.bgr[1]) << "," << int(c.bgr[2]);
}

TEST(AlphaRules, SqrtTableTruncatesTheCurve) {
    const uint8_t* t = SqrtTable();
    EXPECT_EQ(t[0], 0);
    EXPECT_EQ(t[1], 15);
    EXPECT_EQ(t[64], 127);
    EXPECT_EQ(t[255], 255);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(t[i], int(std::sqrt(i / 255.0) * 255.0)) << i;
    EXPECT_EQ(SqrtTable(), t) << "filled once, kept for the process";
}

// Rows of every width up to 21 (the whole-block part, the tail, both), with a translucent pixel nowhere or
// at each place: the bytes are the pixels' blue, green, red, nothing past the row is written, and a row
// is opaque exactly when no pixel is translucent.
TEST(FrameGrabRows, PackedPixelsKeepTheirColoursAndTellTranslucency) {
    for (int count = 1; count <= 21; ++count) {
        for (int translucent = -1; translucent < count; ++translucent) {
            std::vector<uint32_t> src(static_cast<size_t>(count));
            for (int i = 0; i < count; ++i)
                src[size_t(i)] = 0xFF000000u | uint32_t(i * 0x0A0B0C + 0x010203);
            if (translucent >= 0) src[size_t(translucent)] &= 0x7FFFFFFFu;
            std::vector<uint8_t> dst(size_t(count) * 3 + 8, 0xEE);
            const bool opaque = PackPixelsBgr(src.data(), dst.data(), count);
            EXPECT_EQ(opaque, translucent < 0) << count << " pixels, translucent at " << translucent;
            for (int i = 0; i < count; ++i) {
                const uint32_t p = src[size_t(i)];
                ASSERT_EQ(dst[size_t(i) * 3], uint8_t(p)) << count << " " << i;
                ASSERT_EQ(dst[size_t(i) * 3 + 1], uint8_t(p >> 8)) << count << " " << i;
                ASSERT_EQ(dst[size_t(i) * 3 + 2], uint8_t(p >> 16)) << count << " " << i;
            }
            for (size_t b = size_t(count) * 3; b < dst.size(); ++b)
                ASSERT_EQ(dst[b], 0xEE) << count << " pixels: byte " << b << " past the row";
        }
    }
}

// A 5-pixel-wide frame (rows padded from 15 to 16 bytes) with one colour a column.
TDib FiveColumns() {
    static const uint32_t kColumns[] = {0xFFFFFF, 0xFF0000, 0xFE0000, 0x0000FF, 0x000000};
    TDib frame(5, 3, 24);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            uint8_t* p = frame.scanLine(y) + x * 3;
            p[0] = uint8_t(kColumns[x]);
            p[1] = uint8_t(kColumns[x] >> 8);
            p[2] = uint8_t(kColumns[x] >> 16);
        }
    return frame;
}

TEST(AlphaRules, IntensityAndColourRulesShapeTheAlphaBitmapLikeTheFrame) {
    const TDib frame = FiveColumns();
    struct Case {
        const char* what;
        int rule;  // 0 intensity, 1 square root, 2 colour key red
        int alpha[5];
    } cases[] = {
        {"intensity", 0, {255, 60, 60, 20, 0}},
        {"square root", 1, {SqrtTable()[255], SqrtTable()[60], SqrtTable()[60], SqrtTable()[20], 0}},
        // Only the exact key colour is transparent: red one step darker stays opaque, and blue (the key's
        // bytes in the other order) too.
        {"colour key", 2, {255, 0, 255, 255, 255}},
    };
    for (const Case& c : cases) {
        TDib alpha(2, 9, 24);  // wrong format and size: the rule fixes both
        if (c.rule == 2)
            ColorToAlpha(alpha, frame, 0x00FF0000);
        else
            IntensityToAlpha(alpha, frame, c.rule == 1);
        ASSERT_EQ(alpha.bitsPerPixel(), 8) << c.what;
        ASSERT_EQ(alpha.width(), 5) << c.what;
        ASSERT_EQ(alpha.height(), 3) << c.what;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(alpha.scanLine(y)[x], c.alpha[x]) << c.what << " at " << x << "," << y;
    }
}

// A panel with the player inside it, as the conversion window lays them out.
struct Stage {
    static constexpr uint32_t kPanelColour = 0x123456;

    explicit Stage(QSize panelSize, QRect playerRect) {
        panel = std::make_unique<QWidget>();
        QPalette palette = panel->palette();
        palette.setColor(panel->backgroundRole(), QColor::fromRgb(kPanelColour));
        panel->setPalette(palette);
        panel->resize(panelSize);
        player = new TShockwaveFlashEx(panel.get());
        player->setGeometry(playerRect);
    }

    TGrabSource source(uint32_t bgColor = 0) const { return TGrabSource{player, panel.get(), bgColor}; }

    std::unique_ptr<QWidget> panel;
    TShockwaveFlashEx* player = nullptr;  // owned by the panel
};

class FrameGrab : public ::testing::Test {
  protected:
    void SetUp() override { ensureApp(); }
    MovieFiles files;
};

TEST_F(FrameGrab, FillingPlayerGivesItsOwnPictureRenderedOnce) {
    Stage stage(QSize(40, 40), QRect(0, 0, 40, 40));
    stage.player->Movie(QString::fromStdString(files.squareOnBackground()));
    stage.player->StopPlay();
    const QImage own = stage.player->currentPicture(QSize(40, 40));
    const int renders = stage.player->renderCount();

    TDib frame(40, 40, 24);
    ASSERT_TRUE(GrabFrame(stage.source(), &frame, nullptr, nullptr, -1, -1, 0, 0));
    ASSERT_TRUE(GrabFrame(stage.source(), &frame, nullptr, nullptr, -1, -1, 0, 0));
    EXPECT_EQ(stage.player->renderCount(), renders) << "the shown frame's picture is reused, not drawn again";
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            ASSERT_EQ(DibRgb(frame, x, y), rgbAt(own, x, y)) << x << "," << y;
    EXPECT_EQ(DibRgb(frame, 20, 20), 0xFF0000u);
    EXPECT_EQ(DibRgb(frame, 2, 2), MovieFiles::kOwnBackground);

    // A new frame is drawn once, however many grabs take it.
    stage.player->tick();
    GrabFrame(stage.source(), &frame, nullptr, nullptr, -1, -1, 0, 0);
    GrabFrame(stage.source(), &frame, nullptr, nullptr, -1, -1, 0, 0);
    EXPECT_EQ(stage.player->renderCount(), renders + 1);
}

TEST_F(FrameGrab, PanelBackgroundShowsWherePlayerDoesNotCover) {
    // A 40 x 40 player at (10, 5) of a 60 x 50 panel; the frame bitmap (56 x 47) is smaller than the panel,
    // so the panel's picture is clipped to its top-left part.
    Stage stage(QSize(60, 50), QRect(10, 5, 40, 40));
    stage.player->Movie(QString::fromStdString(files.squareOnBackground()));
    const QImage own = stage.player->currentPicture(QSize(40, 40));

    TDib frame(56, 47, 24);
    ASSERT_TRUE(GrabFrame(stage.source(), &frame, nullptr, nullptr, -1, -1, 0, 0));
    for (int y = 0; y < 47; ++y)
        for (int x = 0; x < 56; ++x) {
            const bool inPlayer = x >= 10 && x < 50 && y >= 5 && y < 45;
            const uint32_t want = inPlayer ? rgbAt(own, x - 10, y - 5) : Stage::kPanelColour;
            ASSERT_EQ(DibRgb(frame, x, y), want) << x << "," << y;
        }

    stage.player->hide();
    ASSERT_TRUE(GrabFrame(stage.source(), &frame, nullptr, nullptr, -1, -1, 0, 0));
    EXPECT_EQ(DibRgb(frame, 30, 25), Stage::kPanelColour) << "a hidden player paints nothing";
}

TEST_F(FrameGrab, CropCopiesFromTheFullPicture) {
    Stage stage(QSize(40, 40), QRect(0, 0, 40, 40));
    stage.player->Movie(QString::fromStdString(files.squareOnBackground()));

    struct Case {
        const char* what;
        int x, y;
        uint32_t topLeft, bottomRight;
    } cases[] = {
        {"inside the square", 10, 10, 0xFF0000, 0xFF0000},
        {"square's corner", 15, 15, 0xFF0000, MovieFiles::kOwnBackground},
        // Pixels whose source lies outside the full bitmap keep what the frame held.
        {"reaching outside", 30, 30, MovieFiles::kOwnBackground, 0xABCDEF},
        {"before the origin", -5, -5, 0xABCDEF, 0xFF0000},
    };
    for (const Case& c : cases) {
        TDib full(40, 40, 24), frame(20, 20, 24);
        FillDib(frame, 0xABCDEF);
        ASSERT_TRUE(GrabFrame(stage.source(), &frame, nullptr, &full, -1, -1, c.x, c.y)) << c.what;
        EXPECT_EQ(DibRgb(frame, 0, 0), c.topLeft) << c.what;
        EXPECT_EQ(DibRgb(frame, 19, 19), c.bottomRight) << c.what;
        EXPECT_EQ(DibRgb(full, 20, 20), 0xFF0000u) << c.what << ": the full bitmap holds the whole picture";
    }
}

TEST_F(FrameGrab, FrameNumberMovesAndStopsThePlayerMinusOneLeavesIt) {
    Stage stage(QSize(40, 40), QRect(0, 0, 40, 40));
    stage.player->Movie(QString::fromStdString(files.threeFrames()));
    ASSERT_TRUE(stage.player->IsPlaying());
    TDib frame(40, 40, 24);

    ASSERT_TRUE(GrabFrame(stage.source(), &frame, nullptr, nullptr, -1, -1, 0, 0));
    EXPECT_EQ(stage.player->CurrentFrame(), 1);
    EXPECT_TRUE(stage.player->IsPlaying()) << "-1 neither moves nor stops the player";
    EXPECT_EQ(DibRgb(frame, 20, 20), kFrameColour[1]);

    for (int n : {3, 2}) {
        ASSERT_TRUE(GrabFrame(stage.source(), &frame, nullptr, nullptr, -1, n, 0, 0));
        EXPECT_EQ(stage.player->CurrentFrame(), n);
        EXPECT_FALSE(stage.player->IsPlaying());
        EXPECT_EQ(DibRgb(frame, 20, 20), kFrameColour[n]) << "frame " << n;
    }
}

TEST_F(FrameGrab, AlphaModeChoosesTheRule) {
    Stage stage(QSize(40, 40), QRect(0, 0, 40, 40));
    stage.player->Movie(QString::fromStdString(files.squareOnBackground()));
    const uint8_t red[3] = {0, 0, 255};
    const uint8_t back[3] = {0x99, 0x66, 0x33};
    struct Case {
        int mode;
        int inSquare, outside;  // alpha at (20, 20) and (2, 2); -1: left as it was (7)
    } cases[] = {
        {-1, -1, -1},
        {0, -1, -1},
        {1, PixelIntensity(red), PixelIntensity(back)},
        {2, SqrtTable()[PixelIntensity(red)], SqrtTable()[PixelIntensity(back)]},
        {3, 255, 0},
        {4, -1, -1},
    };
    for (const Case& c : cases) {
        TDib frame(40, 40, 24), alpha(40, 40, 8);
        for (int y = 0; y < 40; ++y)
            std::fill_n(alpha.scanLine(y), 40, 7);
        ASSERT_TRUE(
            GrabFrame(stage.source(MovieFiles::kOwnBackground), &frame, &alpha, nullptr, c.mode, -1, 0, 0));
        EXPECT_EQ(alpha.scanLine(20)[20], c.inSquare < 0 ? 7 : c.inSquare) << "mode " << c.mode;
        EXPECT_EQ(alpha.scanLine(2)[2], c.outside < 0 ? 7 : c.outside) << "mode " << c.mode;
    }
}

TEST_F(FrameGrab, MissingOrUnsuitableTargetsFail) {
    Stage stage(QSize(40, 40), QRect(0, 0, 40, 40));
    stage.player->Movie(QString::fromStdString(files.threeFrames()));
    TDib frame(40, 40, 24), grey(40, 40, 8);
    EXPECT_FALSE(GrabFrame(stage.source(), nullptr, nullptr, nullptr, -1, -1, 0, 0));
    EXPECT_FALSE(GrabFrame(stage.source(), &grey, nullptr, nullptr, -1, -1, 0, 0));
    EXPECT_FALSE(GrabFrame(TGrabSource{}, &frame, nullptr, nullptr, -1, -1, 0, 0));
    EXPECT_FALSE(GrabFrame(TGrabSource{nullptr, stage.panel.get(), 0}, &frame, nullptr, nullptr, -1, 2, 0, 0))
        << "a frame number needs a player";
    EXPECT_EQ(stage.player->CurrentFrame(), 1);
}

TEST_F(FrameGrab, CaptureFrameMakesImagesWithAlphaOnlyWhenWanted) {
    Stage stage(QSize(40, 40), QRect(0, 0, 40, 40));
    stage.player->Movie(QString::fromStdString(files.squareOnBackground()));

    struct Case {
        const char* what;
        TColorDepth depth;
        TAlphaMode mode;
        bool crop;
        bool alpha;
    } cases[] = {
        {"24 bits ignore the alpha mode", cd24Bit, amBackgroundColor, false, false},
        {"32 bits without a mode", cd32BitAlpha, amNone, false, false},
        {"a mode byte above 127 counts as negative", cd32BitAlpha, TAlphaMode(0x80), false, false},
        {"32 bits with a mode", cd32BitAlpha, amBackgroundColor, false, true},
        {"cropped with a mode", cd32BitAlpha, amBackgroundColor, true, true},
    };
    for (const Case& c : cases) {
        TCovSettings task;
        task.destColorDepth = c.depth;
        task.destAlphaMode = c.mode;
        task.destIsCrop = c.crop;
        task.destCropX = 5;
        task.destCropY = 5;
        TDib frame(20, 20, 24), alpha(20, 20, 8), full(40, 40, 24);
        TCaptureBitmaps bitmaps;
        bitmaps.frame = &frame;
        bitmaps.alpha = &alpha;
        bitmaps.full = &full;
        bitmaps.frameImage = MclImgAlloc();
        bitmaps.alphaImage = MclImgAlloc();
        CaptureFrame(stage.source(MovieFiles::kOwnBackground), task, bitmaps, -1);
        EXPECT_EQ(MclImgWidth(bitmaps.frameImage), 20) << c.what;
        EXPECT_EQ(MclImgHeight(bitmaps.frameImage), 20) << c.what;
        EXPECT_EQ(MclImgHasAlpha(bitmaps.frameImage), c.alpha) << c.what;
        // The square covers 10..29 of the picture. Uncropped, the frame is the picture's top-left 20 x 20;
        // cropped at (5, 5), frame (6, 6) is picture (11, 11), inside the square.
        EXPECT_EQ(DibRgb(frame, 15, 15), 0xFF0000u) << c.what;
        EXPECT_EQ(DibRgb(frame, 4, 4), MovieFiles::kOwnBackground) << c.what;
        EXPECT_EQ(DibRgb(frame, 6, 6), c.crop ? 0xFF0000u : MovieFiles::kOwnBackground) << c.what;
        if (c.alpha) {
            EXPECT_EQ(alpha.scanLine(15)[15], 255) << c.what;
            EXPECT_EQ(alpha.scanLine(4)[4], 0) << c.what;
        }
        MclImgFree(bitmaps.frameImage);
        MclImgFree(bitmaps.alphaImage);
    }
}

TEST_F(FrameGrab, CaptureFrameByNumberTakesThatFrame) {
    Stage stage(QSize(40, 40), QRect(0, 0, 40, 40));
    stage.player->Movie(QString::fromStdString(files.threeFrames()));
    TCovSettings task;
    TDib frame(40, 40, 24);
    TCaptureBitmaps bitmaps;
    bitmaps.frame = &frame;
    bitmaps.frameImage = MclImgAlloc();
    CaptureFrame(stage.source(), task, bitmaps, 3);
    EXPECT_EQ(stage.player->CurrentFrame(), 3);
    EXPECT_EQ(DibRgb(frame, 20, 20), kFrameColour[3]);
    EXPECT_EQ(MclImgWidth(bitmaps.frameImage), 40);
    MclImgFree(bitmaps.frameImage);
}

}  // namespace
