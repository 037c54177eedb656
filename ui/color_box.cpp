#include "ui/color_box.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QToolButton>

TColorBox::TColorBox(QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(4);
    swatch_ = new QFrame(this);
    swatch_->setFrameShape(QFrame::Box);
    swatch_->setMinimumSize(48, 20);
    swatch_->setAutoFillBackground(true);
    button_ = new QToolButton(this);
    button_->setText(QStringLiteral("..."));
    row->addWidget(swatch_, 1);
    row->addWidget(button_);
    connect(button_, &QToolButton::clicked, this, &TColorBox::ButtonClick);
    paintSwatch();
}

void TColorBox::SetColor(uint32_t bgr) {
    color_ = bgr & 0x00FFFFFF;
    paintSwatch();
}

void TColorBox::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) paintSwatch();
}

void TColorBox::paintSwatch() {
    QColor c(int(color_ & 0xFF), int((color_ >> 8) & 0xFF), int((color_ >> 16) & 0xFF));
    if (!isEnabled()) c = QColor::fromRgb(c.red() / 2 + 100, c.green() / 2 + 100, c.blue() / 2 + 100);
    swatch_->setStyleSheet(QStringLiteral("background-color: %1;").arg(c.name()));
}
