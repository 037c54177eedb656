// The settings dialog: the rules that keep its controls consistent, what OK stores, the commands that write
// the task at once, and the messages of the choosers.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>

#include <filesystem>
#include <fstream>
#include <functional>

#include "audio/audio_format_frm.h"
#include "support/tone_wav.h"
#include "tasks/temp_files.h"
#include "tests/ui/ui_test_util.h"
#include "ui/color_box.h"
#include "ui/select_frm.h"
#include "ui/settings_frm.h"
#include "ui/spin_edit.h"

namespace {

using namespace uitest;

void choose(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
}

// A task as FillTaskDefaults leaves it for a 550 x 400 movie at 12 fps with 100 frames.
TCovSettings DefaultTask(FakeCodecs& codecs, const std::string& folder = "/movies/") {
    TCovSettings t;
    t.swfFilename = folder + "clip.swf";
    t.swfW = 550;
    t.swfH = 400;
    t.swfFrameRate = 12;
    t.swfTotalFrames = 100;
    t.swfFileType = sftSwf;
    FillTaskDefaults(t, t.swfFilename, false, codecs.source());
    return t;
}

class SettingsFrmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        frm = new TSettingsFrm;
        frm->Codecs = codecs.source();
        SettingsFrm = frm;
        AudioFormatFrm = new TAudioFormatFrm;
        task = DefaultTask(codecs);
    }
    void TearDown() override {
        CancelPendingModalActions();
        frm->hide();
        delete AudioFormatFrm;
        AudioFormatFrm = nullptr;
        delete frm;
        SettingsFrm = nullptr;
    }
    void open() {
        frm->EditTask = &task;
        frm->show();  // FormShow
    }
    bool tabShown(QWidget* tab) const { return frm->pgeVideo->isTabVisible(frm->pgeVideo->indexOf(tab)); }

    FakeCodecs codecs;
    DialogAnswers answers;
    TSettingsFrm* frm = nullptr;
    TCovSettings task;
};

TEST_F(SettingsFrmTest, OutputFieldShowsTheStoredNameWithTheTypesExtension) {
    open();
    EXPECT_EQ(frm->edtExport->text(), "/movies/clip.avi");
    choose(frm->cbxExportType, dtImageSequence);
    EXPECT_EQ(frm->edtExport->text(), "/movies/");
    choose(frm->cbxExportType, dtMPEG);
    EXPECT_EQ(frm->edtExport->text(), "/movies/clip.mpg");
    choose(frm->cbxExportType, dtGIF);
    EXPECT_EQ(frm->edtExport->text(), "/movies/clip.gif");
    choose(frm->cbxExportType, dtAVI);
    EXPECT_EQ(frm->edtExport->text(), "/movies/clip.avi");
    frm->btnOKClick();
    EXPECT_EQ(task.destFilename, "clip.avi");
    EXPECT_EQ(task.destFilepath, "/movies/");
}

// One row per rule: steps a user takes, then what the controls must show.
struct RuleCase {
    const char* name;
    std::function<void(TCovSettings&)> setUp;
    std::function<void(TSettingsFrm*)> steps;
    std::function<void(TSettingsFrm*)> check;
};

void PrintTo(const RuleCase& c, std::ostream* os) {
    *os << c.name;
}

class SettingsRules : public SettingsFrmTest, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(SettingsRules, ControlsFollowTheRule) {
    if (GetParam().setUp) GetParam().setUp(task);
    open();
    GetParam().steps(frm);
    GetParam().check(frm);
}

const RuleCase kRules[] = {
    {"DvdPalPresetFixesRateSizeAndCrop",
     [](TCovSettings& t) {
         t.destIsCrop = true;
         t.destIsKeepAspectRatio = true;
     },
     [](TSettingsFrm* f) {
         choose(f->cbxExportType, dtMPEG);
         choose(f->cbxMPEGFormat, mpDVDPAL);
     },
     [](TSettingsFrm* f) {
         EXPECT_EQ(f->cbxMPEGFrameRate->currentText(), "25");
         EXPECT_EQ(f->edtExportWidth->Value(), 720);
         EXPECT_EQ(f->edtExportHeight->Value(), 576);
         EXPECT_FALSE(f->edtExportWidth->isEnabled());
         EXPECT_FALSE(f->chkExportCrop->isChecked());
         EXPECT_FALSE(f->chkExportCrop->isEnabled());
         EXPECT_FALSE(f->edtExportCropX->isEnabled());
         EXPECT_FALSE(f->chkExportUseOriginalSize->isChecked());
         EXPECT_FALSE(f->chkExportUseOriginalSize->isEnabled());
         EXPECT_FALSE(f->chkExportKeepAspectRatio->isChecked());
         EXPECT_FALSE(f->chkExportKeepAspectRatio->isEnabled());
         EXPECT_FALSE(f->btnMPEGFormatConfig->isEnabled());
         EXPECT_FALSE(f->cbxMPEGFrameRate->isEnabled());
     }},
    {"CustomMpegWithOriginalSizeShowsTheMovieSize", nullptr,
     [](TSettingsFrm* f) {
         choose(f->cbxExportType, dtMPEG);
         choose(f->cbxMPEGFormat, mpMPEG2Custom);
         f->chkExportUseOriginalSize->setChecked(true);
     },
     [](TSettingsFrm* f) {
         EXPECT_EQ(f->edtExportWidth->Value(), 550);
         EXPECT_EQ(f->edtExportHeight->Value(), 400);
         EXPECT_FALSE(f->edtExportWidth->isEnabled());
         EXPECT_TRUE(f->chkExportUseOriginalSize->isEnabled());
         EXPECT_TRUE(f->btnMPEGFormatConfig->isEnabled());
         EXPECT_TRUE(f->cbxMPEGFrameRate->isEnabled());
         EXPECT_TRUE(f->chkExportCrop->isEnabled());
     }},
    {"CustomMpegWithoutOriginalSizeLetsTheSizeBeTyped", nullptr,
     [](TSettingsFrm* f) {
         choose(f->cbxExportType, dtMPEG);
         choose(f->cbxMPEGFormat, mpMPEG1Custom);
         f->chkExportUseOriginalSize->setChecked(false);
     },
     [](TSettingsFrm* f) {
         EXPECT_TRUE(f->edtExportWidth->isEnabled());
         EXPECT_TRUE(f->edtExportHeight->isEnabled());
     }},
    {"JpegSequenceIsFixedAt24BitsWithQuality", nullptr,
     [](TSettingsFrm* f) {
         choose(f->cbxExportType, dtImageSequence);
         choose(f->cbxExportColor, cd32BitAlpha);
         choose(f->cbxImageFormat, itJPEG);
     },
     [](TSettingsFrm* f) {
         EXPECT_TRUE(f->trkImageQuality->isEnabled());
         EXPECT_TRUE(f->labImageJPEGLow->isEnabled());
         EXPECT_EQ(f->cbxExportColor->currentIndex(), cd24Bit);
         EXPECT_FALSE(f->cbxExportColor->isEnabled());
         EXPECT_EQ(f->cbxExportAlpha->currentText(), "None");
         EXPECT_FALSE(f->cbxExportAlpha->isEnabled());
     }},
    {"PngSequenceAt32BitsOffersTheAlphaRules", nullptr,
     [](TSettingsFrm* f) {
         choose(f->cbxExportType, dtImageSequence);
         choose(f->cbxImageFormat, itPNG);
         choose(f->cbxExportColor, cd32BitAlpha);
     },
     [](TSettingsFrm* f) {
         EXPECT_FALSE(f->trkImageQuality->isEnabled());
         EXPECT_TRUE(f->cbxExportColor->isEnabled());
         EXPECT_TRUE(f->cbxExportAlpha->isEnabled());
         EXPECT_EQ(f->cbxExportAlpha->currentText(), "IntensitySqrt to Alpha Channel");
     }},
    {"AlphaNoneTakesTheColourBackTo24Bits", nullptr,
     [](TSettingsFrm* f) {
         choose(f->cbxExportColor, cd32BitAlpha);
         choose(f->cbxExportAlpha, amNone);
     },
     [](TSettingsFrm* f) {
         EXPECT_EQ(f->cbxExportColor->currentIndex(), cd24Bit);
         EXPECT_FALSE(f->cbxExportAlpha->isEnabled());
     }},
    {"GifHasOneColourDepthAndNoSound", nullptr, [](TSettingsFrm* f) { choose(f->cbxExportType, dtGIF); },
     [](TSettingsFrm* f) {
         ASSERT_EQ(f->cbxExportColor->count(), 1);
         EXPECT_EQ(f->cbxExportColor->currentText(), "8bits(256 colors)");
         EXPECT_FALSE(f->cbxExportColor->isEnabled());
         EXPECT_FALSE(f->cbxExportAlpha->isEnabled());
         EXPECT_FALSE(f->pgeVideo->isTabVisible(f->pgeVideo->indexOf(f->tabAudio)));
         EXPECT_TRUE(f->pgeVideo->isTabVisible(f->pgeVideo->indexOf(f->tabGIF)));
         EXPECT_FALSE(f->pgeVideo->isTabVisible(f->pgeVideo->indexOf(f->tabAVI)));
         EXPECT_EQ(f->pgeVideo->currentWidget(), f->tabGIF);
     }},
    {"SwitchingBackFromGifOffersBothDepthsAt24Bits", [](TCovSettings& t) { t.destColorDepth = cd32BitAlpha; },
     [](TSettingsFrm* f) {
         choose(f->cbxExportType, dtGIF);
         choose(f->cbxExportType, dtAVI);
     },
     [](TSettingsFrm* f) {
         EXPECT_EQ(f->cbxExportColor->count(), 2);
         EXPECT_EQ(f->cbxExportColor->currentIndex(), cd24Bit);
         EXPECT_TRUE(f->pgeVideo->isTabVisible(f->pgeVideo->indexOf(f->tabAudio)));
         EXPECT_TRUE(f->SplitControlsOffered());
     }},
    {"GifColourBoxesFollowTheirCheckBoxes",
     [](TCovSettings& t) {
         t.destType = dtGIF;
         t.destGIFIsBackground = true;
         t.destGIFIsLooping = false;
     },
     [](TSettingsFrm*) {},
     [](TSettingsFrm* f) {
         EXPECT_TRUE(f->cbeGIFBackgroundColor->isEnabled());
         EXPECT_FALSE(f->cbeGIFTransparentColor->isEnabled());
         EXPECT_FALSE(f->edtGIFRepeatCount->isEnabled());
         f->chkGIFLooping->setChecked(true);
         EXPECT_TRUE(f->edtGIFRepeatCount->isEnabled());
         EXPECT_TRUE(f->labGIFRepeatCount->isEnabled());
     }},
    {"CropControlsFollowTheCropCheckBox", nullptr,
     [](TSettingsFrm* f) { f->chkExportCrop->setChecked(true); },
     [](TSettingsFrm* f) {
         EXPECT_TRUE(f->edtExportCropX->isEnabled());
         EXPECT_TRUE(f->btnVisualSelection->isEnabled());
         f->chkExportCrop->setChecked(false);
         EXPECT_FALSE(f->edtExportCropH->isEnabled());
         EXPECT_FALSE(f->btnVisualSelection->isEnabled());
     }},
    {"OriginalSizeRestoresTheMovieSize",
     [](TCovSettings& t) {
         t.destIsUseOriginalSize = false;
         t.destW = 100;
     },
     [](TSettingsFrm* f) {
         EXPECT_TRUE(f->edtExportWidth->isEnabled());
         f->chkExportUseOriginalSize->setChecked(true);
     },
     [](TSettingsFrm* f) {
         EXPECT_EQ(f->edtExportWidth->Value(), 550);
         EXPECT_FALSE(f->edtExportWidth->isEnabled());
         EXPECT_FALSE(f->labExportSize->isEnabled());
     }},
    {"SoundSourceEnablesItsGroup", nullptr, [](TSettingsFrm* f) { f->rdoAudioImport->setChecked(true); },
     [](TSettingsFrm* f) {
         EXPECT_TRUE(f->edtAudioImport->isEnabled());
         EXPECT_TRUE(f->btnAudioImport->isEnabled());
         EXPECT_FALSE(f->cbxAudioRecFormat->isEnabled());
         f->rdoAudioNone->setChecked(true);
         EXPECT_FALSE(f->edtAudioImport->isEnabled());
         EXPECT_FALSE(f->btnAudioRecConfig->isEnabled());
         EXPECT_FALSE(f->rdoAudioDirect->isEnabled());
         f->rdoAudioRec->setChecked(true);
         EXPECT_TRUE(f->rdoAudioDirect->isEnabled());
         EXPECT_TRUE(f->rdoAudioCard->isEnabled());
         EXPECT_FALSE(f->btnAudioImport->isEnabled());
         // The recording format belongs to recording the sound card; the movie's sound taken directly has
         // none to choose.
         f->rdoAudioDirect->setChecked(true);
         EXPECT_FALSE(f->btnAudioRecConfig->isEnabled());
         EXPECT_FALSE(f->cbxAudioRecFormat->isEnabled());
         f->rdoAudioCard->setChecked(true);
         EXPECT_TRUE(f->btnAudioRecConfig->isEnabled());
         EXPECT_TRUE(f->labAudioRecFormatTips->isEnabled());
     }},
    {"StoredAlphaRuleSurvivesOpening",
     [](TCovSettings& t) {
         t.destColorDepth = cd32BitAlpha;
         t.destAlphaMode = amBackgroundColor;
     },
     [](TSettingsFrm*) {},
     [](TSettingsFrm* f) {
         EXPECT_EQ(f->cbxExportAlpha->currentIndex(), amBackgroundColor);
         EXPECT_TRUE(f->cbxExportAlpha->isEnabled());
     }},
};

INSTANTIATE_TEST_SUITE_P(Rules, SettingsRules, ::testing::ValuesIn(kRules),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsFrmTest, MpegPresetChoosesTheDefaultCodecOfItsVariantAtOnce) {
    open();
    choose(frm->cbxExportType, dtMPEG);
    choose(frm->cbxMPEGFormat, mpDVDNTSC);
    EXPECT_STREQ(task.DestMPEGCodecInfo.codecName, "MPEG-2 format");
    EXPECT_EQ(codecs.sizes.back(), std::make_pair(720, 480));
    choose(frm->cbxMPEGFormat, mpVCDPAL);
    EXPECT_STREQ(task.DestMPEGCodecInfo.codecName, "MPEG-1 format");
    frm->btnCancelClick();
    EXPECT_STREQ(task.DestMPEGCodecInfo.codecName, "MPEG-1 format");  // Cancel does not undo it
    EXPECT_EQ(task.destType, dtAVI);
}

TEST_F(SettingsFrmTest, OkStoresTheDvdPalChoice) {
    open();
    choose(frm->cbxExportType, dtMPEG);
    choose(frm->cbxMPEGFormat, mpDVDPAL);
    frm->btnOKClick();
    EXPECT_EQ(task.destType, dtMPEG);
    EXPECT_EQ(task.destW, 720);
    EXPECT_EQ(task.destH, 576);
    EXPECT_EQ(task.destMPEGCodec, mpDVDPAL);
    EXPECT_EQ(task.destMPEGFrameRate, 2);
    EXPECT_EQ(task.destFilename, "clip.mpg");
}

TEST_F(SettingsFrmTest, ContainerTypesOfferTheirCodecsQualityAndAlpha) {
    task.destType = dtWebM;
    task.destVideoQuality = 80;
    task.destFilename = "clip.webm";
    open();
    EXPECT_TRUE(tabShown(frm->tabVideo));
    EXPECT_TRUE(tabShown(frm->tabAudio));  // a sound track like the other videos
    EXPECT_EQ(frm->trkVideoQuality->value(), 80);
    EXPECT_EQ(frm->cbxVideoCodec->count(), 1);
    choose(frm->cbxExportColor, cd32BitAlpha);
    EXPECT_TRUE(frm->cbxExportAlpha->isEnabled());  // WebM keeps an alpha channel

    choose(frm->cbxExportType, dtMP4);
    EXPECT_EQ(frm->edtExport->text(), "/movies/clip.mp4");
    EXPECT_FALSE(frm->cbxExportColor->isEnabled());  // H.264 in MP4 has none
    EXPECT_EQ(frm->cbxExportColor->currentIndex(), cd24Bit);

    choose(frm->cbxExportType, dtMOV);
    EXPECT_EQ(frm->edtExport->text(), "/movies/clip.mov");
    ASSERT_EQ(frm->cbxVideoCodec->count(), 2);
    frm->cbxVideoCodec->setCurrentIndex(mcAnimation);
    frm->trkVideoQuality->setValue(30);
    frm->btnOKClick();
    EXPECT_EQ(task.destType, dtMOV);
    EXPECT_EQ(task.destVideoCodec, mcAnimation);
    EXPECT_EQ(task.destVideoQuality, 30);
    EXPECT_EQ(task.destFilename, "clip.mov");
}

// Opening a task and pressing OK without touching anything gives back the same task, for every output type.
TEST_F(SettingsFrmTest, OkWithoutChangesKeepsEveryField) {
    auto varied = [&](TDestType type) {
        TCovSettings t = DefaultTask(codecs);
        t.destType = type;
        t.destFilename = type == dtMPEG ? "out.mpg" : type == dtGIF ? "out.gif" : "out.avi";
        t.destFilepath = "/out/";
        t.destSequenceMode = smFrameByFrame;
        t.destStartFrame = 3;
        t.destEndFrame = 40;
        t.destIsUseOriginalSize = false;
        t.destW = 320;
        t.destH = 200;
        t.destIsCrop = true;
        t.destCropX = 5;
        t.destCropY = 6;
        t.destCropW = 70;
        t.destCropH = 80;
        t.destAVIFrameRate = 15;
        t.destMPEGCodec = mpMPEG1Custom;
        t.destMPEGFrameRate = 5;
        t.destGIFFrameRate = 8;
        t.destGIFRepeatCount = 3;
        t.destGIFBackgroundColor = 0x00123456;
        t.destGIFTransparentColor = 0x00654321;
        t.destGIFIsBackground = true;
        t.destGIFIsTransparent = true;
        t.destImageType = itJPEG;
        t.destImageJPEGQuality = 42;
        t.adoSource = asImport;
        t.adoFilename = "/sound/a.wav";
        t.adoFileType = aftWAV;
        t.adoDirect = type == dtAVI;  // varied across the cases
        t.destIsSplit = true;
        t.destSplitSize = 12.5;
        if (type == dtImageSequence) t.destFilepath = "/out/frames";
        return t;
    };
    for (TDestType type : {dtAVI, dtMPEG, dtGIF, dtImageSequence}) {
        SCOPED_TRACE(int(type));
        task = varied(type);
        TCovSettings before = task;
        open();
        frm->btnOKClick();
        frm->hide();
        EXPECT_EQ(task.destType, before.destType);
        EXPECT_EQ(task.destFilename, before.destFilename);
        EXPECT_EQ(task.destFilepath, before.destFilepath);
        EXPECT_EQ(task.destSequenceMode, before.destSequenceMode);
        EXPECT_EQ(task.destStartFrame, 3);
        EXPECT_EQ(task.destEndFrame, 40);
        EXPECT_EQ(task.destW, 320);
        EXPECT_EQ(task.destH, 200);
        EXPECT_TRUE(task.destIsCrop);
        EXPECT_EQ(task.destCropX, 5);
        EXPECT_EQ(task.destCropY, 6);
        EXPECT_EQ(task.destCropW, 70);
        EXPECT_EQ(task.destCropH, 80);
        EXPECT_EQ(task.destAVIFrameRate, 15);
        EXPECT_EQ(task.destMPEGCodec, mpMPEG1Custom);
        EXPECT_EQ(task.destMPEGFrameRate, 5);
        EXPECT_EQ(task.destGIFFrameRate, 8);
        EXPECT_EQ(task.destGIFRepeatCount, 3);
        EXPECT_EQ(task.destGIFBackgroundColor, 0x00123456u);
        EXPECT_EQ(task.destGIFTransparentColor, 0x00654321u);
        EXPECT_TRUE(task.destGIFIsBackground);
        EXPECT_TRUE(task.destGIFIsTransparent);
        EXPECT_TRUE(task.destGIFIsLooping);
        EXPECT_EQ(task.destImageType, itJPEG);
        EXPECT_EQ(task.destImageJPEGQuality, 42);
        EXPECT_EQ(task.adoSource, asImport);
        EXPECT_EQ(task.adoFilename, "/sound/a.wav");
        EXPECT_EQ(task.adoFileType, aftWAV);
        EXPECT_EQ(task.adoDirect, before.adoDirect);
        EXPECT_TRUE(task.destIsSplit);
        EXPECT_DOUBLE_EQ(task.destSplitSize, 12.5);
        EXPECT_EQ(task.destAVICodec, task.DestAVICodecInfo.codecID);
    }
}

TEST_F(SettingsFrmTest, OkTakesNegativeStartAsZeroAndTextAsZero) {
    open();
    frm->edtExportStart->SetValue(-5);
    frm->edtExportEnd->findChild<QLineEdit*>()->setText(QStringLiteral("abc"));
    frm->edtGIFRepeatCount->findChild<QLineEdit*>()->setText(QStringLiteral("x1"));
    frm->edtAVIFrameRate->setValue(29.6);
    frm->btnOKClick();
    EXPECT_EQ(task.destStartFrame, 0);
    EXPECT_EQ(task.destEndFrame, 0);
    EXPECT_EQ(task.destGIFRepeatCount, 0);
    EXPECT_EQ(task.destAVIFrameRate, 30);
}

TEST_F(SettingsFrmTest, CancelStoresNothing) {
    open();
    choose(frm->cbxExportType, dtGIF);
    frm->edtExportStart->SetValue(50);
    frm->rdoAudioNone->setChecked(true);
    frm->btnCancelClick();
    EXPECT_EQ(task.destType, dtAVI);
    EXPECT_EQ(task.destStartFrame, 1);
    EXPECT_EQ(task.adoSource, asRecord);
}

TEST_F(SettingsFrmTest, SelectWritesTheNewOutputAtOnceAndCancelKeepsIt) {
    open();
    answers.saveFile = QStringLiteral("/elsewhere/new name.avi");
    frm->btnRenameClick();
    EXPECT_EQ(frm->edtExport->text(), "/elsewhere/new name.avi");
    frm->btnCancelClick();
    EXPECT_EQ(task.destFilename, "new name.avi");
    EXPECT_EQ(task.destFilepath, "/elsewhere/");

    frm->hide();
    open();
    choose(frm->cbxExportType, dtImageSequence);
    answers.folder = QStringLiteral("/frames/out");
    frm->btnRenameClick();
    EXPECT_EQ(task.destFilepath, "/frames/out");
    frm->btnOKClick();
    EXPECT_EQ(task.destType, dtImageSequence);
    EXPECT_EQ(task.destFilepath, "/frames/out");
    EXPECT_EQ(task.destFilename, "new name.avi");  // image sequences leave the name as it was
}

TEST_F(SettingsFrmTest, CancelledChoosersChangeNothing) {
    open();
    frm->btnRenameClick();  // answers are empty: cancelled
    frm->cbeGIFBackgroundColorButtonClick();
    frm->btnAudioImportClick();
    EXPECT_EQ(frm->edtExport->text(), "/movies/clip.avi");
    EXPECT_EQ(frm->cbeGIFBackgroundColor->Color(), 0x00FFFFFFu);
    EXPECT_TRUE(answers.messages.empty());
}

TEST_F(SettingsFrmTest, ColourDialogSetsTheColourBox) {
    task.destType = dtGIF;
    task.destGIFIsTransparent = true;
    open();
    answers.colour = 0x000000FF;  // red, 0x00BBGGRR
    frm->cbeGIFTransparentColorButtonClick();
    frm->btnOKClick();
    EXPECT_EQ(task.destGIFTransparentColor, 0x000000FFu);
    EXPECT_EQ(task.destGIFBackgroundColor, 0x00FFFFFFu);
}

TEST_F(SettingsFrmTest, CodecChooserHandsTheBlockThroughTheLibraryHandle) {
    open();
    TMclCodecInfo seen{};
    frm->CodecDialog = [&](MclHandle handle, int fmt, int w, int h, int bits) {
        MclCodecsGetInfoFromData(handle, &seen, fmt, 8);  // what the chooser was given
        EXPECT_EQ(fmt, 6);
        EXPECT_EQ(w, 550);
        EXPECT_EQ(h, 400);
        EXPECT_EQ(bits, 24);
        MclCodecsSetInfoToData(handle, Codec(6, "Motion JPEG", 2));
        return 1;
    };
    frm->btnAVIFormatConfigClick();
    EXPECT_STREQ(seen.codecName, "Full Frames, Uncompressed");
    EXPECT_STREQ(task.DestAVICodecInfo.codecName, "Motion JPEG");
    EXPECT_EQ(frm->edtAVIFormat->text(), "Motion JPEG");

    frm->CodecDialog = [](MclHandle handle, int, int, int, int) {
        MclCodecsSetInfoToData(handle, Codec(6, "Something else", 9));
        return 0;  // the user cancelled the chooser
    };
    frm->btnAVIFormatConfigClick();
    EXPECT_STREQ(task.DestAVICodecInfo.codecName, "Motion JPEG");
    frm->btnOKClick();
    EXPECT_EQ(task.destAVICodec, 2);
}

TEST_F(SettingsFrmTest, SetAsDocFpsTakesTheMovieRate) {
    task.destAVIFrameRate = 30;
    task.destGIFFrameRate = 5;
    open();
    frm->btnSetAVIFPSClick();
    frm->btnSetGIFFpsClick();
    frm->btnOKClick();
    EXPECT_EQ(task.destAVIFrameRate, 12);
    EXPECT_EQ(task.destGIFFrameRate, 12);
}

struct SummaryCase {
    int format;
    int wavChannel, wavBits, wavFreq, mp3Channel, mp3BitRate;
    const char* text;
};

TEST(AudioFormatSummary, ReadsTheFieldsAndBringsThemIntoRange) {
    const SummaryCase cases[] = {
        {0, 1, 1, 0, 1, 1, "STEREO-16bits-44100Hz"},
        {1, 1, 1, 0, 2, 2, "JSTEREO-128kb/s"},
        {0, 0, 0, 5, 1, 1, "MONO-8bits-11025Hz"},
        {1, 0, 0, 0, 9, 12, "STEREO-128kb/s"},
        {1, 0, 0, 0, 3, 7, "DUALCHANNEL-320kb/s"},
        {0, -1, 1, 1, 0, 0, "-16bits-22050Hz"},
        {2, 1, 1, 0, 1, 1, ""},
    };
    for (const SummaryCase& c : cases) {
        SCOPED_TRACE(c.text);
        TCovSettings t;
        t.adoWavChannel = c.wavChannel;
        t.adoWavBits = c.wavBits;
        t.adoWavFreq = c.wavFreq;
        t.adoMp3Channel = c.mp3Channel;
        t.adoMp3BitRate = c.mp3BitRate;
        EXPECT_EQ(AudioFormatSummary(c.format, t), QString::fromLatin1(c.text));
        EXPECT_LE(t.adoWavFreq, 2);
        EXPECT_LE(t.adoMp3Channel, 3);
        EXPECT_LE(t.adoMp3BitRate, 7);
    }
    TCovSettings t;
    t.adoWavFreq = 5;
    t.adoMp3Channel = 9;
    t.adoMp3BitRate = 12;
    AudioFormatSummary(0, t);
    EXPECT_EQ(t.adoWavFreq, 2);
    EXPECT_EQ(t.adoMp3Channel, 1);
    EXPECT_EQ(t.adoMp3BitRate, 2);
}

TEST_F(SettingsFrmTest, FormatSummaryFollowsTheChosenFormatAndTheAudioDialog) {
    open();
    EXPECT_EQ(frm->labAudioRecFormatTips->text(), "STEREO-112kb/s");
    choose(frm->cbxAudioRecFormat, aftWAV);
    EXPECT_EQ(frm->labAudioRecFormatTips->text(), "STEREO-16bits-44100Hz");
    WhenModal([](QDialog* d) {
        auto* audio = static_cast<TAudioFormatFrm*>(d);
        audio->cbxWavChannel->setCurrentIndex(0);
        audio->cbxWavFreq->setCurrentIndex(2);
        audio->btnOK->click();
    });
    frm->btnAudioRecConfigClick();
    EXPECT_EQ(frm->labAudioRecFormatTips->text(), "MONO-16bits-11025Hz");
    EXPECT_EQ(task.adoWavChannel, 0);
    EXPECT_EQ(task.adoWavFreq, 2);
}

// A 16-bit mono PCM WAVE file of `samples` samples of silence.
void WriteWave(const std::string& path, int samples) {
    ASSERT_TRUE(testwav::WriteToneWav(path, 22050, 1, 0, uint32_t(samples), 0)) << path;
}

TEST_F(SettingsFrmTest, ImportAcceptsOnlyFilesWithSound) {
    MovieFiles files;
    const std::string text = files.path("notes.wav");
    std::ofstream(text) << "not a sound file at all";
    const std::string wave = files.path("tone.wav");
    WriteWave(wave, 22050);
    task.adoSource = asImport;
    open();

    answers.openFiles = {QString::fromStdString(text)};
    frm->btnAudioImportClick();
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(answers.messages[0], "No audio stream exists in this file!");
    EXPECT_EQ(frm->edtAudioImport->text(), "");

    answers.openFiles = {QString::fromStdString(wave)};
    frm->btnAudioImportClick();
    EXPECT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(frm->edtAudioImport->text().toStdString(), wave);
    frm->btnOKClick();
    EXPECT_EQ(task.adoFilename, wave);
}

TEST_F(SettingsFrmTest, VisualSelectionRefusesMissingAndForeignSources) {
    MovieFiles files;
    task.swfFilename = files.path("gone.swf");
    open();
    frm->btnVisualSelectionClick();
    task.swfFilename = files.write("fake.swf", testswf::Bytes{'N', 'O', 'T', 'S', 'W', 'F', 0, 0, 0});
    frm->hide();
    open();
    frm->btnVisualSelectionClick();
    ASSERT_EQ(answers.messages.size(), 2u);
    EXPECT_EQ(answers.messages[0], "This file does not exist!");
    EXPECT_EQ(answers.messages[1], "This is not a flash file!");
}

TEST_F(SettingsFrmTest, VisualSelectionShowsAProjectorsMovieAndRemovesItsCopyAfterwards) {
    MovieFiles files;
    std::ifstream in(files.colourFrames("inner.swf", 40, 30, 4), std::ios::binary);
    const testswf::Bytes movie((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    task.swfFilename = files.write("player.exe", testswf::makeProjector(movie));
    task.swfFileType = sftProjector;
    task.destIsCrop = true;
    task.destStartFrame = 3;
    TSelectFrm select;
    SelectFrm = &select;
    open();
    std::string shown;
    int startFrame = 0;
    WhenModal([&](QDialog* d) {
        auto* s = static_cast<TSelectFrm*>(d);
        shown = s->MovieFile.toStdString();
        startFrame = s->StartFrame;
        EXPECT_TRUE(std::filesystem::exists(shown));
        EXPECT_EQ(s->TotalFrames, 4);
        s->menCancel->trigger();
    });
    frm->btnVisualSelectionClick();
    SelectFrm = nullptr;
    EXPECT_TRUE(IsOwnTempFile(shown)) << shown;
    EXPECT_EQ(startFrame, 3);
    EXPECT_FALSE(std::filesystem::exists(shown));
    EXPECT_TRUE(answers.messages.empty());
}

}  // namespace
