// The audio format dialog: it shows the task's five fields, brings values above their lists into range in
// the task itself (also when cancelled), leaves negative values unselected, and OK writes the choices back.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>

#include "audio/audio_format_frm.h"
#include "tests/ui/ui_test_util.h"

namespace {

struct Fields {
    int wavChannel, wavBits, wavFreq, mp3Channel, mp3BitRate;
};

TCovSettings TaskWith(const Fields& f) {
    TCovSettings t;
    t.adoWavChannel = f.wavChannel;
    t.adoWavBits = f.wavBits;
    t.adoWavFreq = f.wavFreq;
    t.adoMp3Channel = f.mp3Channel;
    t.adoMp3BitRate = f.mp3BitRate;
    return t;
}

QStringList Shown(const TAudioFormatFrm& d) {
    return {d.cbxWavChannel->currentText(), d.cbxWavBits->currentText(), d.cbxWavFreq->currentText(),
            d.cbxMP3Channel->currentText(), d.cbxMP3BitRate->currentText()};
}

TEST(AudioFormatFrm, ShowsTheTasksFieldsCorrectingThoseAboveRange) {
    struct Case {
        Fields in;
        QStringList shown;
        Fields stored;  // in the task after showing and cancelling
    };
    const Case cases[] = {
        {{1, 1, 0, 1, 1},
         {"STEREO", "16 bits", "44100", "STEREO", "112kb/s"},
         {1, 1, 0, 1, 1}},  // the defaults
        {{0, 0, 2, 3, 7}, {"MONO", "8 bits", "11025", "DUALCHANNEL", "320kb/s"}, {0, 0, 2, 3, 7}},
        {{4, 9, 5, 7, 9}, {"STEREO", "16 bits", "11025", "STEREO", "128kb/s"}, {1, 1, 2, 1, 2}},
        {{-1, 1, 0, -3, 0}, {"", "16 bits", "44100", "", "96kb/s"}, {-1, 1, 0, -3, 0}},
    };
    TAudioFormatFrm dialog;
    for (const Case& c : cases) {
        TCovSettings t = TaskWith(c.in);
        dialog.EditTask = &t;
        dialog.show();
        EXPECT_EQ(Shown(dialog), c.shown);
        dialog.btnCancel->click();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        EXPECT_EQ(t.adoWavChannel, c.stored.wavChannel);
        EXPECT_EQ(t.adoWavBits, c.stored.wavBits);
        EXPECT_EQ(t.adoWavFreq, c.stored.wavFreq);
        EXPECT_EQ(t.adoMp3Channel, c.stored.mp3Channel);
        EXPECT_EQ(t.adoMp3BitRate, c.stored.mp3BitRate);
    }
}

TEST(AudioFormatFrm, OkWritesEveryChoiceAndANegativeFieldStaysUnchosen) {
    TAudioFormatFrm dialog;
    TCovSettings t = TaskWith({1, 1, 0, -2, 1});
    dialog.EditTask = &t;
    dialog.show();
    dialog.cbxWavChannel->setCurrentIndex(0);
    dialog.cbxWavBits->setCurrentIndex(0);
    dialog.cbxWavFreq->setCurrentIndex(1);
    dialog.cbxMP3BitRate->setCurrentIndex(6);
    dialog.btnOK->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(t.adoWavChannel, 0);
    EXPECT_EQ(t.adoWavBits, 0);
    EXPECT_EQ(t.adoWavFreq, 1);
    EXPECT_EQ(t.adoMp3Channel, -1);
    EXPECT_EQ(t.adoMp3BitRate, 6);
}

}  // namespace
