// TMclCodecDialog: the window behind MclCodecDlg. A list of the codecs MclCodecsInit finds, and below it the
// chosen codec's settings, each an integer edit limited to the codec's range and enabled only when the codec
// has that setting. Edits are remembered per codec while the dialog is open, so looking at another codec and
// coming back keeps them. OK stores the chosen codec's block into the conversion handle; Cancel stores
// nothing.
//
// The controls are public so tests can drive the dialog without running it modally.
#pragma once

#include <QDialog>

#include <vector>

#include "mcl/mcl.h"

class QDialogButtonBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

class TMclCodecDialog : public QDialog {
    Q_OBJECT

  public:
    TMclCodecDialog(MclHandle handle, int stream, int width, int height, int bits, QWidget* parent = nullptr);

    // The codec blocks as listed (index 0 is the library's index 1), with the edits made so far.
    const std::vector<TMclCodecInfo>& codecs() const { return codecs_; }
    // The block OK stores: the selected codec with the edits, clamped to its ranges. Meaningful only when the
    // list is not empty.
    TMclCodecInfo chosenInfo() const;

    // --- controls ---
    QListWidget* lstCodecs = nullptr;
    QSpinBox* edtQuality = nullptr;
    QSpinBox* edtBitRate = nullptr;
    QSpinBox* edtKeyFrameRate = nullptr;
    QLabel* labQualityRange = nullptr;
    QLabel* labBitRateRange = nullptr;
    QLabel* labKeyFrameRateRange = nullptr;
    QLabel* labNoCodec = nullptr;  // shown when no codec fits
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

  public slots:
    void accept() override;

  private:
    void lstCodecsCurrentRowChanged(int row);
    void storeEdits();  // the edits into the block of the codec shown
    void showCodec(int row);

    MclHandle handle_;
    int stream_;
    std::vector<TMclCodecInfo> codecs_;
    int shownRow_ = -1;
    bool showing_ = false;  // showCodec is filling the edits
};
