#include "audio/audio_format_frm.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "tasks/cov_settings.h"

TAudioFormatFrm* AudioFormatFrm = nullptr;

void ClampAudioFormatFields(TCovSettings& task) {
    if (task.adoWavChannel > 1) task.adoWavChannel = 1;
    if (task.adoWavBits > 1) task.adoWavBits = 1;
    if (task.adoWavFreq > 2) task.adoWavFreq = 2;
    if (task.adoMp3Channel > 3) task.adoMp3Channel = 1;
    if (task.adoMp3BitRate > 7) task.adoMp3BitRate = 2;
}

namespace {

QComboBox* dropDown(QWidget* parent, const QStringList& items) {
    auto* box = new QComboBox(parent);
    box->addItems(items);
    return box;
}

}  // namespace

TAudioFormatFrm::TAudioFormatFrm(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Audio Format Settings"));
    setModal(true);

    auto* wave = new QGroupBox(QStringLiteral("Wave Format"), this);
    wave->setObjectName(QStringLiteral("GroupBox1"));
    cbxWavChannel = dropDown(wave, {QStringLiteral("MONO"), QStringLiteral("STEREO")});
    cbxWavBits = dropDown(wave, {QStringLiteral("8 bits"), QStringLiteral("16 bits")});
    cbxWavFreq = dropDown(wave, {QStringLiteral("44100"), QStringLiteral("22050"), QStringLiteral("11025")});
    auto* waveForm = new QFormLayout(wave);
    waveForm->addRow(QStringLiteral("Channel:"), cbxWavChannel);
    waveForm->addRow(QStringLiteral("Sample Bits:"), cbxWavBits);
    waveForm->addRow(QStringLiteral("Sample Rate:"), cbxWavFreq);

    auto* mp3 = new QGroupBox(QStringLiteral("MP3 Format"), this);
    mp3->setObjectName(QStringLiteral("GroupBox2"));
    cbxMP3Channel = dropDown(mp3, {QStringLiteral("MONO"), QStringLiteral("STEREO"),
                                   QStringLiteral("JSTEREO"), QStringLiteral("DUALCHANNEL")});
    cbxMP3BitRate =
        dropDown(mp3, {QStringLiteral("96kb/s"), QStringLiteral("112kb/s"), QStringLiteral("128kb/s"),
                       QStringLiteral("160kb/s"), QStringLiteral("192kb/s"), QStringLiteral("224kb/s"),
                       QStringLiteral("256kb/s"), QStringLiteral("320kb/s")});
    auto* mp3Form = new QFormLayout(mp3);
    mp3Form->addRow(QStringLiteral("Channel:"), cbxMP3Channel);
    mp3Form->addRow(QStringLiteral("Bitrate:"), cbxMP3BitRate);

    btnOK = new QPushButton(QStringLiteral("&OK"), this);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    connect(btnOK, &QPushButton::clicked, this, &TAudioFormatFrm::btnOKClick);
    connect(btnCancel, &QPushButton::clicked, this, &TAudioFormatFrm::btnCancelClick);

    auto* groups = new QHBoxLayout;
    groups->addWidget(wave);
    groups->addWidget(mp3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    auto* column = new QVBoxLayout(this);
    column->addLayout(groups);
    column->addLayout(buttons);
}

void TAudioFormatFrm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Once per showing: the window system reports the same showing again later (a spontaneous event).
    if (!event->spontaneous()) FormShow();
}

void TAudioFormatFrm::FormShow() {
    if (Owner) {
        QRect o = Owner->frameGeometry();
        QSize own = frameGeometry().size();
        move(o.left() + (o.width() - own.width()) / 2, o.top() + (o.height() - own.height()) / 2);
    }
    if (!EditTask) return;
    ClampAudioFormatFields(*EditTask);
    // A negative value selects nothing (index -1), and OK then writes -1 back.
    cbxWavChannel->setCurrentIndex(EditTask->adoWavChannel < 0 ? -1 : EditTask->adoWavChannel);
    cbxWavBits->setCurrentIndex(EditTask->adoWavBits < 0 ? -1 : EditTask->adoWavBits);
    cbxWavFreq->setCurrentIndex(EditTask->adoWavFreq < 0 ? -1 : EditTask->adoWavFreq);
    cbxMP3Channel->setCurrentIndex(EditTask->adoMp3Channel < 0 ? -1 : EditTask->adoMp3Channel);
    cbxMP3BitRate->setCurrentIndex(EditTask->adoMp3BitRate < 0 ? -1 : EditTask->adoMp3BitRate);
}

void TAudioFormatFrm::btnOKClick() {
    if (EditTask) {
        EditTask->adoWavChannel = cbxWavChannel->currentIndex();
        EditTask->adoWavBits = cbxWavBits->currentIndex();
        EditTask->adoWavFreq = cbxWavFreq->currentIndex();
        EditTask->adoMp3Channel = cbxMP3Channel->currentIndex();
        EditTask->adoMp3BitRate = cbxMP3BitRate->currentIndex();
    }
    done(QDialog::Accepted);
}

void TAudioFormatFrm::btnCancelClick() {
    done(QDialog::Rejected);
}
