// TSeekFrm (" Seek"): jumps the main window's preview player to a frame by number. Created once at start-up;
// the main window's "Seek" shows it modally. Borrows the preview player (PreviewFlash) and never loads,
// unloads or plays anything itself. User-interface thread only.
#pragma once

#include <QDialog>

class TShockwaveFlash;
class TSpinEdit;
class QPushButton;

class TSeekFrm : public QDialog {
    Q_OBJECT

  public:
    explicit TSeekFrm(QWidget* parent = nullptr);

    TShockwaveFlash* PreviewFlash = nullptr;  // the main window's preview player
    QWidget* Owner = nullptr;                 // the window it centres over

    TSpinEdit* edtFrameNumber = nullptr;    // 1..1600, keeps the last number between showings
    QPushButton* btnAudioImport = nullptr;  // "&Go!"

    void FormShow();
    void btnAudioImportClick();

  protected:
    void showEvent(QShowEvent* event) override;
    // Key preview: the window sees Enter and Escape before the number edit does.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    bool edtFrameNumberKeyDown(int key);
};

extern TSeekFrm* SeekFrm;
