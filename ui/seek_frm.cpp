#include "ui/seek_frm.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

#include "capture/shockwave_flash.h"
#include "ui/centre.h"
#include "ui/spin_edit.h"

TSeekFrm* SeekFrm = nullptr;

TSeekFrm::TSeekFrm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral(" Seek"));
    setModal(true);
    auto* row = new QHBoxLayout(this);
    row->addWidget(new QLabel(QStringLiteral("Go to frame:"), this));
    edtFrameNumber = new TSpinEdit(this);
    edtFrameNumber->SetRange(1, 1600);
    edtFrameNumber->SetValue(1);
    edtFrameNumber->setMinimumWidth(90);
    row->addWidget(edtFrameNumber, 1);
    btnAudioImport = new QPushButton(QStringLiteral("&Go!"), this);
    btnAudioImport->setAutoDefault(false);
    btnAudioImport->setFlat(true);
    row->addWidget(btnAudioImport);
    connect(btnAudioImport, &QPushButton::clicked, this, &TSeekFrm::btnAudioImportClick);
    edtFrameNumber->installEventFilter(this);
    edtFrameNumber->findChild<QLineEdit*>()->installEventFilter(this);
}

void TSeekFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Once per showing: the window system reports the same showing again later (a spontaneous event).
    if (!event->spontaneous()) FormShow();
}

void TSeekFrm::FormShow() {
    CentreOver(this, Owner);
    edtFrameNumber->setFocus();
}

void TSeekFrm::btnAudioImportClick() {
    // The number goes to the player as typed, whatever the movie's frame count.
    int frame = edtFrameNumber->Value();
    if (PreviewFlash) PreviewFlash->GotoFrame(frame);
    edtFrameNumber->selectAll();
}

bool TSeekFrm::edtFrameNumberKeyDown(int key) {
    if (key == Qt::Key_Escape) {
        reject();
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        btnAudioImportClick();
        // The edit itself refuses Enter as a typed character.
        QApplication::beep();
        return true;
    }
    return false;
}

bool TSeekFrm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        if (edtFrameNumberKeyDown(static_cast<QKeyEvent*>(event)->key())) return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TSeekFrm::keyPressEvent(QKeyEvent* event) {
    if (edtFrameNumberKeyDown(event->key())) return;
    QDialog::keyPressEvent(event);
}
