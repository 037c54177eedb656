// The codec chooser: it lists what MclCodecsInit finds, preselects the handle's codec block, and stores the
// chosen codec with its edited values into the handle only on OK. Driven through its controls, never run
// modally.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <cstring>
#include <memory>
#include <vector>

#include "mcl_dialog/mcl_codec_dialog.h"
#include "mcl_dialog/mcl_codec_dlg.h"

namespace {

constexpr int kW = 64, kH = 48;

struct HandleDeleter {
    void operator()(MclConversion* h) const { MclFree(h); }
};
using Handle = std::unique_ptr<MclConversion, HandleDeleter>;

std::vector<TMclCodecInfo> Listed(int stream) {
    std::vector<TMclCodecInfo> list;
    const int n = MclCodecsInit(stream, kW, kH, 24);
    for (int i = 1; i <= n; ++i) {
        TMclCodecInfo info{};
        EXPECT_EQ(MclCodecsGetInfo(stream, &info, i), 0);
        list.push_back(info);
    }
    return list;
}

// Index of the first listed codec whose quality can really be edited, or -1.
int WithQuality(const std::vector<TMclCodecInfo>& list, int from = 0) {
    for (size_t i = size_t(from); i < list.size(); ++i)
        if (list[i].qualityUsed && list[i].qualityMin < list[i].qualityMax) return int(i);
    return -1;
}

bool SameBlock(const TMclCodecInfo& a, const TMclCodecInfo& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

TMclCodecInfo Held(MclHandle h, int stream) {
    TMclCodecInfo info{};
    EXPECT_NE(MclCodecsGetInfoFromData(h, &info, stream, 1), 0);
    return info;
}

class CodecDialog : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(QApplication::instance(), nullptr); }
};

TEST_F(CodecDialog, ListsTheLibrarysCodecsForBothStreams) {
    for (int stream : {kMclStreamAVI, kMclStreamMPEGVideo}) {
        const auto list = Listed(stream);
        ASSERT_FALSE(list.empty()) << stream;
        Handle h(MclAlloc());
        TMclCodecDialog dlg(h.get(), stream, kW, kH, 24);
        ASSERT_EQ(dlg.lstCodecs->count(), int(list.size())) << stream;
        for (int i = 0; i < dlg.lstCodecs->count(); ++i)
            EXPECT_EQ(dlg.lstCodecs->item(i)->text().toStdString(), std::string(list[size_t(i)].codecName));
        EXPECT_FALSE(dlg.labNoCodec->isVisibleTo(&dlg));
        EXPECT_TRUE(dlg.btnOK->isEnabled());
    }
}

TEST_F(CodecDialog, ChosenCodecWithEditedValuesGoesIntoTheHandleOnOK) {
    const auto list = Listed(kMclStreamAVI);
    const int row = WithQuality(list, 1);
    if (row < 0) GTEST_SKIP() << "no AVI codec with a quality setting in this FFmpeg";
    const TMclCodecInfo& codec = list[size_t(row)];

    Handle h(MclAlloc());
    TMclCodecDialog dlg(h.get(), kMclStreamAVI, kW, kH, 24);
    dlg.lstCodecs->setCurrentRow(row);
    const int quality = codec.quality == codec.qualityMin ? codec.qualityMax : codec.qualityMin;
    dlg.edtQuality->setValue(quality);
    dlg.btnOK->click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);

    TMclCodecInfo want = codec;
    want.quality = quality;
    EXPECT_TRUE(SameBlock(Held(h.get(), kMclStreamAVI), want)) << "codec " << codec.codecName;
}

TEST_F(CodecDialog, ChosenMpegFormatGoesIntoTheHandleOnOK) {
    const auto list = Listed(kMclStreamMPEGVideo);
    ASSERT_GE(list.size(), 2u) << "MPEG-1 and MPEG-2";
    Handle h(MclAlloc());
    TMclCodecDialog dlg(h.get(), kMclStreamMPEGVideo, kW, kH, 24);
    EXPECT_EQ(dlg.lstCodecs->currentRow(), 0) << "a new handle holds the first format";
    dlg.lstCodecs->setCurrentRow(1);
    dlg.btnOK->click();
    EXPECT_EQ(Held(h.get(), kMclStreamMPEGVideo).codecID, list[1].codecID);
    TMclCodecDialog again(h.get(), kMclStreamMPEGVideo, kW, kH, 24);
    EXPECT_EQ(again.lstCodecs->currentRow(), 1) << "the stored choice is preselected";

    // A double click on a format chooses it at once.
    again.show();
    QListWidget* view = again.lstCodecs;
    const QPoint at = view->visualItemRect(view->item(0)).center();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(again.result(), QDialog::Accepted);
    EXPECT_EQ(Held(h.get(), kMclStreamMPEGVideo).codecID, list[0].codecID);
}

TEST_F(CodecDialog, CancelLeavesTheHandlesBlockAlone) {
    const auto list = Listed(kMclStreamAVI);
    ASSERT_GE(list.size(), 2u);
    Handle h(MclAlloc());
    MclCodecsSetInfoToData(h.get(), list[0]);
    const TMclCodecInfo before = Held(h.get(), kMclStreamAVI);

    TMclCodecDialog dlg(h.get(), kMclStreamAVI, kW, kH, 24);
    dlg.lstCodecs->setCurrentRow(1);
    if (dlg.edtKeyFrameRate->isEnabled()) dlg.edtKeyFrameRate->setValue(dlg.edtKeyFrameRate->minimum());
    dlg.btnCancel->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_TRUE(SameBlock(Held(h.get(), kMclStreamAVI), before));
}

TEST_F(CodecDialog, PreselectsTheHandlesCodecWithItsValuesClampedToTheRanges) {
    const auto list = Listed(kMclStreamAVI);
    const int row = WithQuality(list, 1);
    if (row < 0) GTEST_SKIP() << "no AVI codec with a quality setting in this FFmpeg";
    const TMclCodecInfo& codec = list[size_t(row)];

    struct Case {
        const char* what;
        int32_t stored;
        int32_t shown;
    } cases[] = {
        {"in range", codec.qualityMin, codec.qualityMin},
        {"above the range", codec.qualityMax + 1000, codec.qualityMax},
        {"below the range", codec.qualityMin - 1000, codec.qualityMin},
    };
    for (const Case& c : cases) {
        Handle h(MclAlloc());
        TMclCodecInfo stored = codec;
        stored.quality = c.stored;
        MclCodecsSetInfoToData(h.get(), stored);

        TMclCodecDialog dlg(h.get(), kMclStreamAVI, kW, kH, 24);
        EXPECT_EQ(dlg.lstCodecs->currentRow(), row) << c.what;
        EXPECT_EQ(dlg.edtQuality->value(), c.shown) << c.what;
        dlg.btnOK->click();
        EXPECT_EQ(Held(h.get(), kMclStreamAVI).quality, c.shown) << c.what << ": OK stores the clamped value";
    }
}

TEST_F(CodecDialog, EditsAreLimitedToTheCodecsRangesAndKeptPerCodec) {
    const auto list = Listed(kMclStreamAVI);
    const int first = WithQuality(list);
    const int second = first < 0 ? -1 : WithQuality(list, first + 1);
    if (second < 0) GTEST_SKIP() << "fewer than two AVI codecs with a quality setting in this FFmpeg";

    Handle h(MclAlloc());
    TMclCodecDialog dlg(h.get(), kMclStreamAVI, kW, kH, 24);
    dlg.lstCodecs->setCurrentRow(first);
    dlg.edtQuality->setValue(list[size_t(first)].qualityMax + 50);
    EXPECT_EQ(dlg.edtQuality->value(), list[size_t(first)].qualityMax);
    dlg.lstCodecs->setCurrentRow(second);
    EXPECT_EQ(dlg.edtQuality->value(), list[size_t(second)].quality) << "the other codec shows its own value";
    dlg.lstCodecs->setCurrentRow(first);
    EXPECT_EQ(dlg.edtQuality->value(), list[size_t(first)].qualityMax) << "the edit is remembered";
    EXPECT_EQ(dlg.chosenInfo().quality, list[size_t(first)].qualityMax);
}

TEST_F(CodecDialog, SettingsACodecLacksCannotBeEdited) {
    const auto list = Listed(kMclStreamAVI);
    int row = -1;
    for (size_t i = 0; i < list.size(); ++i)
        if (!list[i].qualityUsed && !list[i].bitRateUsed) row = int(i);
    if (row < 0) GTEST_SKIP() << "every listed codec has a quality or bit rate";

    Handle h(MclAlloc());
    TMclCodecDialog dlg(h.get(), kMclStreamAVI, kW, kH, 24);
    dlg.lstCodecs->setCurrentRow(row);
    EXPECT_FALSE(dlg.edtQuality->isEnabled());
    EXPECT_FALSE(dlg.edtBitRate->isEnabled());
    dlg.btnOK->click();
    EXPECT_TRUE(SameBlock(Held(h.get(), kMclStreamAVI), list[size_t(row)]));
}

TEST_F(CodecDialog, NoFittingCodecOnlyLetsTheUserCancel) {
    Handle h(MclAlloc());
    TMclCodecDialog dlg(h.get(), kMclStreamAVI, 0, 0, 24);
    EXPECT_EQ(dlg.lstCodecs->count(), 0);
    EXPECT_TRUE(dlg.labNoCodec->isVisibleTo(&dlg));
    EXPECT_FALSE(dlg.btnOK->isEnabled());
    dlg.accept();
    EXPECT_NE(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(MclCodecDlg(nullptr, kMclStreamAVI, kW, kH, 24), 0) << "no handle, no dialog";
}

}  // namespace
