#include "ui/select_frm.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSlider>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

#include "capture/shockwave_flash_ex.h"
#include "ui/centre.h"
#include "ui/rgn_select.h"
#include "ui/settings_frm.h"
#include "ui/spin_edit.h"

TSelectFrm* SelectFrm = nullptr;

namespace {

TSpinEdit* numberEdit(QWidget* parent) {
    auto* e = new TSpinEdit(parent);
    e->setMinimumWidth(80);
    return e;
}

}  // namespace

TSelectFrm::TSelectFrm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Visual Selection"));
    setModal(true);
    setSizeGripEnabled(true);
    resize(900, 640);
    setWindowState(Qt::WindowMaximized);

    auto* menu = new QMenuBar(this);
    menApply = menu->addAction(QStringLiteral("&Apply"));
    menCancel = menu->addAction(QStringLiteral("&Cancel"));
    connect(menApply, &QAction::triggered, this, &TSelectFrm::menApplyClick);
    connect(menCancel, &QAction::triggered, this, &TSelectFrm::menCancelClick);

    panSettings = new QWidget(this);
    auto* row = new QHBoxLayout(panSettings);
    row->setContentsMargins(8, 6, 8, 6);
    edtExportCropX = numberEdit(panSettings);
    edtExportCropY = numberEdit(panSettings);
    edtExportCropW = numberEdit(panSettings);
    edtExportCropH = numberEdit(panSettings);
    const std::pair<const char*, TSpinEdit*> fields[] = {
        {"x:", edtExportCropX}, {"y:", edtExportCropY}, {"w:", edtExportCropW}, {"h:", edtExportCropH}};
    for (auto [caption, edit] : fields) {
        row->addWidget(new QLabel(QString::fromLatin1(caption), panSettings));
        row->addWidget(edit);
        connect(edit, &QAbstractSpinBox::editingFinished, this, [this, e = edit] { edtExportCropExit(e); });
    }
    btnSelectAll = new QPushButton(QStringLiteral("&Select All"), panSettings);
    btnSelectAll->setAutoDefault(false);
    connect(btnSelectAll, &QPushButton::clicked, this, &TSelectFrm::btnSelectAllClick);
    row->addWidget(btnSelectAll);
    row->addSpacing(16);
    row->addWidget(new QLabel(QStringLiteral("Current Frame:"), panSettings));
    edtExportStart = numberEdit(panSettings);
    connect(edtExportStart->Editor(), &QLineEdit::textChanged, this, [this] { edtExportStartChange(); });
    row->addWidget(edtExportStart);
    row->addWidget(new QLabel(QStringLiteral("0"), panSettings));
    trkExportStart = new QSlider(Qt::Horizontal, panSettings);
    trkExportStart->setMinimumWidth(160);
    connect(trkExportStart, &QSlider::sliderReleased, this, &TSelectFrm::trkExportStartMouseUp);
    connect(trkExportStart, &QSlider::valueChanged, this, [this] {
        if (!trkExportStart->isSliderDown() && !syncing_) trkExportStartMouseUp();
    });
    row->addWidget(trkExportStart, 1);
    labTotalFrame = new QLabel(QStringLiteral("0"), panSettings);
    row->addWidget(labTotalFrame);

    scrollBox = new QScrollArea(this);
    scrollBox->setBackgroundRole(QPalette::Dark);
    scrollBox->setAlignment(Qt::AlignCenter);
    RgnSelect = new TRgnSelect;
    RgnSelect->EditMode = true;
    RgnSelect->Color = Qt::black;
    RgnSelect->setToolTip(QStringLiteral("Right click to show pop-up menu."));
    RgnSelect->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* selectAll = new QAction(QStringLiteral("Select &All"), RgnSelect);
    connect(selectAll, &QAction::triggered, this, &TSelectFrm::btnSelectAllClick);
    RgnSelect->addAction(selectAll);
    RgnSelect->OnEdited = [this](TRgnSelect*, int l, int t, int w, int h) { RgnSelectEdited(l, t, w, h); };
    scrollBox->setWidget(RgnSelect);

    // The player renders unseen: its panel is never shown.
    panSelect = new QWidget(this);
    panSelect->hide();
    FlashCtl = new TShockwaveFlashEx(panSelect);
    FlashCtl->Movie(QStringLiteral(" "));

    auto* status = new QStatusBar(this);
    status->setSizeGripEnabled(false);
    status->addWidget(new QLabel(QStringLiteral("Tips"), status));
    status->addWidget(
        new QLabel(QStringLiteral("Resize and move the dashed rectangle to select the converted area."),
                   status),
        1);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->setMenuBar(menu);
    column->addWidget(panSettings);
    column->addWidget(scrollBox, 1);
    column->addWidget(status);
}

TSelectFrm::~TSelectFrm() = default;

void TSelectFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Once per showing: the window system reports the same showing again later (a spontaneous event).
    if (!event->spontaneous()) FormShow();
}

void TSelectFrm::FormShow() {
    if (!isMaximized()) CentreOver(this, SettingsFrm);
    syncing_ = true;
    int w = 352, h = 240;
    if (SettingsFrm) {
        w = SettingsFrm->edtExportWidth->Value();
        h = SettingsFrm->edtExportHeight->Value();
        edtExportCropX->SetValue(SettingsFrm->edtExportCropX->Value());
        edtExportCropY->SetValue(SettingsFrm->edtExportCropY->Value());
        edtExportCropW->SetValue(SettingsFrm->edtExportCropW->Value());
        edtExportCropH->SetValue(SettingsFrm->edtExportCropH->Value());
    }
    // An output size that is not a picture still gets a control the mouse can work in.
    w = std::clamp(w, 1, kMaxSide);
    h = std::clamp(h, 1, kMaxSide);
    RgnSelect->setFixedSize(w, h);
    RgnSelect->SetSelectionX(edtExportCropX->Value());
    RgnSelect->SetSelectionY(edtExportCropY->Value());
    RgnSelect->SetSelectionW(edtExportCropW->Value());
    RgnSelect->SetSelectionH(edtExportCropH->Value());
    FlashCtl->resize(w, h);
    panSelect->resize(w, h);

    FlashCtl->Movie(QStringLiteral(" "));
    FlashCtl->Movie(MovieFile);
    TotalFrames = FlashCtl->TotalFrames();
    labTotalFrame->setText(QString::number(TotalFrames));
    trkExportStart->setMaximum(TotalFrames);
    trkExportStart->setValue(StartFrame);
    edtExportStart->SetValue(StartFrame);
    syncing_ = false;

    RgnSelect->SetBgPicture(QImage());
    if (RenderPreviewFrame(&PreviewBitmap, trkExportStart->value())) RgnSelect->SetBgPicture(PreviewBitmap);
}

bool TSelectFrm::RenderPreviewFrame(QImage* bitmap, int n) {
    if (!bitmap) return false;
    if (n < 0) return true;
    if (FlashCtl->Movie().trimmed().isEmpty() || FlashCtl->TotalFrames() <= 0) return false;
    FlashCtl->GotoFrame(n);
    FlashCtl->StopPlay();
    QImage picture = FlashCtl->currentPicture(FlashCtl->size());
    if (picture.isNull()) return false;
    *bitmap = picture.convertToFormat(QImage::Format_RGB32);
    return true;
}

void TSelectFrm::showFrame(int n) {
    if (RenderPreviewFrame(&PreviewBitmap, n)) RgnSelect->SetBgPicture(PreviewBitmap);
}

void TSelectFrm::edtExportStartChange() {
    if (syncing_) return;
    syncing_ = true;
    int n = edtExportStart->Value();
    if (n < 0) {
        n = 0;
        edtExportStart->SetValue(0);
    }
    showFrame(n);
    trkExportStart->setValue(n);
    syncing_ = false;
}

void TSelectFrm::trkExportStartMouseUp() {
    if (syncing_) return;
    syncing_ = true;
    showFrame(trkExportStart->value());
    edtExportStart->SetValue(trkExportStart->value());
    syncing_ = false;
}

void TSelectFrm::edtExportCropExit(TSpinEdit* edit) {
    if (edit == edtExportCropX) RgnSelect->SetSelectionX(edit->Value());
    if (edit == edtExportCropY) RgnSelect->SetSelectionY(edit->Value());
    if (edit == edtExportCropW) RgnSelect->SetSelectionW(edit->Value());
    if (edit == edtExportCropH) RgnSelect->SetSelectionH(edit->Value());
}

void TSelectFrm::RgnSelectEdited(int l, int t, int w, int h) {
    edtExportCropX->SetValue(l);
    edtExportCropY->SetValue(t);
    edtExportCropW->SetValue(w);
    edtExportCropH->SetValue(h);
}

void TSelectFrm::btnSelectAllClick() {
    const int w = RgnSelect->width(), h = RgnSelect->height();
    RgnSelect->SetSelectionX(0);
    RgnSelect->SetSelectionY(0);
    RgnSelect->SetSelectionW(w);
    RgnSelect->SetSelectionH(h);
    RgnSelectEdited(0, 0, w, h);
}

void TSelectFrm::menApplyClick() {
    if (SettingsFrm) {
        SettingsFrm->edtExportCropX->SetValue(edtExportCropX->Value());
        SettingsFrm->edtExportCropY->SetValue(edtExportCropY->Value());
        SettingsFrm->edtExportCropW->SetValue(edtExportCropW->Value());
        SettingsFrm->edtExportCropH->SetValue(edtExportCropH->Value());
    }
    accept();
}

void TSelectFrm::menCancelClick() {
    reject();
}

void TSelectFrm::done(int result) {
    // The player rests between showings: no movie, no clock.
    FlashCtl->Movie(QStringLiteral(" "));
    QDialog::done(result);
}
