// TColorBox: a colour swatch with an ellipsis button and no typing, the GIF colours of the settings dialog.
// The colour is 0x00BBGGRR (red in the low byte), the encoding the task keeps.
#pragma once

#include <QWidget>

#include <cstdint>

class QFrame;
class QToolButton;

class TColorBox : public QWidget {
    Q_OBJECT

  public:
    explicit TColorBox(QWidget* parent = nullptr);

    uint32_t Color() const { return color_; }
    void SetColor(uint32_t bgr);
    QToolButton* button() const { return button_; }

  signals:
    // The ellipsis button was pressed; the owner opens the colour dialog.
    void ButtonClick();

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void paintSwatch();

    uint32_t color_ = 0x00FFFFFF;
    QFrame* swatch_ = nullptr;
    QToolButton* button_ = nullptr;
};
