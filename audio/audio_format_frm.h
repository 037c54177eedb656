// TAudioFormatFrm ("Audio Format Settings"): edits the recording format fields of one task: the WAV channels,
// sample bits and rate, and the MP3 channel mode and bit rate. Created once at start-up and shown modally by
// the settings dialog's "&Config" button; it borrows the task (EditTask) for one showing.
// User-interface thread only. Writes nothing but those five fields of the borrowed task.
#pragma once

#include <QDialog>

struct TCovSettings;
class QComboBox;
class QPushButton;

// Brings the five sound format fields of `task` back into range (signed comparisons; negatives stay):
// adoWavChannel > 1 -> 1, adoWavBits > 1 -> 1, adoWavFreq > 2 -> 2, adoMp3Channel > 3 -> 1 (STEREO),
// adoMp3BitRate > 7 -> 2 (128kb/s).
void ClampAudioFormatFields(TCovSettings& task);

class TAudioFormatFrm : public QDialog {
    Q_OBJECT

  public:
    explicit TAudioFormatFrm(QWidget* parent = nullptr);

    TCovSettings* EditTask = nullptr;  // set before each showing
    QWidget* Owner = nullptr;          // the window it centres over (the settings dialog)

    QComboBox* cbxWavChannel = nullptr;
    QComboBox* cbxWavBits = nullptr;
    QComboBox* cbxWavFreq = nullptr;
    QComboBox* cbxMP3Channel = nullptr;
    QComboBox* cbxMP3BitRate = nullptr;
    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    void FormShow();
    void btnOKClick();
    void btnCancelClick();

  protected:
    void showEvent(QShowEvent* event) override;
};

extern TAudioFormatFrm* AudioFormatFrm;
