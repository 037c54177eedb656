#include "app/main_frm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <filesystem>
#include <stdexcept>

#include "audio/sound_output.h"
#include "capture/shockwave_flash_ex.h"
#include "convert/interact_frm.h"
#include "tasks/swf_probe.h"
#include "tasks/temp_files.h"
#include "tasks/ui_hooks.h"
#include "ui/seek_frm.h"
#include "ui/settings_frm.h"
#include "ui/ui_seams.h"

TMainFrm* MainFrm = nullptr;

namespace {

// "name@/folder/": the file name, "@", its folder with trailing separator.
QString nameAtFolder(const std::string& path) {
    if (path.empty()) return {};
    QFileInfo info(QString::fromStdString(path));
    QString folder = info.path();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return info.fileName() + QLatin1Char('@') + folder;
}

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

QString VideoSourceText(const TCovSettings& task) {
    return nameAtFolder(task.swfFilename);
}

QString AudioSourceText(const TCovSettings& task) {
    if (task.destType == dtGIF || task.destType == dtImageSequence) return QStringLiteral("None");
    switch (task.adoSource) {
        case asNone:
            return QStringLiteral("None");
        case asRecord:
            // The movie's sound taken from the player, or recorded from the sound card while it plays.
            return task.adoDirect ? QStringLiteral("Movie's own sound")
                                  : QStringLiteral("Record from itself");
        case asImport:
            return nameAtFolder(task.adoFilename);
        default:
            return {};
    }
}

QString ExportToText(const TCovSettings& task) {
    if (task.destType == dtImageSequence) return text(task.destFilepath);
    return text(task.destFilename) + QLatin1Char('@') + text(task.destFilepath);
}

TTaskListItem::TTaskListItem(std::unique_ptr<TCovSettings> task) : task_(std::move(task)) {}

TMainFrm::TMainFrm(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Tolvikan"));
    setObjectName(QStringLiteral("MainFrm"));
    TaskListPath = TaskListFilePath();
    HelpFile = QCoreApplication::applicationDirPath() + QStringLiteral("/tolvikan-help.html");

    buildToolBar();

    auto* central = new QWidget(this);
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(8, 8, 8, 8);
    row->setSpacing(8);

    auto* summary = new QFrame(central);
    summary->setObjectName(QStringLiteral("panSummary"));
    summary->setFrameShape(QFrame::StyledPanel);
    summary->setFixedWidth(250);
    buildSummary(summary);
    row->addWidget(summary);

    auto* splitter = new QSplitter(Qt::Vertical, central);
    splitter->setChildrenCollapsible(false);
    lstFile = new QTreeWidget(splitter);
    lstFile->setColumnCount(3);
    lstFile->setHeaderLabels({QStringLiteral("Video Source (*.swf;*.exe)"),
                              QStringLiteral("Audio Source (*.wav;*.mp3)"),
                              QStringLiteral("Export to (*.avi;*.mpg;image)")});
    lstFile->setRootIsDecorated(false);
    lstFile->setUniformRowHeights(true);
    lstFile->setAlternatingRowColors(true);
    lstFile->setSelectionMode(QAbstractItemView::SingleSelection);
    lstFile->setToolTip(QStringLiteral("Right click to show pop-up menu."));
    lstFile->setContextMenuPolicy(Qt::CustomContextMenu);
    lstFile->header()->setStretchLastSection(true);
    lstFile->header()->resizeSection(0, 260);
    lstFile->header()->resizeSection(1, 170);
    lstFile->viewport()->setAcceptDrops(true);
    lstFile->viewport()->installEventFilter(this);
    lstFile->setDragDropMode(QAbstractItemView::NoDragDrop);
    // An empty list says how to fill it.
    labEmptyHint = new QLabel(QStringLiteral("No movies yet.\nPress Add, or drop .swf and .exe files here."),
                              lstFile->viewport());
    labEmptyHint->setAlignment(Qt::AlignCenter);
    labEmptyHint->setStyleSheet(QStringLiteral("color: palette(mid);"));
    labEmptyHint->setAttribute(Qt::WA_TransparentForMouseEvents);

    auto* preview = new QWidget(splitter);
    buildPreview(preview);
    splitter->addWidget(lstFile);
    splitter->addWidget(preview);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    row->addWidget(splitter, 1);
    setCentralWidget(central);
    statusBar()->showMessage(
        QStringLiteral("Add movies with Add or drop .swf and .exe files onto the list."));

    popMenu = new QMenu(this);
    menAdd = popMenu->addAction(QStringLiteral("&Add"));
    menRemove = popMenu->addAction(QStringLiteral("&Remove"));
    menClear = popMenu->addAction(QStringLiteral("&Clear"));
    popMenu->addSeparator();
    menSettings = popMenu->addAction(QStringLiteral("&Settings"));
    popMenu->addSeparator();
    menCheckAll = popMenu->addAction(QStringLiteral("Check All"));
    menUncheckAll = popMenu->addAction(QStringLiteral("Uncheck All"));
    // The usual keys of a list window: Ctrl+O adds, Delete removes, Enter edits the selected task.
    menAdd->setShortcut(QKeySequence::Open);
    menRemove->setShortcut(QKeySequence::Delete);
    menSettings->setShortcut(Qt::Key_Return);
    for (QAction* a : {menAdd, menRemove, menSettings})
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    addAction(menAdd);
    lstFile->addAction(menRemove);
    lstFile->addAction(menSettings);
    connect(menAdd, &QAction::triggered, this, &TMainFrm::btnAddClick);
    connect(menRemove, &QAction::triggered, this, &TMainFrm::btnRemoveClick);
    connect(menClear, &QAction::triggered, this, &TMainFrm::btnClearClick);
    connect(menSettings, &QAction::triggered, this, &TMainFrm::btnSettingsClick);
    connect(menCheckAll, &QAction::triggered, this, [this] { CheckAll(true); });
    connect(menUncheckAll, &QAction::triggered, this, [this] { CheckAll(false); });
    connect(lstFile, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& p) { popMenu->popup(lstFile->viewport()->mapToGlobal(p)); });
    connect(lstFile, &QTreeWidget::itemDoubleClicked, this, [this] { btnSettingsClick(); });
    connect(lstFile, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
        if (!updatingItems_ && column == 0) ListChanged();
    });
    connect(lstFile, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (auto* item = static_cast<TTaskListItem*>(current); item && !updatingItems_)
            ShowTaskSummary(*item->Task());
    });

    resize(980, 640);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TMainFrm::buildToolBar() {
    auto* bar = addToolBar(QStringLiteral("Commands"));
    bar->setObjectName(QStringLiteral("tbrCommands"));
    bar->setMovable(false);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setIconSize(QSize(20, 20));
    auto button = [this, bar](const QString& caption, QStyle::StandardPixmap icon, const QString& tip) {
        auto* b = new QToolButton(bar);
        b->setText(caption);
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        bar->addWidget(b);
        return b;
    };
    btnAdd = button(QStringLiteral("Add"), QStyle::SP_FileDialogNewFolder,
                    QStringLiteral("Add movies (.swf, .exe)"));
    btnRemove =
        button(QStringLiteral("Remove"), QStyle::SP_TrashIcon, QStringLiteral("Remove the selected task"));
    btnClear =
        button(QStringLiteral("Clear"), QStyle::SP_DialogResetButton, QStringLiteral("Remove every task"));
    bar->addSeparator();
    btnSettings = button(QStringLiteral("Settings"), QStyle::SP_FileDialogDetailedView,
                         QStringLiteral("Edit the selected task's settings"));
    btnHelp =
        button(QStringLiteral("Help"), QStyle::SP_DialogHelpButton, QStringLiteral("Open the user manual"));
    auto* spacer = new QWidget(bar);
    spacer->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    bar->addWidget(spacer);
    btnConvert = new QPushButton(QStringLiteral("Convert"), bar);
    btnConvert->setObjectName(QStringLiteral("btnConvert"));
    btnConvert->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    btnConvert->setToolTip(QStringLiteral("Convert the checked tasks"));
    btnConvert->setMinimumWidth(120);
    btnConvert->setStyleSheet(QStringLiteral(
        "QPushButton#btnConvert { background: #2f6fde; color: white; font-weight: bold; border: none;"
        " border-radius: 4px; padding: 6px 16px; }"
        "QPushButton#btnConvert:hover { background: #2a62c4; }"
        "QPushButton#btnConvert:pressed { background: #214f9f; }"));
    bar->addWidget(btnConvert);
    connect(btnAdd, &QToolButton::clicked, this, &TMainFrm::btnAddClick);
    connect(btnRemove, &QToolButton::clicked, this, &TMainFrm::btnRemoveClick);
    connect(btnClear, &QToolButton::clicked, this, &TMainFrm::btnClearClick);
    connect(btnSettings, &QToolButton::clicked, this, &TMainFrm::btnSettingsClick);
    connect(btnHelp, &QToolButton::clicked, this, &TMainFrm::btnHelpClick);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);  // F1
    connect(help, &QShortcut::activated, this, &TMainFrm::btnHelpClick);
    connect(btnConvert, &QPushButton::clicked, this, &TMainFrm::btnConvertClick);
}

void TMainFrm::buildSummary(QWidget* panel) {
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(12, 12, 12, 12);
    column->setSpacing(4);
    auto heading = [panel, column](const QString& caption) {
        auto* label = new QLabel(caption, panel);
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
        column->addSpacing(6);
        column->addWidget(label);
    };
    auto line = [panel, column](const QString& initial) {
        auto* label = new QLabel(initial, panel);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setWordWrap(true);
        label->setIndent(8);
        column->addWidget(label);
        return label;
    };
    heading(QStringLiteral("Exprot Settings Summary:"));
    labType = line(QStringLiteral("Type:"));
    auto* codecRow = new QHBoxLayout;
    auto* codecCaption = new QLabel(QStringLiteral("Format:"), panel);
    codecCaption->setIndent(8);
    labCodec = new QLabel(panel);
    labCodec->setWordWrap(true);
    codecRow->addWidget(codecCaption);
    codecRow->addWidget(labCodec, 1);
    column->addLayout(codecRow);
    heading(QStringLiteral("Video Settings:"));
    labMode = line(QStringLiteral("Mode:"));
    labColor = line(QStringLiteral("Color:"));
    labStart = line(QStringLiteral("Start at:"));
    labEnd = line(QStringLiteral("End at:"));
    labWidth = line(QStringLiteral("Width:"));
    labHeight = line(QStringLiteral("Height:"));
    heading(QStringLiteral("Audio Settings:"));
    labAudioSource = line(QStringLiteral("Source:"));
    labAudioFormat = line(QStringLiteral("Format:"));
    column->addStretch(1);
}

void TMainFrm::buildPreview(QWidget* panel) {
    auto* column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    panPreview = new QFrame(panel);
    panPreview->setObjectName(QStringLiteral("panPreview"));
    static_cast<QFrame*>(panPreview)->setFrameShape(QFrame::StyledPanel);
    panPreview->setMinimumHeight(160);
    auto* fill = new QVBoxLayout(panPreview);
    fill->setContentsMargins(1, 1, 1, 1);
    PreviewFlash = new TShockwaveFlashEx(panPreview);
    PreviewFlash->PreviewMsg = true;
    PreviewFlash->OnBeforeTimer = [this](TShockwaveFlashEx*) { ShowCurrentFrame(); };
    PreviewFlash->OnSkipTimer = [this](TShockwaveFlashEx*) { ShowCurrentFrame(); };
    PreviewFlash->Movie(QStringLiteral(" "));
    // The preview plays the movie's own sound.
    previewSound_ = std::make_unique<TSoundOutput>();
    previewSound_->follow(*PreviewFlash);
    fill->addWidget(PreviewFlash);
    column->addWidget(panPreview, 1);

    auto* controls = new QHBoxLayout;
    controls->setSpacing(2);
    auto button = [this, panel, controls](const QString& caption, QStyle::StandardPixmap icon) {
        auto* b = new QToolButton(panel);
        b->setText(caption);
        b->setToolTip(caption);
        b->setIcon(style()->standardIcon(icon));
        b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        b->setAutoRaise(true);
        controls->addWidget(b);
        return b;
    };
    btnPlay = button(QStringLiteral("Play"), QStyle::SP_MediaPlay);
    btnPause = button(QStringLiteral("Pause"), QStyle::SP_MediaPause);
    btnStop = button(QStringLiteral("Stop"), QStyle::SP_MediaStop);
    btnBack = button(QStringLiteral("Back"), QStyle::SP_MediaSeekBackward);
    btnForward = button(QStringLiteral("Forward"), QStyle::SP_MediaSeekForward);
    btnSeek = button(QStringLiteral("Seek"), QStyle::SP_ArrowRight);
    trkSeek = new QSlider(Qt::Horizontal, panel);
    trkSeek->setRange(0, 100);
    trkSeek->setSingleStep(1);
    trkSeek->installEventFilter(this);
    controls->addWidget(trkSeek, 1);
    labCurrentFrame = new QLabel(QStringLiteral("Current Frame"), panel);
    labCurrentFrame->setMinimumWidth(130);
    labCurrentFrame->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    controls->addWidget(labCurrentFrame);
    column->addLayout(controls);

    connect(btnPlay, &QToolButton::clicked, this, &TMainFrm::btnPlayClick);
    connect(btnPause, &QToolButton::clicked, this, &TMainFrm::btnPauseClick);
    connect(btnStop, &QToolButton::clicked, this, &TMainFrm::btnStopClick);
    connect(btnBack, &QToolButton::clicked, this, &TMainFrm::btnBackClick);
    connect(btnForward, &QToolButton::clicked, this, &TMainFrm::btnForwardClick);
    connect(btnSeek, &QToolButton::clicked, this, &TMainFrm::btnSeekClick);
    connect(trkSeek, &QSlider::sliderMoved, this, [this](int position) {
        labCurrentFrame->setText(QStringLiteral("%1/%2 Frames").arg(position).arg(trkSeek->maximum()));
    });
}

TMainFrm::~TMainFrm() {
    PreviewFlash->setSoundSink({});
    lstFile->viewport()->removeEventFilter(this);
    trkSeek->removeEventFilter(this);
    // The system's temporary files named by tasks (a projector's extracted movie, a recorded sound) go now;
    // any other file a task names is the user's and stays.
    for (int i = 0; i < TaskCount(); ++i) {
        const TCovSettings* t = TaskItem(i)->Task();
        for (const std::string* path : {&t->swfPlayFilename, &t->adoUseFilename}) {
            if (path->empty() || !IsOwnTempFile(*path)) continue;
            std::error_code ec;
            std::filesystem::remove(*path, ec);
        }
    }
    delete PreviewFlash;
    PreviewFlash = nullptr;
    if (MainFrm == this) MainFrm = nullptr;
}

int TMainFrm::TaskCount() const {
    return lstFile->topLevelItemCount();
}

TTaskListItem* TMainFrm::TaskItem(int index) const {
    return static_cast<TTaskListItem*>(lstFile->topLevelItem(index));
}

TTaskListItem* TMainFrm::SelectedItem() const {
    auto selected = lstFile->selectedItems();
    return selected.isEmpty() ? nullptr : static_cast<TTaskListItem*>(selected.first());
}

void TMainFrm::setColumns(TTaskListItem* item) {
    updatingItems_ = true;
    const TCovSettings& t = *item->Task();
    item->setText(0, VideoSourceText(t));
    item->setText(1, AudioSourceText(t));
    item->setText(2, ExportToText(t));
    item->setToolTip(0, text(t.swfFilename));
    updatingItems_ = false;
}

void TMainFrm::appendTask(std::unique_ptr<TCovSettings> task, bool checked) {
    updatingItems_ = true;
    auto* item = new TTaskListItem(std::move(task));
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
    item->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    lstFile->addTopLevelItem(item);
    updatingItems_ = false;
    labEmptyHint->setVisible(false);
    setColumns(item);
}

void TMainFrm::selectItem(TTaskListItem* item) {
    updatingItems_ = true;
    lstFile->setCurrentItem(item);
    item->setSelected(true);
    updatingItems_ = false;
}

void TMainFrm::deleteAllItems() {
    updatingItems_ = true;
    lstFile->clear();  // each item frees its task record
    updatingItems_ = false;
    labEmptyHint->setVisible(true);
}

std::vector<TaskListItemRef> TMainFrm::itemRefs() const {
    std::vector<TaskListItemRef> refs;
    for (int i = 0; i < TaskCount(); ++i)
        refs.push_back({TaskItem(i)->Task(), TaskItem(i)->checkState(0) == Qt::Checked});
    return refs;
}

void TMainFrm::btnAddClick() {
    QStringList files = uiseams::GetOpenFileNames(
        this, QStringLiteral("Add movies"),
        QStringLiteral(
            "Macromedia Flash Files (*.swf);;Macremedia Flash Player Files (*.exe);;All Files (*)"),
        QString(), true);
    if (files.isEmpty()) return;
    AddMovies(files);
}

void TMainFrm::AddMovies(const QStringList& files) {
    repaint();
    for (const QString& file : files) {
        const std::string name = QFileInfo(file).absoluteFilePath().toStdString();
        auto task = std::make_unique<TCovSettings>();
        TSwfFileType kind = sftInvalid;
        try {
            TBusyCursor busy;
            kind = GetSwfFileType(name);
            if (kind != sftInvalid) FillTaskDefaults(*task, name, true, Codecs);
        } catch (const std::exception& e) {
            // A missing, unreadable or too short file ends the command.
            uiseams::ShowMessage(this, QString::fromUtf8(e.what()));
            return;
        }
        if (kind == sftInvalid) {
            uiseams::ShowMessage(this, QStringLiteral("This file is not a valid Macromedia Flash file!"));
            continue;
        }
        if (!SettingsFrm) return;
        SettingsFrm->EditTask = task.get();
        if (SettingsFrm->exec() != QDialog::Accepted) continue;  // the record goes with `task`
        TCovSettings& added = *task;
        appendTask(std::move(task), true);
        TTaskListItem* item = TaskItem(TaskCount() - 1);
        ShowTaskSummary(added);
        selectItem(item);
        ListChanged();
    }
}

void TMainFrm::btnRemoveClick() {
    TTaskListItem* item = SelectedItem();
    if (!item) return;
    updatingItems_ = true;
    delete item;
    updatingItems_ = false;
    ListChanged();
    labEmptyHint->setVisible(TaskCount() == 0);
    if (TTaskListItem* next = static_cast<TTaskListItem*>(lstFile->currentItem())) {
        next->setSelected(true);
        ShowTaskSummary(*next->Task());
    } else {
        PreviewFlash->Movie(QStringLiteral(" "));
    }
}

void TMainFrm::btnClearClick() {
    if (!uiseams::AskYesNo(this, QStringLiteral("Are you sure you want to clear all items?"))) return;
    deleteAllItems();
    PreviewFlash->Movie(QStringLiteral(" "));
    ListChanged();
}

void TMainFrm::btnSettingsClick() {
    TTaskListItem* item = SelectedItem();
    if (!item || !SettingsFrm) return;
    SettingsFrm->EditTask = item->Task();
    if (SettingsFrm->exec() != QDialog::Accepted) return;
    setColumns(item);
    ShowTaskSummary(*item->Task());
    selectItem(item);
    ListChanged();
}

void TMainFrm::CheckAll(bool checked) {
    // Not a change of the list by itself: the new states are saved only with another change.
    updatingItems_ = true;
    for (int i = 0; i < TaskCount(); ++i)
        TaskItem(i)->setCheckState(0, checked ? Qt::Checked : Qt::Unchecked);
    updatingItems_ = false;
}

void TMainFrm::ShowTaskSummary(TCovSettings& task) {
    static const char* const kMpeg[] = {"VCD-NTSC",  "VCD-PAL",  "DVD-NTSC",         "DVD-PAL",
                                        "SVCD-NTSC", "SVCD-PAL", "MPEG-1 Customize", "MPEG-2 Customize"};
    static const char* const kImage[] = {"PNG", "TAG", "BMP", "JPEG"};
    switch (task.destType) {
        case dtAVI:
            labType->setText(QStringLiteral("Type: AVI"));
            labCodec->setText(QString::fromUtf8(task.DestAVICodecInfo.codecName,
                                                int(strnlen(task.DestAVICodecInfo.codecName, 128))));
            break;
        case dtMPEG:
            labType->setText(QStringLiteral("Type: MPEG"));
            if (task.destMPEGCodec <= mpMPEG2Custom)
                labCodec->setText(QString::fromLatin1(kMpeg[task.destMPEGCodec]));
            break;
        case dtGIF:
            labType->setText(QStringLiteral("Type: GIF Animation"));
            labCodec->setText(QStringLiteral("GIF89a"));
            break;
        case dtImageSequence:
            labType->setText(QStringLiteral("Type: Image Sequence"));
            if (task.destImageType <= itJPEG)
                labCodec->setText(QString::fromLatin1(kImage[task.destImageType]));
            break;
        case dtMP4:
            labType->setText(QStringLiteral("Type: MP4"));
            labCodec->setText(QStringLiteral("H.264, quality %1").arg(task.destVideoQuality));
            break;
        case dtWebM:
            labType->setText(QStringLiteral("Type: WebM"));
            labCodec->setText(QStringLiteral("VP9, quality %1").arg(task.destVideoQuality));
            break;
        case dtMOV:
            labType->setText(QStringLiteral("Type: MOV"));
            labCodec->setText(task.destVideoCodec == mcAnimation ? QStringLiteral("QuickTime Animation")
                                                                 : QStringLiteral("ProRes 4444"));
            break;
        default:
            break;
    }
    labMode->setText(task.destSequenceMode == smNormal ? QStringLiteral("Mode: Normal interact sequence")
                     : task.destSequenceMode == smSkipBackward
                         ? QStringLiteral("Mode: Skip")
                         : QStringLiteral("Mode: Frame by frame sequence"));
    labColor->setText(task.destColorDepth != 0 ? QStringLiteral("Color: 32bits with alpha channel")
                                               : QStringLiteral("Color: 24bits no alpha channel"));
    labStart->setText(QStringLiteral("Start at: %1 frame").arg(task.destStartFrame));
    labEnd->setText(QStringLiteral("End at: %1 frame").arg(task.destEndFrame));
    labWidth->setText(QStringLiteral("Width: %1 pixels").arg(task.destW));
    labHeight->setText(QStringLiteral("Height: %1 pixels").arg(task.destH));
    switch (task.adoSource) {
        case asNone:
            labAudioSource->setText(QStringLiteral("Source: None"));
            labAudioFormat->setText(QStringLiteral("Format: None"));
            break;
        case asRecord:
            labAudioSource->setText(task.adoDirect
                                        ? QStringLiteral("Source: Movie's own sound, taken directly")
                                        : QStringLiteral("Source: Recording from itself"));
            labAudioFormat->setText(task.adoFileType == aftWAV ? QStringLiteral("Format: WAVE")
                                                               : QStringLiteral("Format: MP3"));
            break;
        case asImport:
            labAudioSource->setText(QStringLiteral("Source: Import from an existing file"));
            labAudioFormat->setText(QString());
            break;
        default:
            break;
    }

    // The movie to play: the source itself, or a projector's movie taken out once and kept while it exists.
    if (task.swfFileType != sftProjector && task.swfFileType != sftProjectorCompressed) {
        task.swfPlayFilename = task.swfFilename;
    } else {
        std::error_code ec;
        if (task.swfPlayFilename.empty() || !std::filesystem::exists(task.swfPlayFilename, ec)) {
            try {
                TBusyCursor busy;
                task.swfPlayFilename = ExtractSwfFromExe(task.swfFilename);
            } catch (const std::exception& e) {
                uiseams::ShowMessage(this, QString::fromUtf8(e.what()));
                return;
            }
        }
    }
    PreviewFlash->BackgroundColor(0x00FFFFFF);
    PreviewFlash->Movie(task.swfPlayFilename.empty() ? QStringLiteral(" ") : text(task.swfPlayFilename));
    PreviewFlash->StopPlay();
    trkSeek->setMaximum(PreviewFlash->TotalFrames());
    if (!PreviewFlash->LoadError().isEmpty())
        labCurrentFrame->setText(QStringLiteral("No preview"));
    else
        ShowCurrentFrame();
}

void TMainFrm::ShowCurrentFrame() {
    if (Seeking) return;
    labCurrentFrame->setText(
        QStringLiteral("%1/%2 Frames").arg(PreviewFlash->CurrentFrame()).arg(PreviewFlash->TotalFrames()));
    trkSeek->setValue(PreviewFlash->CurrentFrame());
}

void TMainFrm::btnPlayClick() {
    PreviewFlash->Play();
}

void TMainFrm::btnPauseClick() {
    PreviewFlash->StopPlay();
}

void TMainFrm::btnStopClick() {
    // Reloading puts the movie back on its first frame.
    const QString movie = PreviewFlash->Movie();
    PreviewFlash->Movie(QStringLiteral(" "));
    PreviewFlash->Movie(movie.isEmpty() ? QStringLiteral(" ") : movie);
    PreviewFlash->StopPlay();
    ShowCurrentFrame();
}

void TMainFrm::btnBackClick() {
    PreviewFlash->Back();
    ShowCurrentFrame();
}

void TMainFrm::btnForwardClick() {
    PreviewFlash->Forward();
    ShowCurrentFrame();
}

void TMainFrm::btnSeekClick() {
    if (!SeekFrm) return;
    SeekFrm->PreviewFlash = PreviewFlash;
    SeekFrm->Owner = this;
    SeekFrm->exec();
    ShowCurrentFrame();
}

void TMainFrm::trkSeekMouseDown() {
    Seeking = true;
}

void TMainFrm::trkSeekMouseUp() {
    if (!Seeking) return;
    PreviewFlash->GotoFrame(trkSeek->value());
    PreviewFlash->StopPlay();
    Seeking = false;
    ShowCurrentFrame();
}

bool TMainFrm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == trkSeek) {
        if (event->type() == QEvent::MouseButtonPress) trkSeekMouseDown();
        if (event->type() == QEvent::MouseButtonRelease) {
            // The slider takes the release first, then the preview follows its position.
            QTimer::singleShot(0, this, &TMainFrm::trkSeekMouseUp);
        }
        return false;
    }
    if (watched == lstFile->viewport()) {
        if (event->type() == QEvent::Resize) labEmptyHint->setGeometry(lstFile->viewport()->rect());
        auto movieFiles = [](const QMimeData* mime) {
            QStringList files;
            if (!mime || !mime->hasUrls()) return files;
            for (const QUrl& url : mime->urls())
                if (url.isLocalFile()) files << url.toLocalFile();
            return files;
        };
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDropEvent*>(event);
            if (!movieFiles(drag->mimeData()).isEmpty()) {
                drag->acceptProposedAction();
                return true;
            }
        }
        if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            QStringList files = movieFiles(drop->mimeData());
            if (!files.isEmpty()) {
                drop->acceptProposedAction();
                // The drop finishes first; the settings dialogs open afterwards.
                QTimer::singleShot(0, this, [this, files] { AddMovies(files); });
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TMainFrm::btnConvertClick() {
    if (TaskCount() == 0 || !InteractFrm) return;
    PreviewFlash->StopPlay();
    const QString movie = PreviewFlash->Movie();
    PreviewFlash->Movie(QStringLiteral(" "));
    std::vector<TTaskItem> items;
    for (int i = 0; i < TaskCount(); ++i)
        items.push_back(TTaskItem{TaskItem(i)->checkState(0) == Qt::Checked, TaskItem(i)->Task()});
    InteractFrm->setTaskItems(std::move(items));
    InteractFrm->exec();
    InteractFrm->setTaskItems({});
    PreviewFlash->Movie(movie.trimmed().isEmpty() ? QStringLiteral(" ") : movie);
    PreviewFlash->StopPlay();
    trkSeek->setMaximum(PreviewFlash->TotalFrames());
    ShowCurrentFrame();
}

void TMainFrm::btnHelpClick() {
    if (!QFileInfo::exists(HelpFile)) {
        uiseams::ShowMessage(this, QStringLiteral("The user manual is not installed: ") + HelpFile);
        return;
    }
    if (!uiseams::OpenUrl(QUrl::fromLocalFile(HelpFile)))
        uiseams::ShowMessage(this,
                             QStringLiteral("The user manual could not be opened (no program to show web "
                                            "pages?): ") +
                                 HelpFile);
}

void TMainFrm::ListChanged() {
    Modified = true;
    // Saved at once (the file is replaced whole, never half written), so a crash loses nothing.
    if (listLoaded_) SaveList();
}

void TMainFrm::LoadList() {
    std::vector<TaskListEntry> entries;
    try {
        TBusyCursor busy;
        deleteAllItems();
        entries = LoadTaskList(TaskListPath, ListOptions);
    } catch (const std::exception& e) {
        uiseams::ShowMessage(this, QString::fromUtf8(e.what()));
        return;
    }
    for (TaskListEntry& entry : entries)
        appendTask(std::move(entry.task), entry.checked);
    if (TaskCount() > 0) {
        selectItem(TaskItem(0));
        ShowTaskSummary(*TaskItem(0)->Task());
    }
}

void TMainFrm::SaveList() {
    try {
        TBusyCursor busy;
        SaveTaskList(TaskListPath, itemRefs(), ListOptions);
    } catch (const std::exception& e) {
        uiseams::ShowMessage(this, QString::fromUtf8(e.what()));
    }
}

void TMainFrm::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    // Right after the window is on screen, so a message of the load (or of the recording source) has the
    // window behind it.
    QTimer::singleShot(0, this, [this] {
        LoadList();
        listLoaded_ = true;
    });
}

void TMainFrm::closeEvent(QCloseEvent* event) {
    if (Modified) SaveList();
    PreviewFlash->Movie(QStringLiteral(" "));
    event->accept();
}
