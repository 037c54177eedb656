// TSelectFrm ("Visual Selection"): draws a task's crop rectangle on a rendered frame of its movie. The
// settings dialog hands it the movie file and the start frame and shows it modally; "&Apply" writes the
// rectangle into the settings dialog's four crop edits, nothing else. Created once at start-up.
// Owns its player (FlashCtl, never shown: it renders off screen) and the rendered frame. User-interface
// thread only. Never writes the task itself.
#pragma once

#include <QDialog>
#include <QImage>
#include <QString>

class TRgnSelect;
class TShockwaveFlashEx;
class TSpinEdit;
class QLabel;
class QPushButton;
class QScrollArea;
class QSlider;
class QAction;

class TSelectFrm : public QDialog {
    Q_OBJECT

  public:
    // The largest side of the frame the window renders; a larger output size is shown at this size.
    static constexpr int kMaxSide = 4096;

    explicit TSelectFrm(QWidget* parent = nullptr);
    ~TSelectFrm() override;

    QString MovieFile;   // set by the settings dialog
    int StartFrame = 1;  // the settings dialog's start frame
    int TotalFrames = 0;

    TShockwaveFlashEx* FlashCtl = nullptr;
    QWidget* panSelect = nullptr;
    QWidget* panSettings = nullptr;
    QImage PreviewBitmap;

    TSpinEdit* edtExportCropX = nullptr;
    TSpinEdit* edtExportCropY = nullptr;
    TSpinEdit* edtExportCropW = nullptr;
    TSpinEdit* edtExportCropH = nullptr;
    QPushButton* btnSelectAll = nullptr;
    TSpinEdit* edtExportStart = nullptr;
    QSlider* trkExportStart = nullptr;
    QLabel* labTotalFrame = nullptr;
    TRgnSelect* RgnSelect = nullptr;
    QScrollArea* scrollBox = nullptr;
    QAction* menApply = nullptr;
    QAction* menCancel = nullptr;

    void FormShow();
    // Renders frame n of the movie into `bitmap` at the player's size; false on failure (no bitmap, no
    // movie); n below 0 is true and does nothing.
    bool RenderPreviewFrame(QImage* bitmap, int n);
    void edtExportStartChange();
    void trkExportStartMouseUp();
    void edtExportCropExit(TSpinEdit* edit);
    void RgnSelectEdited(int l, int t, int w, int h);
    void btnSelectAllClick();
    void menApplyClick();
    void menCancelClick();

  protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

  private:
    void showFrame(int n);
    bool syncing_ = false;
};

extern TSelectFrm* SelectFrm;
