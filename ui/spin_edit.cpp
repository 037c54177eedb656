#include "ui/spin_edit.h"

#include <QLineEdit>

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
    setRange(INT_MIN, INT_MAX);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
    setKeyboardTracking(false);
    setValue(0);
}

void TSpinEdit::SetRange(int minimum, int maximum) {
    setRange(minimum, maximum);
    fallback_ = minimum;
}

int TSpinEdit::Value() const {
    bool ok = false;
    int v = lineEdit()->text().trimmed().toInt(&ok, 10);
    return ok ? v : fallback_;
}

void TSpinEdit::SetValue(int value) {
    setValue(value);
    // The text may hold something typed that the spin box never took as its value: show the number itself.
    if (lineEdit()->text() != QString::number(value)) lineEdit()->setText(QString::number(value));
}

QValidator::State TSpinEdit::validate(QString& input, int& /*pos*/) const {
    // Anything may be typed; only an integer inside the range is a finished value.
    bool ok = false;
    int v = input.trimmed().toInt(&ok, 10);
    if (ok && v >= minimum() && v <= maximum()) return QValidator::Acceptable;
    return QValidator::Intermediate;
}
