// TSettingsFrm ("Export Settings"): edits every setting of one conversion task in place. The main window
// hands it the task (EditTask) and shows it modally, for a movie being added and for an existing task; it
// ends with OK or Cancel. Created once at start-up and reused; each showing starts from the task.
// Keeps its controls consistent with each other while the user works (the Apply*Rules below) and copies
// them into the task on OK. A few commands write the task at once, as the user expects of a chooser: the
// output name ("&Select"), the two codec choosers, the audio format dialog, and the default MPEG codec.
// Borrows the task; owns only its controls. User-interface thread only. Validates nothing on OK.
#pragma once

#include <QDialog>
#include <QString>

#include <functional>

#include "mcl/mcl.h"
#include "tasks/cov_settings.h"

class TColorBox;
class TSpinEdit;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;

// The one-line summary of a task's recording format: format 0 (WAVE) "STEREO-16bits-44100Hz", format 1
// (MP3) "JSTEREO-128kb/s", any other format "". Brings the task's five format fields back into range first
// (in the task itself, ClampAudioFormatFields); a value outside its table (a negative one) adds nothing.
QString AudioFormatSummary(int format, TCovSettings& task);

class TSettingsFrm : public QDialog {
    Q_OBJECT

  public:
    explicit TSettingsFrm(QWidget* parent = nullptr);

    TCovSettings* EditTask = nullptr;  // borrowed; set before each showing
    int CurExportType = dtAVI;         // the output type as of the last type switch
    QWidget* Owner = nullptr;          // the window it centres over (the main window)

    // The codec list the default MPEG codec is chosen from (tests hand in their own).
    TCodecSource Codecs = MclCodecSource();
    // The media library's codec chooser (MclCodecDlg unless a test sets another): non-zero when the user
    // confirmed a codec into the handle's codec block.
    std::function<int(MclHandle handle, int fileFmtID, int width, int height, int bits)> CodecDialog;

    // --- controls ---
    QLineEdit* edtSource = nullptr;
    QLineEdit* edtExport = nullptr;
    QPushButton* btnRename = nullptr;
    QPushButton* btnSelectSource = nullptr;  // hidden
    QComboBox* cbxExportType = nullptr;
    QComboBox* cbxExportSequence = nullptr;
    QComboBox* cbxExportColor = nullptr;
    QComboBox* cbxExportAlpha = nullptr;
    TSpinEdit* edtExportStart = nullptr;
    TSpinEdit* edtExportEnd = nullptr;
    TSpinEdit* edtExportWidth = nullptr;
    TSpinEdit* edtExportHeight = nullptr;
    QLabel* labExportSize = nullptr;   // "WidthxHeight:"
    QLabel* labExportX = nullptr;      // "x"
    QLabel* labExportPixel = nullptr;  // "pixel"
    QCheckBox* chkExportUseOriginalSize = nullptr;
    QCheckBox* chkExportKeepAspectRatio = nullptr;

    QTabWidget* pgeVideo = nullptr;
    QWidget* tabAVI = nullptr;
    QWidget* tabMPEG = nullptr;
    QWidget* tabGIF = nullptr;
    QWidget* tabImage = nullptr;
    QWidget* tabVideo = nullptr;  // MP4, WebM and MOV: the container's codec and the picture quality
    QComboBox* cbxVideoCodec = nullptr;
    QSlider* trkVideoQuality = nullptr;
    QLabel* labVideoQuality = nullptr;
    QWidget* tabAudio = nullptr;

    QLineEdit* edtAVIFormat = nullptr;
    QPushButton* btnAVIFormatConfig = nullptr;
    QDoubleSpinBox* edtAVIFrameRate = nullptr;
    QPushButton* btnSetAVIFPS = nullptr;

    QComboBox* cbxMPEGFormat = nullptr;
    QPushButton* btnMPEGFormatConfig = nullptr;
    QLabel* labMPEGFrameRate = nullptr;
    QComboBox* cbxMPEGFrameRate = nullptr;
    QLabel* labMPEGFPS = nullptr;

    QCheckBox* chkGIFBackground = nullptr;
    TColorBox* cbeGIFBackgroundColor = nullptr;
    QCheckBox* chkGIFTransparent = nullptr;
    TColorBox* cbeGIFTransparentColor = nullptr;
    QCheckBox* chkGIFLooping = nullptr;
    TSpinEdit* edtGIFRepeatCount = nullptr;
    QLabel* labGIFRepeatCount = nullptr;
    TSpinEdit* edtGIFFrameRate = nullptr;
    QPushButton* btnSetGIFFps = nullptr;
    QCheckBox* chkGIFInterlaced = nullptr;  // hidden

    QComboBox* cbxImageFormat = nullptr;
    QSlider* trkImageQuality = nullptr;
    QLabel* labImageQuality = nullptr;
    QLabel* labImageJPEGLow = nullptr;
    QLabel* labImageJPEGHigh = nullptr;

    QRadioButton* rdoAudioNone = nullptr;
    QRadioButton* rdoAudioRec = nullptr;
    QRadioButton* rdoAudioImport = nullptr;
    QRadioButton* rdoAudioDirect = nullptr;  // the movie's sound from the player
    QRadioButton* rdoAudioCard = nullptr;    // ... or recorded from the sound card
    QLabel* labAudioRecFormat = nullptr;
    QComboBox* cbxAudioRecFormat = nullptr;
    QPushButton* btnAudioRecConfig = nullptr;
    QLabel* labAudioRecFormatTips = nullptr;
    QLabel* labAudioImport = nullptr;
    QLineEdit* edtAudioImport = nullptr;
    QPushButton* btnAudioImport = nullptr;

    QCheckBox* chkExportCrop = nullptr;
    TSpinEdit* edtExportCropX = nullptr;
    TSpinEdit* edtExportCropY = nullptr;
    TSpinEdit* edtExportCropW = nullptr;
    TSpinEdit* edtExportCropH = nullptr;
    QLabel* labCropX = nullptr;
    QLabel* labCropY = nullptr;
    QLabel* labCropW = nullptr;
    QLabel* labCropH = nullptr;
    QWidget* panCropNote = nullptr;  // the note and its drawing
    QPushButton* btnVisualSelection = nullptr;

    // Split controls: kept, loaded and stored, but never offered (no output path reads them).
    QCheckBox* chkUseSplitSize = nullptr;
    QLineEdit* edtSplitSize = nullptr;
    QLabel* labSplitSize = nullptr;

    QPushButton* btnOK = nullptr;
    QPushButton* btnCancel = nullptr;

    // --- rules and handlers ---
    void FormShow();
    void ApplyExportType(bool fromUser);
    void ApplyColorRules();
    void ApplyImageFormatRules();
    void ApplyMPEGFormatRules();
    void ApplySizeRules();
    void ApplyCropRules();
    void ApplyGIFRules();
    void ApplyAudioSourceRules();

    void cbxExportTypeClick();
    void cbxExportColorClick();
    void cbxExportAlphaClick();
    void cbxImageFormatClick();
    void cbxMPEGFormatClick();
    void cbxAudioRecFormatClick();
    void chkUseSplitSizeClick();
    void btnAudioRecConfigClick();
    void btnAudioImportClick();
    void btnRenameClick();
    void btnAVIFormatConfigClick();
    void btnMPEGFormatConfigClick();
    void btnSetAVIFPSClick();
    void btnSetGIFFpsClick();
    void cbeGIFBackgroundColorButtonClick();
    void cbeGIFTransparentColorButtonClick();
    void btnVisualSelectionClick();
    void btnOKClick();
    void btnCancelClick();

    // Whether the split controls would be shown (AVI and MPEG); they stay out of sight either way.
    bool SplitControlsOffered() const { return splitOffered_; }

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void buildGeneral(QWidget* box);
    void buildTabs();
    void buildCrop(QWidget* box);
    void setTypeTab(QWidget* tab, bool audio);
    void fillVideoCodecs(int type);  // the codec choices of MP4, WebM or MOV
    void setColorItems(bool gif);
    void codecConfig(int fileFmtID, TMclCodecInfo& info);
    QString exportNameWithExtension(const char* extension) const;

    bool splitOffered_ = false;
};

extern TSettingsFrm* SettingsFrm;
