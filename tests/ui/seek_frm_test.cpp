// The seek dialog: Enter and "&Go!" move the preview to the typed number as typed, Escape closes, the number
// stays selected for the next one.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "capture/shockwave_flash.h"
#include "tests/ui/ui_test_util.h"
#include "ui/seek_frm.h"
#include "ui/spin_edit.h"

namespace {

using namespace uitest;

class SeekFrmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        player.Movie(QString::fromStdString(files.colourFrames("thirty.swf", 40, 30, 30)));
        player.StopPlay();
        seek.PreviewFlash = &player;
        seek.show();
        line = seek.edtFrameNumber->findChild<QLineEdit*>();
    }
    void type(const QString& text) {
        line->selectAll();
        QTest::keyClicks(line, text);
    }

    MovieFiles files;
    TShockwaveFlash player;
    TSeekFrm seek;
    QLineEdit* line = nullptr;
};

TEST_F(SeekFrmTest, EnterGoesToTheTypedFrameAndSelectsIt) {
    type(QStringLiteral("25"));
    QTest::keyClick(line, Qt::Key_Return);
    EXPECT_EQ(player.CurrentFrame(), 25);
    EXPECT_TRUE(seek.isVisible());
    EXPECT_EQ(line->selectedText(), "25");
    type(QStringLiteral("7"));
    seek.btnAudioImport->click();
    EXPECT_EQ(player.CurrentFrame(), 7);
}

TEST_F(SeekFrmTest, TextThatIsNotANumberGoesToFrameOne) {
    player.GotoFrame(12);
    type(QStringLiteral("abc"));
    QTest::keyClick(line, Qt::Key_Return);
    EXPECT_EQ(player.CurrentFrame(), 1);
}

TEST_F(SeekFrmTest, TypedNumberBeyondTheRangeReachesThePlayerUnchanged) {
    // The player clamps 5000 to the movie's last frame; the dialog hands it on as typed.
    type(QStringLiteral("5000"));
    QTest::keyClick(line, Qt::Key_Enter);
    EXPECT_EQ(seek.edtFrameNumber->Value(), 5000);
    EXPECT_EQ(player.CurrentFrame(), 30);
}

TEST_F(SeekFrmTest, EscapeClosesWithoutMoving) {
    player.GotoFrame(4);
    type(QStringLiteral("20"));
    QTest::keyClick(line, Qt::Key_Escape);
    EXPECT_FALSE(seek.isVisible());
    EXPECT_EQ(player.CurrentFrame(), 4);
}

TEST_F(SeekFrmTest, ArrowKeysStepInsideTheRange) {
    seek.edtFrameNumber->SetValue(1600);
    QTest::keyClick(line, Qt::Key_Up);
    EXPECT_EQ(seek.edtFrameNumber->Value(), 1600);
    QTest::keyClick(line, Qt::Key_Down);
    EXPECT_EQ(seek.edtFrameNumber->Value(), 1599);
    seek.edtFrameNumber->SetValue(1);
    QTest::keyClick(line, Qt::Key_Down);
    EXPECT_EQ(seek.edtFrameNumber->Value(), 1);
}

}  // namespace
