#include "ui/settings_frm.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSlider>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <stdexcept>

#include "audio/audio_format_frm.h"
#include "mcl_dialog/mcl_codec_dlg.h"
#include "tasks/swf_probe.h"
#include "tasks/temp_files.h"
#include "tasks/ui_hooks.h"
#include "ui/centre.h"
#include "ui/color_box.h"
#include "ui/select_frm.h"
#include "ui/spin_edit.h"
#include "ui/ui_seams.h"

TSettingsFrm* SettingsFrm = nullptr;

QString AudioFormatSummary(int format, TCovSettings& task) {
    ClampAudioFormatFields(task);
    auto pick = [](int value, std::initializer_list<const char*> table) {
        if (value < 0 || value >= int(table.size())) return QString();
        return QString::fromLatin1(table.begin()[value]);
    };
    if (format == aftWAV)
        return pick(task.adoWavChannel, {"MONO", "STEREO"}) + pick(task.adoWavBits, {"-8bits", "-16bits"}) +
               pick(task.adoWavFreq, {"-44100Hz", "-22050Hz", "-11025Hz"});
    if (format == aftMP3)
        return pick(task.adoMp3Channel, {"MONO", "STEREO", "JSTEREO", "DUALCHANNEL"}) +
               pick(task.adoMp3BitRate, {"-96kb/s", "-112kb/s", "-128kb/s", "-160kb/s", "-192kb/s",
                                         "-224kb/s", "-256kb/s", "-320kb/s"});
    return {};
}

namespace {

QString codecName(const TMclCodecInfo& info) {
    return QString::fromUtf8(info.codecName, int(strnlen(info.codecName, sizeof info.codecName)));
}

// File name part and folder part (with its trailing '/') of an output path.
void splitOutputPath(const QString& path, std::string* name, std::string* folder) {
    int slash = path.lastIndexOf(QLatin1Char('/'));
    *name = path.mid(slash + 1).toStdString();
    *folder = slash < 0 ? std::string() : path.left(slash + 1).toStdString();
}

TSpinEdit* numberEdit(QWidget* parent) {
    auto* e = new TSpinEdit(parent);
    e->setMaximumWidth(96);
    e->setMinimumWidth(72);
    return e;
}

QComboBox* dropDown(QWidget* parent, const QStringList& items) {
    auto* box = new QComboBox(parent);
    box->addItems(items);
    return box;
}

QLabel* note(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: palette(mid);"));
    return label;
}

// The little drawing beside the crop note: the output frame, the kept rectangle, and where x, y, w, h are.
class CropDiagram : public QWidget {
  public:
    explicit CropDiagram(QWidget* parent) : QWidget(parent) { setFixedSize(120, 78); }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing, false);
        QColor ink = isEnabled() ? palette().color(QPalette::WindowText) : palette().color(QPalette::Mid);
        p.setPen(QPen(ink, 1, Qt::DashLine));
        p.drawRect(2, 2, width() - 5, height() - 5);
        p.setPen(QPen(ink, 1));
        QRect kept(30, 22, 60, 34);
        p.drawRect(kept);
        p.fillRect(QRect(kept.left() - 1, kept.top() - 1, 3, 3), ink);
        QFont f = font();
        f.setPointSizeF(f.pointSizeF() * 0.8);
        p.setFont(f);
        p.drawText(QRect(kept.left() - 26, kept.top() - 16, 40, 14), Qt::AlignLeft, QStringLiteral("(x,y)"));
        p.drawText(QRect(kept.left(), kept.bottom() + 2, kept.width(), 14), Qt::AlignHCenter,
                   QStringLiteral("w"));
        p.drawText(QRect(kept.right() + 4, kept.top(), 14, kept.height()), Qt::AlignVCenter,
                   QStringLiteral("h"));
    }
};

}  // namespace

TSettingsFrm::TSettingsFrm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Export Settings"));
    setModal(true);
    CodecDialog = MclCodecDlg;

    // --- source and target ---
    edtSource = new QLineEdit(this);
    edtSource->setReadOnly(true);
    edtExport = new QLineEdit(this);
    edtExport->setReadOnly(true);
    btnRename = new QPushButton(QStringLiteral("&Select"), this);
    btnRename->setAutoDefault(false);
    btnSelectSource = new QPushButton(QStringLiteral("&Select"), this);
    btnSelectSource->hide();
    auto* files = new QGridLayout;
    files->addWidget(new QLabel(QStringLiteral("SWF Source:"), this), 0, 0);
    files->addWidget(edtSource, 0, 1);
    files->addWidget(new QLabel(QStringLiteral("Export to ..."), this), 1, 0);
    files->addWidget(edtExport, 1, 1);
    files->addWidget(btnRename, 1, 2);
    files->setColumnStretch(1, 1);

    // --- export settings: general on the left, the type pages on the right ---
    auto* exportBox = new QGroupBox(QStringLiteral("Export Settings"), this);
    auto* general = new QWidget(exportBox);
    buildGeneral(general);
    buildTabs();
    pgeVideo->setParent(exportBox);
    auto* exportRow = new QHBoxLayout(exportBox);
    exportRow->addWidget(general);
    exportRow->addWidget(pgeVideo, 1);

    auto* cropBox = new QGroupBox(this);
    buildCrop(cropBox);

    // Split controls: created so their fields survive a round trip, never shown.
    chkUseSplitSize = new QCheckBox(QStringLiteral("Split export file every"), this);
    edtSplitSize = new QLineEdit(this);
    labSplitSize = new QLabel(QStringLiteral("minutes"), this);
    chkUseSplitSize->hide();
    edtSplitSize->hide();
    labSplitSize->hide();

    btnOK = new QPushButton(QStringLiteral("&OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setAutoDefault(false);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    auto* column = new QVBoxLayout(this);
    column->addLayout(files);
    column->addWidget(exportBox, 1);
    column->addWidget(cropBox);
    column->addLayout(buttons);

    // Combo boxes react to the user's choice only; check boxes and radio buttons to every change of state,
    // also one made from code.
    connect(cbxExportType, &QComboBox::activated, this, &TSettingsFrm::cbxExportTypeClick);
    connect(cbxExportColor, &QComboBox::activated, this, &TSettingsFrm::cbxExportColorClick);
    connect(cbxExportAlpha, &QComboBox::activated, this, &TSettingsFrm::cbxExportAlphaClick);
    connect(cbxImageFormat, &QComboBox::activated, this, &TSettingsFrm::cbxImageFormatClick);
    connect(cbxMPEGFormat, &QComboBox::activated, this, &TSettingsFrm::cbxMPEGFormatClick);
    connect(cbxAudioRecFormat, &QComboBox::activated, this, &TSettingsFrm::cbxAudioRecFormatClick);
    connect(chkExportUseOriginalSize, &QCheckBox::toggled, this, &TSettingsFrm::ApplySizeRules);
    connect(chkExportCrop, &QCheckBox::toggled, this, &TSettingsFrm::ApplyCropRules);
    connect(chkGIFBackground, &QCheckBox::toggled, this, &TSettingsFrm::ApplyGIFRules);
    connect(chkGIFTransparent, &QCheckBox::toggled, this, &TSettingsFrm::ApplyGIFRules);
    connect(chkGIFLooping, &QCheckBox::toggled, this, &TSettingsFrm::ApplyGIFRules);
    connect(chkUseSplitSize, &QCheckBox::toggled, this, &TSettingsFrm::chkUseSplitSizeClick);
    for (QRadioButton* r : {rdoAudioNone, rdoAudioRec, rdoAudioImport, rdoAudioDirect, rdoAudioCard})
        connect(r, &QRadioButton::toggled, this, &TSettingsFrm::ApplyAudioSourceRules);
    connect(btnAudioRecConfig, &QPushButton::clicked, this, &TSettingsFrm::btnAudioRecConfigClick);
    connect(btnAudioImport, &QPushButton::clicked, this, &TSettingsFrm::btnAudioImportClick);
    connect(btnRename, &QPushButton::clicked, this, &TSettingsFrm::btnRenameClick);
    connect(btnAVIFormatConfig, &QPushButton::clicked, this, &TSettingsFrm::btnAVIFormatConfigClick);
    connect(btnMPEGFormatConfig, &QPushButton::clicked, this, &TSettingsFrm::btnMPEGFormatConfigClick);
    connect(btnSetAVIFPS, &QPushButton::clicked, this, &TSettingsFrm::btnSetAVIFPSClick);
    connect(btnSetGIFFps, &QPushButton::clicked, this, &TSettingsFrm::btnSetGIFFpsClick);
    connect(cbeGIFBackgroundColor, &TColorBox::ButtonClick, this,
            &TSettingsFrm::cbeGIFBackgroundColorButtonClick);
    connect(cbeGIFTransparentColor, &TColorBox::ButtonClick, this,
            &TSettingsFrm::cbeGIFTransparentColorButtonClick);
    connect(btnVisualSelection, &QPushButton::clicked, this, &TSettingsFrm::btnVisualSelectionClick);
    connect(btnOK, &QPushButton::clicked, this, &TSettingsFrm::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &TSettingsFrm::btnCancelClick);
}

void TSettingsFrm::buildGeneral(QWidget* box) {
    cbxExportType = dropDown(
        box, {QStringLiteral("AVI Video"), QStringLiteral("MPEG Video"), QStringLiteral("GIF Animation"),
              QStringLiteral("Image Sequence"), QStringLiteral("MP4 Video (H.264)"),
              QStringLiteral("WebM Video (VP9)"), QStringLiteral("MOV Video (ProRes 4444, Animation)")});
    cbxExportSequence =
        dropDown(box, {QStringLiteral("Normal sequence (interact)"),
                       QStringLiteral("Skip \"goto backward\" frame"), QStringLiteral("Frame by frame")});
    cbxExportColor = new QComboBox(box);
    setColorItems(false);
    cbxExportAlpha = dropDown(box, {QStringLiteral("None"), QStringLiteral("Intensity to Alpha Channel"),
                                    QStringLiteral("IntensitySqrt to Alpha Channel"),
                                    QStringLiteral("BackgroundColor to Alpha Channel")});
    edtExportStart = numberEdit(box);
    edtExportEnd = numberEdit(box);
    edtExportWidth = numberEdit(box);
    edtExportHeight = numberEdit(box);
    labExportSize = new QLabel(QStringLiteral("WidthxHeight:"), box);
    labExportX = new QLabel(QStringLiteral("x"), box);
    labExportPixel = new QLabel(QStringLiteral("pixel"), box);
    chkExportUseOriginalSize = new QCheckBox(QStringLiteral("Use original document size"), box);
    chkExportKeepAspectRatio = new QCheckBox(QStringLiteral("Keep aspect ratio"), box);

    auto* form = new QFormLayout(box);
    form->setContentsMargins(0, 0, 8, 0);
    form->addRow(QStringLiteral("Export Type:"), cbxExportType);
    form->addRow(QStringLiteral("Sequence:"), cbxExportSequence);
    form->addRow(QStringLiteral("Color Depth:"), cbxExportColor);
    form->addRow(QStringLiteral("AlphaChannel:"), cbxExportAlpha);
    auto* frames = new QHBoxLayout;
    frames->addWidget(edtExportStart);
    frames->addWidget(new QLabel(QStringLiteral("to"), box));
    frames->addWidget(edtExportEnd);
    frames->addWidget(new QLabel(QStringLiteral("frame"), box));
    frames->addStretch(1);
    form->addRow(QStringLiteral("Export from:"), frames);
    auto* size = new QHBoxLayout;
    size->addWidget(edtExportWidth);
    size->addWidget(labExportX);
    size->addWidget(edtExportHeight);
    size->addWidget(labExportPixel);
    size->addStretch(1);
    form->addRow(labExportSize, size);
    form->addRow(QString(), chkExportUseOriginalSize);
    form->addRow(QString(), chkExportKeepAspectRatio);
}

void TSettingsFrm::buildTabs() {
    pgeVideo = new QTabWidget(this);

    // AVI
    tabAVI = new QWidget;
    edtAVIFormat = new QLineEdit(tabAVI);
    edtAVIFormat->setReadOnly(true);
    btnAVIFormatConfig = new QPushButton(QStringLiteral("&Select AVI Codec"), tabAVI);
    btnAVIFormatConfig->setAutoDefault(false);
    edtAVIFrameRate = new QDoubleSpinBox(tabAVI);
    edtAVIFrameRate->setRange(-1e9, 1e9);
    edtAVIFrameRate->setDecimals(2);
    edtAVIFrameRate->setMaximumWidth(110);
    btnSetAVIFPS = new QPushButton(QStringLiteral("&Set as doc fps"), tabAVI);
    btnSetAVIFPS->setAutoDefault(false);
    {
        auto* form = new QFormLayout(tabAVI);
        auto* codec = new QHBoxLayout;
        codec->addWidget(edtAVIFormat, 1);
        codec->addWidget(btnAVIFormatConfig);
        form->addRow(QStringLiteral("AVI Format:"), codec);
        auto* rate = new QHBoxLayout;
        rate->addWidget(edtAVIFrameRate);
        rate->addWidget(new QLabel(QStringLiteral("FPS"), tabAVI));
        rate->addWidget(btnSetAVIFPS);
        rate->addStretch(1);
        form->addRow(QStringLiteral("Frame Rate:"), rate);
        form->addRow(note(
            QStringLiteral("Note: Because many AVI codecs won't work with any video resolution and color "
                           "depth, so you have to set the final resolution and color depth to get the "
                           "list of compatible codecs."),
            tabAVI));
    }

    // MPEG
    tabMPEG = new QWidget;
    cbxMPEGFormat =
        dropDown(tabMPEG, {QStringLiteral("VCD-NTSC"), QStringLiteral("VCD-PAL"), QStringLiteral("DVD-NTSC"),
                           QStringLiteral("DVD-PAL"), QStringLiteral("SVCD-NTSC"), QStringLiteral("SVCD-PAL"),
                           QStringLiteral("MPEG-1(Customize)"), QStringLiteral("MPEG-2(Customize)")});
    btnMPEGFormatConfig = new QPushButton(QStringLiteral("&Config MPEG Codec"), tabMPEG);
    btnMPEGFormatConfig->setAutoDefault(false);
    labMPEGFrameRate = new QLabel(QStringLiteral("Frame Rate:"), tabMPEG);
    cbxMPEGFrameRate = dropDown(tabMPEG, {QStringLiteral("22.98"), QStringLiteral("24"), QStringLiteral("25"),
                                          QStringLiteral("29.97"), QStringLiteral("30"), QStringLiteral("50"),
                                          QStringLiteral("59.94"), QStringLiteral("60")});
    labMPEGFPS = new QLabel(QStringLiteral("FPS"), tabMPEG);
    {
        auto* form = new QFormLayout(tabMPEG);
        auto* format = new QHBoxLayout;
        format->addWidget(cbxMPEGFormat, 1);
        format->addWidget(btnMPEGFormatConfig);
        form->addRow(QStringLiteral("MPEG Format:"), format);
        auto* rate = new QHBoxLayout;
        rate->addWidget(cbxMPEGFrameRate);
        rate->addWidget(labMPEGFPS);
        rate->addStretch(1);
        form->addRow(labMPEGFrameRate, rate);
        form->addRow(
            note(QStringLiteral("Note: MPEG supports only these frame rate values: 22.98, 24, 25, 29.97, 30, "
                                "50, 59.94 and 60 fps, any other value will be rounded to the nearest "
                                "supported."),
                 tabMPEG));
    }

    // MP4, WebM, MOV
    tabVideo = new QWidget;
    cbxVideoCodec = new QComboBox(tabVideo);
    trkVideoQuality = new QSlider(Qt::Horizontal, tabVideo);
    trkVideoQuality->setRange(1, 100);
    labVideoQuality = new QLabel(tabVideo);
    connect(trkVideoQuality, &QSlider::valueChanged, labVideoQuality,
            [this](int v) { labVideoQuality->setText(QString::number(v)); });
    {
        auto* form = new QFormLayout(tabVideo);
        form->addRow(QStringLiteral("Codec:"), cbxVideoCodec);
        auto* quality = new QHBoxLayout;
        quality->addWidget(trkVideoQuality, 1);
        quality->addWidget(labVideoQuality);
        form->addRow(QStringLiteral("Quality:"), quality);
        auto* note =
            new QLabel(QStringLiteral("Higher quality makes a bigger file. WebM and MOV keep the alpha "
                                      "channel of 32-bit output; QuickTime Animation is lossless."),
                       tabVideo);
        note->setWordWrap(true);
        form->addRow(note);
    }

    // GIF
    tabGIF = new QWidget;
    chkGIFBackground = new QCheckBox(QStringLiteral("Background Color"), tabGIF);
    cbeGIFBackgroundColor = new TColorBox(tabGIF);
    chkGIFTransparent = new QCheckBox(QStringLiteral("Transparent Color"), tabGIF);
    cbeGIFTransparentColor = new TColorBox(tabGIF);
    chkGIFLooping = new QCheckBox(QStringLiteral("Looping"), tabGIF);
    edtGIFRepeatCount = numberEdit(tabGIF);
    labGIFRepeatCount = new QLabel(QStringLiteral("times (0 means repeat forever)"), tabGIF);
    edtGIFFrameRate = numberEdit(tabGIF);
    btnSetGIFFps = new QPushButton(QStringLiteral("&Set as doc fps"), tabGIF);
    btnSetGIFFps->setAutoDefault(false);
    chkGIFInterlaced = new QCheckBox(QStringLiteral("Save frames interlaced"), tabGIF);
    chkGIFInterlaced->hide();
    {
        auto* grid = new QGridLayout(tabGIF);
        grid->addWidget(chkGIFBackground, 0, 0);
        grid->addWidget(cbeGIFBackgroundColor, 0, 1);
        grid->addWidget(chkGIFTransparent, 1, 0);
        grid->addWidget(cbeGIFTransparentColor, 1, 1);
        grid->addWidget(chkGIFLooping, 2, 0);
        auto* repeat = new QHBoxLayout;
        repeat->addWidget(edtGIFRepeatCount);
        repeat->addWidget(labGIFRepeatCount);
        repeat->addStretch(1);
        grid->addLayout(repeat, 2, 1);
        grid->addWidget(new QLabel(QStringLiteral("Frame Rate:"), tabGIF), 3, 0);
        auto* rate = new QHBoxLayout;
        rate->addWidget(edtGIFFrameRate);
        rate->addWidget(new QLabel(QStringLiteral("FPS"), tabGIF));
        rate->addWidget(btnSetGIFFps);
        rate->addStretch(1);
        grid->addLayout(rate, 3, 1);
        grid->setColumnStretch(1, 1);
        grid->setRowStretch(4, 1);
    }

    // Image
    tabImage = new QWidget;
    cbxImageFormat = dropDown(
        tabImage, {QStringLiteral("PNG(Portable Network Graphics)"), QStringLiteral("TGA(Truevision Targa)"),
                   QStringLiteral("BMP(Windows Device Independent Bitmap)"),
                   QStringLiteral("JPEG(Joint Photographic Expert Group)")});
    trkImageQuality = new QSlider(Qt::Horizontal, tabImage);
    trkImageQuality->setRange(1, 100);
    trkImageQuality->setSingleStep(1);
    labImageQuality = new QLabel(QStringLiteral("JPEG Compression Quality "), tabImage);
    labImageJPEGLow = new QLabel(QStringLiteral("Low"), tabImage);
    labImageJPEGHigh = new QLabel(QStringLiteral("High"), tabImage);
    {
        auto* form = new QFormLayout(tabImage);
        form->addRow(QStringLiteral("Image Format:"), cbxImageFormat);
        form->addRow(labImageQuality);
        auto* quality = new QHBoxLayout;
        quality->addWidget(labImageJPEGLow);
        quality->addWidget(trkImageQuality, 1);
        quality->addWidget(labImageJPEGHigh);
        form->addRow(quality);
    }

    // Audio
    tabAudio = new QWidget;
    rdoAudioNone = new QRadioButton(QStringLiteral("No Audio Stream"), tabAudio);
    rdoAudioRec = new QRadioButton(QStringLiteral("Record from current SWF file"), tabAudio);
    rdoAudioImport = new QRadioButton(QStringLiteral("Import from an exsiting audio file"), tabAudio);
    auto* group = new QButtonGroup(tabAudio);
    group->addButton(rdoAudioNone, 0);
    group->addButton(rdoAudioRec, 1);
    group->addButton(rdoAudioImport, 2);
    // How the movie's sound is taken: from the player itself, or recorded from the sound card in real time.
    rdoAudioDirect = new QRadioButton(
        QStringLiteral("Take the movie's sound directly (exact, faster than real time)"), tabAudio);
    rdoAudioCard = new QRadioButton(QStringLiteral("Record the sound card while the movie plays"), tabAudio);
    auto* how = new QButtonGroup(tabAudio);
    how->addButton(rdoAudioDirect, 0);
    how->addButton(rdoAudioCard, 1);
    labAudioRecFormat = new QLabel(QStringLiteral("Format:"), tabAudio);
    cbxAudioRecFormat =
        dropDown(tabAudio, {QStringLiteral("Record to WAVE format"), QStringLiteral("Record to MP3 format")});
    btnAudioRecConfig = new QPushButton(QStringLiteral("&Config"), tabAudio);
    btnAudioRecConfig->setAutoDefault(false);
    labAudioRecFormatTips = new QLabel(tabAudio);
    labAudioImport = new QLabel(QStringLiteral("Source audio file (*.wav;*.mp3)"), tabAudio);
    edtAudioImport = new QLineEdit(tabAudio);
    edtAudioImport->setReadOnly(true);
    btnAudioImport = new QPushButton(tabAudio);
    btnAudioImport->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    btnAudioImport->setToolTip(QStringLiteral("Choose the audio file"));
    btnAudioImport->setAutoDefault(false);
    {
        auto* grid = new QGridLayout(tabAudio);
        grid->addWidget(rdoAudioNone, 0, 0, 1, 4);
        grid->addWidget(rdoAudioRec, 1, 0, 1, 4);
        grid->addWidget(rdoAudioDirect, 2, 1, 1, 3);
        grid->addWidget(rdoAudioCard, 3, 1, 1, 3);
        grid->addWidget(labAudioRecFormat, 4, 1);
        grid->addWidget(cbxAudioRecFormat, 4, 2);
        grid->addWidget(btnAudioRecConfig, 4, 3);
        grid->addWidget(labAudioRecFormatTips, 5, 2, 1, 2);
        grid->addWidget(rdoAudioImport, 6, 0, 1, 4);
        grid->addWidget(labAudioImport, 7, 1, 1, 3);
        auto* file = new QHBoxLayout;
        file->addWidget(edtAudioImport, 1);
        file->addWidget(btnAudioImport);
        grid->addLayout(file, 8, 1, 1, 3);
        grid->setColumnMinimumWidth(0, 16);
        grid->setColumnStretch(2, 1);
        grid->setRowStretch(9, 1);
    }

    pgeVideo->addTab(tabAVI, QStringLiteral("AVI Video Settings"));
    pgeVideo->addTab(tabMPEG, QStringLiteral("MPEG Video Settings"));
    pgeVideo->addTab(tabGIF, QStringLiteral("GIF Animation Settings"));
    pgeVideo->addTab(tabImage, QStringLiteral("Image Settings"));
    pgeVideo->addTab(tabVideo, QStringLiteral("Video Settings"));
    pgeVideo->addTab(tabAudio, QStringLiteral("Audio Settings"));
}

void TSettingsFrm::buildCrop(QWidget* box) {
    chkExportCrop = new QCheckBox(QStringLiteral("Only convert the specified rectangular area."), box);
    edtExportCropX = numberEdit(box);
    edtExportCropY = numberEdit(box);
    edtExportCropW = numberEdit(box);
    edtExportCropH = numberEdit(box);
    labCropX = new QLabel(QStringLiteral("x:"), box);
    labCropY = new QLabel(QStringLiteral("y:"), box);
    labCropW = new QLabel(QStringLiteral("w:"), box);
    labCropH = new QLabel(QStringLiteral("h:"), box);
    btnVisualSelection = new QPushButton(QStringLiteral("Visual selection"), box);
    btnVisualSelection->setAutoDefault(false);
    panCropNote = new QWidget(box);
    auto* noteRow = new QHBoxLayout(panCropNote);
    noteRow->setContentsMargins(0, 0, 0, 0);
    noteRow->addWidget(
        note(QStringLiteral("Note: Check this option, you will eliminate unwanted areas around the "
                            "frame, and only the specified rectangular area is kept. The actual output "
                            "frame rectangle is:\nLeft: x; Top: y; Width: w ; Height: h"),
             panCropNote),
        1);
    noteRow->addWidget(new CropDiagram(panCropNote));

    auto* column = new QVBoxLayout(box);
    column->addWidget(chkExportCrop);
    auto* fields = new QHBoxLayout;
    const std::pair<QLabel*, TSpinEdit*> pairs[] = {{labCropX, edtExportCropX},
                                                    {labCropY, edtExportCropY},
                                                    {labCropW, edtExportCropW},
                                                    {labCropH, edtExportCropH}};
    for (auto [label, edit] : pairs) {
        fields->addWidget(label);
        fields->addWidget(edit);
    }
    fields->addSpacing(12);
    fields->addWidget(btnVisualSelection);
    fields->addStretch(1);
    column->addLayout(fields);
    column->addWidget(panCropNote);
}

void TSettingsFrm::setColorItems(bool gif) {
    cbxExportColor->clear();
    if (gif) {
        cbxExportColor->addItem(QStringLiteral("8bits(256 colors)"));
    } else {
        cbxExportColor->addItem(QStringLiteral("24bits(No Alpha Channel)"));
        cbxExportColor->addItem(QStringLiteral("32bits(With Alpha Channel)"));
    }
}

void TSettingsFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Once per showing: the window system reports the same showing again later (a spontaneous event).
    if (!event->spontaneous()) FormShow();
}

void TSettingsFrm::FormShow() {
    CentreOver(this, Owner);
    if (!EditTask) return;
    const TCovSettings& t = *EditTask;
    cbxExportType->setCurrentIndex(t.destType);
    trkVideoQuality->setValue(t.destVideoQuality > 0 ? t.destVideoQuality : kDefaultVideoQuality);
    labVideoQuality->setText(QString::number(trkVideoQuality->value()));
    edtSource->setText(QString::fromStdString(t.swfFilename));
    edtExport->setText(QString::fromStdString(
        t.destType == dtImageSequence ? t.destFilepath : t.destFilepath + t.destFilename));
    cbxExportSequence->setCurrentIndex(t.destSequenceMode);
    setColorItems(false);
    cbxExportColor->setCurrentIndex(t.destColorDepth);
    cbxExportAlpha->setCurrentIndex(t.destAlphaMode);
    edtExportStart->SetValue(t.destStartFrame);
    edtExportEnd->SetValue(t.destEndFrame);
    edtExportWidth->SetValue(t.destW);
    edtExportHeight->SetValue(t.destH);
    edtExportCropX->SetValue(t.destCropX);
    edtExportCropY->SetValue(t.destCropY);
    edtExportCropW->SetValue(t.destCropW);
    edtExportCropH->SetValue(t.destCropH);
    chkExportCrop->setChecked(t.destIsCrop);
    chkExportKeepAspectRatio->setChecked(t.destIsKeepAspectRatio);
    chkExportUseOriginalSize->setChecked(t.destIsUseOriginalSize);
    chkUseSplitSize->setChecked(t.destIsSplit);
    edtSplitSize->setText(QLocale::system().toString(t.destSplitSize, 'g', 15));
    edtSplitSize->setEnabled(chkUseSplitSize->isChecked());
    edtAVIFormat->setText(codecName(t.DestAVICodecInfo));
    edtAVIFrameRate->setValue(t.destAVIFrameRate);
    cbxMPEGFormat->setCurrentIndex(t.destMPEGCodec);
    cbxMPEGFrameRate->setCurrentIndex(t.destMPEGFrameRate);
    chkGIFBackground->setChecked(t.destGIFIsBackground);
    cbeGIFBackgroundColor->SetColor(t.destGIFBackgroundColor);
    chkGIFTransparent->setChecked(t.destGIFIsTransparent);
    cbeGIFTransparentColor->SetColor(t.destGIFTransparentColor);
    chkGIFLooping->setChecked(t.destGIFIsLooping);
    chkGIFInterlaced->setChecked(t.destGIFIsInterlaced);
    edtGIFRepeatCount->SetValue(t.destGIFRepeatCount);
    edtGIFFrameRate->SetValue(t.destGIFFrameRate);
    cbxImageFormat->setCurrentIndex(t.destImageType);
    trkImageQuality->setValue(t.destImageJPEGQuality);
    if (t.adoSource == asNone) rdoAudioNone->setChecked(true);
    if (t.adoSource == asRecord) rdoAudioRec->setChecked(true);
    if (t.adoSource == asImport) rdoAudioImport->setChecked(true);
    (t.adoDirect ? rdoAudioDirect : rdoAudioCard)->setChecked(true);
    cbxAudioRecFormat->setCurrentIndex(t.adoFileType);
    edtAudioImport->setText(QString::fromStdString(t.adoFilename));

    labAudioRecFormatTips->setText(AudioFormatSummary(EditTask->adoFileType, *EditTask));

    ApplyAudioSourceRules();
    ApplyExportType(false);
    if (EditTask->destType == dtImageSequence) ApplyImageFormatRules();
}

QString TSettingsFrm::exportNameWithExtension(const char* extension) const {
    QString name = QString::fromStdString(EditTask->destFilename);
    int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0) name.truncate(dot);
    return QString::fromStdString(EditTask->destFilepath) + name + QLatin1String(extension);
}

void TSettingsFrm::fillVideoCodecs(int type) {
    cbxVideoCodec->clear();
    if (type == dtMP4) cbxVideoCodec->addItem(QStringLiteral("H.264 (x264), AAC sound"));
    if (type == dtWebM) cbxVideoCodec->addItem(QStringLiteral("VP9, Opus sound"));
    if (type == dtMOV) {
        // Indexed by TMovCodec.
        cbxVideoCodec->addItem(QStringLiteral("Apple ProRes 4444, PCM sound"));
        cbxVideoCodec->addItem(QStringLiteral("QuickTime Animation (lossless), PCM sound"));
    }
    cbxVideoCodec->setEnabled(cbxVideoCodec->count() > 1);
}

void TSettingsFrm::setTypeTab(QWidget* tab, bool audio) {
    pgeVideo->setTabVisible(pgeVideo->indexOf(tab), true);
    pgeVideo->setCurrentWidget(tab);
    pgeVideo->setTabVisible(pgeVideo->indexOf(tabAudio), audio);
}

void TSettingsFrm::ApplyExportType(bool fromUser) {
    CurExportType = cbxExportType->currentIndex();
    for (QWidget* tab : {tabAVI, tabMPEG, tabGIF, tabImage, tabVideo})
        pgeVideo->setTabVisible(pgeVideo->indexOf(tab), false);
    auto enableSizeAndCropChecks = [this] {
        chkExportUseOriginalSize->setEnabled(true);
        chkExportKeepAspectRatio->setEnabled(true);
        chkExportCrop->setEnabled(true);
    };
    auto videoColors = [this, fromUser] {
        setColorItems(false);
        cbxExportColor->setCurrentIndex(fromUser || !EditTask ? 0 : EditTask->destColorDepth);
    };
    switch (CurExportType) {
        case dtAVI:
            setTypeTab(tabAVI, true);
            if (EditTask) {
                edtExport->setText(exportNameWithExtension(".avi"));
                edtAVIFormat->setText(codecName(EditTask->DestAVICodecInfo));
            }
            enableSizeAndCropChecks();
            ApplySizeRules();
            ApplyCropRules();
            videoColors();
            splitOffered_ = true;
            break;
        case dtMPEG:
            setTypeTab(tabMPEG, true);
            if (EditTask) edtExport->setText(exportNameWithExtension(".mpg"));
            ApplyCropRules();
            ApplyMPEGFormatRules();
            videoColors();
            splitOffered_ = true;
            break;
        case dtGIF:
            setTypeTab(tabGIF, false);
            if (EditTask) edtExport->setText(exportNameWithExtension(".gif"));
            enableSizeAndCropChecks();
            ApplySizeRules();
            ApplyCropRules();
            ApplyGIFRules();
            setColorItems(true);
            cbxExportColor->setCurrentIndex(0);
            splitOffered_ = false;
            break;
        case dtImageSequence:
            setTypeTab(tabImage, false);
            if (EditTask) edtExport->setText(QString::fromStdString(EditTask->destFilepath));
            enableSizeAndCropChecks();
            ApplySizeRules();
            ApplyCropRules();
            videoColors();
            splitOffered_ = false;
            break;
        case dtMP4:
        case dtWebM:
        case dtMOV:
            setTypeTab(tabVideo, true);
            fillVideoCodecs(CurExportType);
            if (EditTask) {
                edtExport->setText(exportNameWithExtension(CurExportType == dtMP4    ? ".mp4"
                                                           : CurExportType == dtWebM ? ".webm"
                                                                                     : ".mov"));
                if (!fromUser && EditTask->destType == CurExportType)
                    cbxVideoCodec->setCurrentIndex(
                        std::clamp(EditTask->destVideoCodec, 0, cbxVideoCodec->count() - 1));
            }
            enableSizeAndCropChecks();
            ApplySizeRules();
            ApplyCropRules();
            videoColors();
            splitOffered_ = false;
            break;
        default:
            break;
    }
    ApplyColorRules();
}

void TSettingsFrm::ApplyColorRules() {
    const int image = cbxImageFormat->currentIndex();
    // MP4 holds H.264 in 4:2:0, which has no alpha channel.
    const bool fixed24 = CurExportType == dtGIF || CurExportType == dtMP4 ||
                         (CurExportType == dtImageSequence && (image == itBMP || image == itJPEG));
    if (fixed24) {
        cbxExportColor->setEnabled(false);
        cbxExportColor->setCurrentIndex(0);
        cbxExportAlpha->setEnabled(false);
        cbxExportAlpha->setCurrentIndex(amNone);
        return;
    }
    if (CurExportType < dtAVI || CurExportType >= kDestTypeCount) return;
    cbxExportColor->setEnabled(true);
    if (cbxExportColor->currentIndex() == cd24Bit) {
        cbxExportAlpha->setEnabled(false);
        cbxExportAlpha->setCurrentIndex(amNone);
    } else if (cbxExportColor->currentIndex() == cd32BitAlpha) {
        cbxExportAlpha->setEnabled(true);
        // 32 bits needs an alpha rule: the square-root intensity unless one is chosen already, so a stored
        // "Intensity" or "BackgroundColor" rule survives opening the dialog.
        if (cbxExportAlpha->currentIndex() <= amNone) cbxExportAlpha->setCurrentIndex(amIntensitySqrt);
    }
}

void TSettingsFrm::ApplyImageFormatRules() {
    const int image = cbxImageFormat->currentIndex();
    const bool jpeg = image == itJPEG;
    for (QWidget* w : {static_cast<QWidget*>(trkImageQuality), static_cast<QWidget*>(labImageQuality),
                       static_cast<QWidget*>(labImageJPEGLow), static_cast<QWidget*>(labImageJPEGHigh)})
        w->setEnabled(jpeg);
    if (image == itBMP || image == itJPEG) cbxExportColor->setCurrentIndex(0);
    ApplyColorRules();
}

void TSettingsFrm::ApplyMPEGFormatRules() {
    const int format = cbxMPEGFormat->currentIndex();
    const bool custom = format == mpMPEG1Custom || format == mpMPEG2Custom;
    auto sizeControls = [this](bool enabled) {
        for (QWidget* w : {static_cast<QWidget*>(edtExportWidth), static_cast<QWidget*>(edtExportHeight),
                           static_cast<QWidget*>(labExportSize), static_cast<QWidget*>(labExportX),
                           static_cast<QWidget*>(labExportPixel)})
            w->setEnabled(enabled);
    };
    if (custom) {
        for (QWidget* w : {static_cast<QWidget*>(btnMPEGFormatConfig),
                           static_cast<QWidget*>(labMPEGFrameRate), static_cast<QWidget*>(cbxMPEGFrameRate),
                           static_cast<QWidget*>(labMPEGFPS), static_cast<QWidget*>(chkExportUseOriginalSize),
                           static_cast<QWidget*>(chkExportKeepAspectRatio)})
            w->setEnabled(true);
        sizeControls(!chkExportUseOriginalSize->isChecked());
        if (chkExportUseOriginalSize->isChecked() && EditTask) {
            edtExportWidth->SetValue(EditTask->swfW);
            edtExportHeight->SetValue(EditTask->swfH);
        }
        chkExportCrop->setEnabled(true);
    } else if (format >= 0) {
        chkExportUseOriginalSize->setChecked(false);
        chkExportUseOriginalSize->setEnabled(false);
        chkExportKeepAspectRatio->setChecked(false);
        chkExportKeepAspectRatio->setEnabled(false);
        for (QWidget* w :
             {static_cast<QWidget*>(btnMPEGFormatConfig), static_cast<QWidget*>(labMPEGFrameRate),
              static_cast<QWidget*>(cbxMPEGFrameRate), static_cast<QWidget*>(labMPEGFPS)})
            w->setEnabled(false);
        sizeControls(false);
        chkExportCrop->setChecked(false);
        chkExportCrop->setEnabled(false);
        ApplyCropRules();
        struct Preset {
            int rate, w, h;
        };
        static constexpr Preset kPresets[6] = {{3, 352, 240}, {2, 352, 288}, {3, 720, 480},
                                               {2, 720, 576}, {3, 480, 480}, {2, 480, 576}};
        const Preset& p = kPresets[format];
        cbxMPEGFrameRate->setCurrentIndex(p.rate);
        edtExportWidth->SetValue(p.w);
        edtExportHeight->SetValue(p.h);
    }
    if (EditTask) {
        const int variant = (format == mpVCDNTSC || format == mpVCDPAL || format == mpMPEG1Custom) ? 1 : 2;
        SelectDefaultCodec(11, variant, edtExportWidth->Value(), edtExportHeight->Value(), 24,
                           EditTask->DestMPEGCodecInfo, Codecs);
    }
}

void TSettingsFrm::ApplySizeRules() {
    const bool original = chkExportUseOriginalSize->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(edtExportWidth), static_cast<QWidget*>(edtExportHeight),
                       static_cast<QWidget*>(labExportSize), static_cast<QWidget*>(labExportX),
                       static_cast<QWidget*>(labExportPixel)})
        w->setEnabled(!original);
    if (original && EditTask) {
        edtExportWidth->SetValue(EditTask->swfW);
        edtExportHeight->SetValue(EditTask->swfH);
    }
}

void TSettingsFrm::ApplyCropRules() {
    const bool crop = chkExportCrop->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(panCropNote), static_cast<QWidget*>(labCropX),
                       static_cast<QWidget*>(labCropY), static_cast<QWidget*>(labCropW),
                       static_cast<QWidget*>(labCropH), static_cast<QWidget*>(edtExportCropX),
                       static_cast<QWidget*>(edtExportCropY), static_cast<QWidget*>(edtExportCropW),
                       static_cast<QWidget*>(edtExportCropH), static_cast<QWidget*>(btnVisualSelection)})
        w->setEnabled(crop);
}

void TSettingsFrm::ApplyGIFRules() {
    cbeGIFBackgroundColor->setEnabled(chkGIFBackground->isChecked());
    cbeGIFTransparentColor->setEnabled(chkGIFTransparent->isChecked());
    edtGIFRepeatCount->setEnabled(chkGIFLooping->isChecked());
    labGIFRepeatCount->setEnabled(chkGIFLooping->isChecked());
}

void TSettingsFrm::ApplyAudioSourceRules() {
    const bool movie = rdoAudioRec->isChecked();
    const bool import = rdoAudioImport->isChecked();
    rdoAudioDirect->setEnabled(movie);
    rdoAudioCard->setEnabled(movie);
    // The format is that of the recording; sound taken directly is written exactly as the player mixed it.
    const bool rec = movie && rdoAudioCard->isChecked();
    for (QWidget* w :
         {static_cast<QWidget*>(labAudioRecFormat), static_cast<QWidget*>(cbxAudioRecFormat),
          static_cast<QWidget*>(btnAudioRecConfig), static_cast<QWidget*>(labAudioRecFormatTips)})
        w->setEnabled(rec);
    for (QWidget* w : {static_cast<QWidget*>(labAudioImport), static_cast<QWidget*>(edtAudioImport),
                       static_cast<QWidget*>(btnAudioImport)})
        w->setEnabled(import);
}

void TSettingsFrm::cbxExportTypeClick() {
    ApplyExportType(true);
}

void TSettingsFrm::cbxExportColorClick() {
    ApplyColorRules();
}

void TSettingsFrm::cbxExportAlphaClick() {
    if (cbxExportAlpha->currentIndex() != amNone) return;
    cbxExportColor->setCurrentIndex(cd24Bit);
    ApplyColorRules();
}

void TSettingsFrm::cbxImageFormatClick() {
    ApplyImageFormatRules();
}

void TSettingsFrm::cbxMPEGFormatClick() {
    ApplyMPEGFormatRules();
}

void TSettingsFrm::cbxAudioRecFormatClick() {
    if (EditTask)
        labAudioRecFormatTips->setText(AudioFormatSummary(cbxAudioRecFormat->currentIndex(), *EditTask));
}

void TSettingsFrm::chkUseSplitSizeClick() {
    edtSplitSize->setEnabled(chkUseSplitSize->isChecked());
}

void TSettingsFrm::btnAudioRecConfigClick() {
    if (!EditTask || !AudioFormatFrm) return;
    AudioFormatFrm->EditTask = EditTask;
    AudioFormatFrm->Owner = this;
    if (AudioFormatFrm->exec() == QDialog::Accepted)
        labAudioRecFormatTips->setText(AudioFormatSummary(cbxAudioRecFormat->currentIndex(), *EditTask));
}

void TSettingsFrm::btnAudioImportClick() {
    QStringList chosen = uiseams::GetOpenFileNames(this, QStringLiteral("Import audio"),
                                                   QStringLiteral("Audio Files (*.wav *.mp3);;All Files (*)"),
                                                   QString(), false);
    if (chosen.isEmpty()) return;
    repaint();
    TBusyCursor busy;
    const QString file = chosen.first();
    uint8_t record[kMclFileInfoSize] = {};
    int32_t hasAudio = 0, supported = 0;
    if (MclGetFileInfo(file.toStdString(), 2, record, 0, 0)) {
        std::memcpy(&hasAudio, record + kMclFileInfoHasAudioOffset, 4);
        std::memcpy(&supported, record + kMclFileInfoAudioSupportedOffset, 4);
    }
    if (!hasAudio)
        uiseams::ShowMessage(this, QStringLiteral("No audio stream exists in this file!"));
    else if (supported)
        edtAudioImport->setText(QFileInfo(file).absoluteFilePath());
    else
        uiseams::ShowMessage(this, QStringLiteral("Unsupported audio format!"));
}

void TSettingsFrm::btnRenameClick() {
    if (!EditTask) return;
    if (CurExportType == dtImageSequence) {
        QString start = QFileInfo(edtSource->text()).absolutePath();
        QString folder = uiseams::GetExistingDirectory(this, QStringLiteral("Export to folder"), start);
        if (folder.isEmpty()) return;
        edtExport->setText(folder);
        EditTask->destFilepath = folder.toStdString();
        return;
    }
    QString suffix, filter;
    switch (CurExportType) {
        case dtAVI:
            suffix = QStringLiteral("avi");
            filter = QStringLiteral("AVI File (*.avi)");
            break;
        case dtMPEG:
            suffix = QStringLiteral("mpg");
            filter = QStringLiteral("VCD/DVD/SVCD/MPEG File (*.mpg)");
            break;
        case dtGIF:
            suffix = QStringLiteral("gif");
            filter = QStringLiteral("GIF Animation File (*.gif)");
            break;
        case dtMP4:
            suffix = QStringLiteral("mp4");
            filter = QStringLiteral("MP4 Video (*.mp4)");
            break;
        case dtWebM:
            suffix = QStringLiteral("webm");
            filter = QStringLiteral("WebM Video (*.webm)");
            break;
        case dtMOV:
            suffix = QStringLiteral("mov");
            filter = QStringLiteral("QuickTime Movie (*.mov)");
            break;
        default:
            return;
    }
    QString file =
        uiseams::GetSaveFileName(this, QStringLiteral("Export to"), filter, suffix, edtExport->text());
    if (file.isEmpty()) return;
    edtExport->setText(file);
    splitOutputPath(file, &EditTask->destFilename, &EditTask->destFilepath);
}

void TSettingsFrm::codecConfig(int fileFmtID, TMclCodecInfo& info) {
    std::unique_ptr<MclConversion, void (*)(MclHandle)> handle(MclAlloc(), MclFree);
    MclCodecsSetInfoToData(handle.get(), info);
    if (CodecDialog &&
        CodecDialog(handle.get(), fileFmtID, edtExportWidth->Value(), edtExportHeight->Value(), 24))
        MclCodecsGetInfoFromData(handle.get(), &info, fileFmtID, 8);
}

void TSettingsFrm::btnAVIFormatConfigClick() {
    if (!EditTask) return;
    codecConfig(6, EditTask->DestAVICodecInfo);
    edtAVIFormat->setText(codecName(EditTask->DestAVICodecInfo));
}

void TSettingsFrm::btnMPEGFormatConfigClick() {
    if (!EditTask) return;
    codecConfig(11, EditTask->DestMPEGCodecInfo);
}

void TSettingsFrm::btnSetAVIFPSClick() {
    if (EditTask) edtAVIFrameRate->setValue(EditTask->swfFrameRate);
}

void TSettingsFrm::btnSetGIFFpsClick() {
    if (EditTask) edtGIFFrameRate->SetValue(EditTask->swfFrameRate);
}

void TSettingsFrm::cbeGIFBackgroundColorButtonClick() {
    if (auto c = uiseams::ChooseColor(this, cbeGIFBackgroundColor->Color()))
        cbeGIFBackgroundColor->SetColor(*c);
}

void TSettingsFrm::cbeGIFTransparentColorButtonClick() {
    if (auto c = uiseams::ChooseColor(this, cbeGIFTransparentColor->Color()))
        cbeGIFTransparentColor->SetColor(*c);
}

void TSettingsFrm::btnVisualSelectionClick() {
    const std::string file = edtSource->text().toStdString();
    const int start = edtExportStart->Value();
    std::error_code ec;
    if (file.empty() || !std::filesystem::is_regular_file(file, ec)) {
        uiseams::ShowMessage(this, QStringLiteral("This file does not exist!"));
        return;
    }
    std::string movie = file;
    std::string extracted;
    try {
        TSwfFileType kind = GetSwfFileType(file);
        if (kind == sftInvalid) {
            uiseams::ShowMessage(this, QStringLiteral("This is not a flash file!"));
            return;
        }
        if (kind == sftProjector || kind == sftProjectorCompressed) {
            extracted = ExtractSwfFromExe(file);
            if (extracted.empty()) {
                uiseams::ShowMessage(this, QStringLiteral("Failed to convert exe to swf!"));
                return;
            }
            movie = extracted;
        }
    } catch (const std::exception& e) {
        uiseams::ShowMessage(this, QString::fromUtf8(e.what()));
        return;
    }
    if (SelectFrm) {
        SelectFrm->MovieFile = QString::fromStdString(movie);
        SelectFrm->StartFrame = start;
        SelectFrm->exec();
    }
    // The movie taken out of a projector for this showing is not needed any more.
    if (!extracted.empty() && IsOwnTempFile(extracted)) std::filesystem::remove(extracted, ec);
}

void TSettingsFrm::btnOKClick() {
    if (EditTask) {
        TCovSettings& t = *EditTask;
        if (CurExportType == dtImageSequence)
            t.destFilepath = edtExport->text().toStdString();
        else
            splitOutputPath(edtExport->text(), &t.destFilename, &t.destFilepath);
        t.destType = TDestType(CurExportType);
        t.destSequenceMode = TSequenceMode(cbxExportSequence->currentIndex());
        t.destColorDepth = TColorDepth(cbxExportColor->currentIndex());
        t.destAlphaMode = TAlphaMode(cbxExportAlpha->currentIndex());
        t.destW = edtExportWidth->Value();
        t.destH = edtExportHeight->Value();
        t.destCropX = edtExportCropX->Value();
        t.destCropY = edtExportCropY->Value();
        t.destCropW = edtExportCropW->Value();
        t.destCropH = edtExportCropH->Value();
        t.destIsCrop = chkExportCrop->isChecked();
        t.destIsKeepAspectRatio = chkExportKeepAspectRatio->isChecked();
        t.destIsUseOriginalSize = chkExportUseOriginalSize->isChecked();
        t.destIsSplit = chkUseSplitSize->isChecked();
        bool ok = false;
        double split = QLocale::system().toDouble(edtSplitSize->text().trimmed(), &ok);
        if (!ok) split = edtSplitSize->text().trimmed().toDouble(&ok);
        if (ok) t.destSplitSize = split;
        t.destEndFrame = edtExportEnd->Value();
        t.destStartFrame = std::max(0, edtExportStart->Value());
        t.destAVICodec = t.DestAVICodecInfo.codecID;
        t.destAVIFrameRate = int(std::lround(edtAVIFrameRate->value()));
        t.destMPEGCodec = TMPEGPreset(cbxMPEGFormat->currentIndex());
        t.destMPEGFrameRate = cbxMPEGFrameRate->currentIndex();
        t.destGIFIsInterlaced = chkGIFInterlaced->isChecked();
        t.destGIFBackgroundColor = cbeGIFBackgroundColor->Color();
        t.destGIFTransparentColor = cbeGIFTransparentColor->Color();
        t.destGIFIsBackground = chkGIFBackground->isChecked();
        t.destGIFIsTransparent = chkGIFTransparent->isChecked();
        t.destGIFIsLooping = chkGIFLooping->isChecked();
        t.destGIFRepeatCount = edtGIFRepeatCount->Value();
        t.destGIFFrameRate = edtGIFFrameRate->Value();
        t.destImageType = TImageType(cbxImageFormat->currentIndex());
        t.destImageJPEGQuality = trkImageQuality->value();
        if (CurExportType == dtMP4 || CurExportType == dtWebM || CurExportType == dtMOV) {
            t.destVideoCodec = std::max(0, cbxVideoCodec->currentIndex());
            t.destVideoQuality = trkVideoQuality->value();
        }
        t.adoSource = rdoAudioNone->isChecked() ? asNone : rdoAudioRec->isChecked() ? asRecord : asImport;
        t.adoDirect = rdoAudioDirect->isChecked();
        t.adoFileType = TAudioFileType(cbxAudioRecFormat->currentIndex());
        t.adoFilename = edtAudioImport->text().toStdString();
    }
    done(QDialog::Accepted);
}

void TSettingsFrm::btnCancelClick() {
    done(QDialog::Rejected);
}
