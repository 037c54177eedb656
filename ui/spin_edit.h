// TSpinEdit: the integer spin edit of the dialogs. Most have no range; any text may be typed, and text that
// is not an integer reads as the edit's fallback (0 without a range, else the minimum). The range, when there
// is one, holds only for the arrow keys, the spin buttons and the loss of focus: a number typed and read at
// once is taken as typed.
#pragma once

#include <QLineEdit>
#include <QSpinBox>

#include <climits>

class TSpinEdit : public QSpinBox {
    Q_OBJECT

  public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    // A range; text that is not an integer then reads as `minimum`.
    void SetRange(int minimum, int maximum);
    // The number in the text as it stands (not clamped), or the fallback when it is not an integer.
    int Value() const;
    // Shows `value` (outside the range it is shown as given, like a typed number).
    void SetValue(int value);
    // The text field (its textChanged is the edit's change event: every keystroke, every value set).
    QLineEdit* Editor() const { return lineEdit(); }

  protected:
    QValidator::State validate(QString& input, int& pos) const override;

  private:
    int fallback_ = 0;
};
