#include "mcl_dialog/mcl_codec_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

#include "mcl_dialog/mcl_codec_dlg.h"

namespace {

QString CodecName(const TMclCodecInfo& info) {
    return QString::fromUtf8(info.codecName, int(strnlen(info.codecName, sizeof info.codecName)));
}

// A block's range may come from a stored file; a reversed one still gives a usable range.
int32_t Clamp(int32_t value, int32_t lo, int32_t hi) {
    if (lo > hi) std::swap(lo, hi);
    return std::clamp(value, lo, hi);
}

// One setting's edit and range label, filled from a block's Used flag, value and range. rangeText holds %1
// and %2 for the ends of the range; zeroText, when given, is what a value of 0 means.
void ShowSetting(QSpinBox* edit, QLabel* range, const QString& rangeText, const QString& zeroText,
                 int32_t used, int32_t value, int32_t lo, int32_t hi) {
    if (lo > hi) std::swap(lo, hi);
    edit->setSpecialValueText(!used ? QStringLiteral("-") : lo == 0 ? zeroText : QString());
    if (used) {
        edit->setRange(lo, hi);
        edit->setValue(Clamp(value, lo, hi));
        edit->setEnabled(true);
        range->setText(rangeText.arg(lo).arg(hi));
    } else {
        edit->setRange(0, 0);
        edit->setValue(0);
        edit->setEnabled(false);
        range->setText(TMclCodecDialog::tr("not used by this codec"));
    }
}

// The block of a listed codec with the values of the block the handle holds, for the settings the listed
// codec has, clamped to its ranges.
void TakeValues(TMclCodecInfo& listed, const TMclCodecInfo& held) {
    if (listed.qualityUsed) listed.quality = Clamp(held.quality, listed.qualityMin, listed.qualityMax);
    if (listed.bitRateUsed) listed.bitRate = Clamp(held.bitRate, listed.bitRateMin, listed.bitRateMax);
    if (listed.byteRateUsed) listed.byteRate = Clamp(held.byteRate, listed.byteRateMin, listed.byteRateMax);
    if (listed.keyFrameRateUsed)
        listed.keyFrameRate = Clamp(held.keyFrameRate, listed.keyFrameRateMin, listed.keyFrameRateMax);
}

}  // namespace

TMclCodecDialog::TMclCodecDialog(MclHandle handle, int stream, int width, int height, int bits,
                                 QWidget* parent)
    : QDialog(parent), handle_(handle), stream_(stream) {
    setWindowTitle(stream == kMclStreamMPEGVideo ? tr("MPEG Video Compression") : tr("Video Compression"));
    setModal(true);

    const int count = MclCodecsInit(stream, width, height, bits);
    for (int i = 1; i <= count; ++i) {
        TMclCodecInfo info{};
        if (MclCodecsGetInfo(stream, &info, i) == 0) codecs_.push_back(info);
    }

    lstCodecs = new QListWidget(this);
    for (const TMclCodecInfo& info : codecs_)
        lstCodecs->addItem(CodecName(info));
    labNoCodec = new QLabel(tr("No codec can write pictures of %1 x %2.").arg(width).arg(height), this);
    labNoCodec->setVisible(codecs_.empty());

    auto* settings = new QGroupBox(tr("Settings"), this);
    auto* form = new QFormLayout(settings);
    auto addRow = [&](const QString& caption, QSpinBox*& edit, QLabel*& range, const QString& suffix) {
        edit = new QSpinBox(settings);
        edit->setSuffix(suffix);
        range = new QLabel(settings);
        auto* row = new QHBoxLayout;
        row->addWidget(edit, 1);
        row->addWidget(range);
        form->addRow(caption, row);
        connect(edit, &QSpinBox::valueChanged, this, [this] {
            if (!showing_) storeEdits();
        });
    };
    addRow(tr("Quality:"), edtQuality, labQualityRange, QString());
    addRow(tr("Bit rate:"), edtBitRate, labBitRateRange, tr(" kbit/s"));
    addRow(tr("Key frame every:"), edtKeyFrameRate, labKeyFrameRateRange, tr(" frames"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    btnOK = buttons->button(QDialogButtonBox::Ok);
    btnCancel = buttons->button(QDialogButtonBox::Cancel);
    btnOK->setEnabled(!codecs_.empty());
    connect(buttons, &QDialogButtonBox::accepted, this, &TMclCodecDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TMclCodecDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Codec:"), this));
    layout->addWidget(lstCodecs, 1);
    layout->addWidget(labNoCodec);
    layout->addWidget(settings);
    layout->addWidget(buttons);

    // Preselect the codec of the handle's block, with its values; without one (or when that codec does not
    // fit this size) the first codec with its defaults.
    int row = codecs_.empty() ? -1 : 0;
    TMclCodecInfo held{};
    if (handle_ && MclCodecsGetInfoFromData(handle_, &held, stream_, 1) != 0 && held.fileFmtID == stream_) {
        int byId = -1, byIdAndName = -1;
        for (size_t i = 0; i < codecs_.size(); ++i) {
            if (codecs_[i].codecID != held.codecID) continue;
            if (byId < 0) byId = int(i);
            if (byIdAndName < 0 && CodecName(codecs_[i]) == CodecName(held)) byIdAndName = int(i);
        }
        const int found = byIdAndName >= 0 ? byIdAndName : byId;
        if (found >= 0) {
            TakeValues(codecs_[size_t(found)], held);
            row = found;
        }
    }

    connect(lstCodecs, &QListWidget::currentRowChanged, this, &TMclCodecDialog::lstCodecsCurrentRowChanged);
    // A double click picks the codec as it stands, like choosing it and pressing OK.
    connect(lstCodecs, &QListWidget::itemDoubleClicked, this, [this] { accept(); });
    if (row >= 0)
        lstCodecs->setCurrentRow(row);
    else
        showCodec(-1);
}

void TMclCodecDialog::lstCodecsCurrentRowChanged(int row) {
    showCodec(row);
}

void TMclCodecDialog::storeEdits() {
    if (shownRow_ < 0 || size_t(shownRow_) >= codecs_.size()) return;
    TMclCodecInfo& info = codecs_[size_t(shownRow_)];
    if (info.qualityUsed) info.quality = edtQuality->value();
    if (info.bitRateUsed) info.bitRate = edtBitRate->value();
    if (info.keyFrameRateUsed) info.keyFrameRate = edtKeyFrameRate->value();
}

void TMclCodecDialog::showCodec(int row) {
    showing_ = true;
    shownRow_ = row >= 0 && size_t(row) < codecs_.size() ? row : -1;
    TMclCodecInfo none{};
    const TMclCodecInfo& info = shownRow_ >= 0 ? codecs_[size_t(shownRow_)] : none;
    // Every quality scale of the library runs from the best picture (smallest value) to the smallest file.
    ShowSetting(edtQuality, labQualityRange, tr("%1 (best) to %2 (smallest file)"), QString(),
                info.qualityUsed, info.quality, info.qualityMin, info.qualityMax);
    // A bit rate of 0 leaves the rate to the quality setting.
    ShowSetting(edtBitRate, labBitRateRange, tr("%1 to %2"), tr("0: by quality"), info.bitRateUsed,
                info.bitRate, info.bitRateMin, info.bitRateMax);
    ShowSetting(edtKeyFrameRate, labKeyFrameRateRange, tr("%1 to %2"), QString(), info.keyFrameRateUsed,
                info.keyFrameRate, info.keyFrameRateMin, info.keyFrameRateMax);
    btnOK->setEnabled(shownRow_ >= 0);
    showing_ = false;
}

TMclCodecInfo TMclCodecDialog::chosenInfo() const {
    if (shownRow_ < 0) return TMclCodecInfo{};
    TMclCodecInfo info = codecs_[size_t(shownRow_)];
    TakeValues(info, info);  // a value from the edits is in range already; this keeps the block honest
    return info;
}

void TMclCodecDialog::accept() {
    if (shownRow_ < 0) return;
    // Text typed but not yet taken by an edit counts.
    for (QSpinBox* edit : {edtQuality, edtBitRate, edtKeyFrameRate})
        edit->interpretText();
    storeEdits();
    if (handle_) MclCodecsSetInfoToData(handle_, chosenInfo());
    QDialog::accept();
}

int32_t MclCodecDlg(MclHandle handle, int32_t stream, int32_t width, int32_t height, int32_t bits) {
    if (!handle || !qobject_cast<QApplication*>(QCoreApplication::instance())) return 0;
    QWidget* parent = QApplication::activeModalWidget();
    if (!parent) parent = QApplication::activeWindow();
    // With no codec for this size the dialog still opens, says so and only lets the user cancel.
    TMclCodecDialog dialog(handle, stream, width, height, bits, parent);
    return dialog.exec() == QDialog::Accepted ? -1 : 0;
}
