// The selection dialog: it renders the chosen frame at the output size, keeps the rectangle and the four
// number fields in step, and writes only the crop fields of the settings dialog, only on Apply.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include "capture/shockwave_flash_ex.h"
#include "tests/ui/ui_test_util.h"
#include "ui/rgn_select.h"
#include "ui/select_frm.h"
#include "ui/settings_frm.h"
#include "ui/spin_edit.h"

namespace {

using namespace uitest;

class SelectFrmTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SettingsFrm = new TSettingsFrm;
        SelectFrm = new TSelectFrm;
        SettingsFrm->edtExportWidth->SetValue(640);
        SettingsFrm->edtExportHeight->SetValue(480);
        setCrop(10, 20, 300, 200);
        SettingsFrm->edtExportStart->SetValue(2);
        SelectFrm->MovieFile = QString::fromStdString(files.colourFrames("frames.swf", 64, 48, 6));
        SelectFrm->StartFrame = 2;
    }
    void TearDown() override {
        delete SelectFrm;
        SelectFrm = nullptr;
        delete SettingsFrm;
        SettingsFrm = nullptr;
    }
    static void setCrop(int x, int y, int w, int h) {
        SettingsFrm->edtExportCropX->SetValue(x);
        SettingsFrm->edtExportCropY->SetValue(y);
        SettingsFrm->edtExportCropW->SetValue(w);
        SettingsFrm->edtExportCropH->SetValue(h);
    }
    static std::vector<int> crop(TSpinEdit* x, TSpinEdit* y, TSpinEdit* w, TSpinEdit* h) {
        return {x->Value(), y->Value(), w->Value(), h->Value()};
    }
    static std::vector<int> settingsCrop() {
        return crop(SettingsFrm->edtExportCropX, SettingsFrm->edtExportCropY, SettingsFrm->edtExportCropW,
                    SettingsFrm->edtExportCropH);
    }
    static std::vector<int> ownCrop() {
        return crop(SelectFrm->edtExportCropX, SelectFrm->edtExportCropY, SelectFrm->edtExportCropW,
                    SelectFrm->edtExportCropH);
    }
    static uint32_t backgroundAt(int x, int y) {
        return SelectFrm->RgnSelect->BgPicture().pixel(x, y) & 0xFFFFFF;
    }

    MovieFiles files;
};

TEST_F(SelectFrmTest, OpensOnTheSettingsCropAndTheStartFrameAtTheOutputSize) {
    SelectFrm->show();
    EXPECT_EQ(ownCrop(), (std::vector<int>{10, 20, 300, 200}));
    EXPECT_EQ(SelectFrm->RgnSelect->SelectionX(), 10);
    EXPECT_EQ(SelectFrm->RgnSelect->SelectionH(), 200);
    EXPECT_EQ(SelectFrm->RgnSelect->size(), QSize(640, 480));
    EXPECT_EQ(SelectFrm->TotalFrames, 6);
    EXPECT_EQ(SelectFrm->labTotalFrame->text(), "6");
    EXPECT_EQ(SelectFrm->trkExportStart->value(), 2);
    ASSERT_EQ(SelectFrm->RgnSelect->BgPicture().size(), QSize(640, 480));
    EXPECT_EQ(backgroundAt(320, 240), kFrameColour[2]);
}

TEST_F(SelectFrmTest, SelectAllTakesTheWholeOutputAndApplyWritesOnlyTheCrop) {
    SelectFrm->show();
    SelectFrm->btnSelectAll->click();
    EXPECT_EQ(ownCrop(), (std::vector<int>{0, 0, 640, 480}));
    SelectFrm->edtExportStart->SetValue(5);  // the frame shown is not written back
    SelectFrm->menApply->trigger();
    EXPECT_FALSE(SelectFrm->isVisible());
    EXPECT_EQ(settingsCrop(), (std::vector<int>{0, 0, 640, 480}));
    EXPECT_EQ(SettingsFrm->edtExportStart->Value(), 2);
    EXPECT_EQ(SettingsFrm->edtExportWidth->Value(), 640);
}

TEST_F(SelectFrmTest, CancelLeavesTheSettingsCropAlone) {
    SelectFrm->show();
    SelectFrm->btnSelectAll->click();
    SelectFrm->menCancel->trigger();
    EXPECT_FALSE(SelectFrm->isVisible());
    EXPECT_EQ(settingsCrop(), (std::vector<int>{10, 20, 300, 200}));
}

TEST_F(SelectFrmTest, DraggingFillsTheFieldsAndATypedValueKeepsTheDraggedSize) {
    SelectFrm->show();
    TRgnSelect* rgn = SelectFrm->RgnSelect;
    // Bottom-right handle of (10, 20, 300 x 200) is the square at (306, 216).
    QTest::mousePress(rgn, Qt::LeftButton, {}, QPoint(308, 218));
    QTest::mouseMove(rgn, QPoint(358, 268));
    QTest::mouseRelease(rgn, Qt::LeftButton, {}, QPoint(358, 268));
    EXPECT_EQ(ownCrop(), (std::vector<int>{10, 20, 350, 250}));

    QLineEdit* x = SelectFrm->edtExportCropX->findChild<QLineEdit*>();
    x->selectAll();
    QTest::keyClicks(x, QStringLiteral("40"));
    QTest::keyClick(x, Qt::Key_Return);
    EXPECT_EQ(rgn->SelectionX(), 40);
    EXPECT_EQ(rgn->SelectionW(), 350);
    EXPECT_EQ(rgn->SelectionH(), 250);
}

TEST_F(SelectFrmTest, FrameFieldAndSliderChooseTheFrameShown) {
    SelectFrm->show();
    QLineEdit* frame = SelectFrm->edtExportStart->findChild<QLineEdit*>();
    frame->selectAll();
    QTest::keyClicks(frame, QStringLiteral("3"));
    EXPECT_EQ(backgroundAt(320, 240), kFrameColour[3]);
    EXPECT_EQ(SelectFrm->trkExportStart->value(), 3);

    SelectFrm->trkExportStart->setValue(4);
    EXPECT_EQ(backgroundAt(320, 240), kFrameColour[4 % 4]);
    EXPECT_EQ(SelectFrm->edtExportStart->Value(), 4);

    // A negative frame shows 0, which the player takes as its first frame.
    frame->selectAll();
    QTest::keyClicks(frame, QStringLiteral("-3"));
    EXPECT_EQ(SelectFrm->edtExportStart->Value(), 0);
    EXPECT_EQ(frame->text(), "0");
    EXPECT_EQ(backgroundAt(320, 240), kFrameColour[1]);
}

TEST_F(SelectFrmTest, ClosingUnloadsThePlayer) {
    SelectFrm->show();
    SelectFrm->menCancel->trigger();
    EXPECT_EQ(SelectFrm->FlashCtl->Movie(), " ");
    EXPECT_EQ(SelectFrm->FlashCtl->timerInterval(), 0);
}

}  // namespace
