// TRgnSelect: the rubber-band rectangle control of the selection dialog. It paints a background picture and,
// in edit mode, a selection rectangle with eight handles that the mouse moves and resizes. The picture and
// the selection are composed in an off-screen buffer; the rubber band of a drag is XOR-drawn over it.
// Owns its copy of the picture and the buffer. User-interface thread only. Takes no keyboard focus; never
// clamps a moved rectangle to its own bounds (only the mouse is kept inside the control during a drag).
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include <array>
#include <functional>

class TRgnSelect : public QWidget {
    Q_OBJECT

  public:
    // left, top, right, bottom; right and bottom are exclusive.
    struct TRect {
        int left = 0, top = 0, right = 0, bottom = 0;
        int width() const { return right - left; }
        int height() const { return bottom - top; }
        bool operator==(const TRect&) const = default;
    };
    using TCustomEditingEvent = std::function<void(TRgnSelect* sender, int l, int t, int w, int h)>;
    using TCustomEditedEvent = std::function<void(TRgnSelect* sender, int l, int t, int w, int h)>;
    using TNotifyEvent = std::function<void(TRgnSelect* sender, QMouseEvent* event)>;

    explicit TRgnSelect(QWidget* parent = nullptr);

    int SelectionX() const { return selX_; }
    int SelectionY() const { return selY_; }
    int SelectionW() const { return selW_; }
    int SelectionH() const { return selH_; }
    // Each setter stores the value, makes SelRect the bounds of the four values and repaints.
    void SetSelectionX(int v);
    void SetSelectionY(int v);
    void SetSelectionW(int v);
    void SetSelectionH(int v);

    bool EditMode = false;
    QColor Color = Qt::black;  // fills the buffer before the picture

    // Copies the picture (a null image clears it) and repaints.
    void SetBgPicture(const QImage& picture);
    const QImage& BgPicture() const { return bg_; }

    TRect SelRect() const { return selRect_; }
    TRect DragRect() const { return dragRect_; }
    bool Moving() const { return moving_; }
    bool Resizing() const { return resizing_; }
    int DragHandle() const { return dragHandle_; }
    // The eight 5 x 5 handle squares of a rectangle, in the order of the handle table.
    static std::array<TRect, 8> HandleRectsFor(const TRect& sel);
    // The cursor shape shown over handle i.
    static Qt::CursorShape HandleCursor(int handle);
    // The rectangle while handle i is dragged: dx, dy the mouse's travel since the press, mx, my the mouse.
    static TRect DraggedRect(const TRect& sel, int handle, int dx, int dy, int mx, int my);

    TCustomEditingEvent OnEditing;
    TCustomEditedEvent OnEdited;
    TNotifyEvent OnMouseDown;
    TNotifyEvent OnMouseMove;
    TNotifyEvent OnMouseUp;
    std::function<void(TRgnSelect*)> OnMouseEnter;
    std::function<void(TRgnSelect*)> OnMouseLeave;

    // The composed picture as last painted (tests look at it).
    const QImage& Buffer() const { return buffer_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

  private:
    void selectionChanged();
    void composeBuffer();
    bool inMoveRegion(QPoint p) const;
    int handleAt(QPoint p) const;
    QPoint confine(QPoint p);
    void setDragRect(const TRect& r);

    int selX_ = 0, selY_ = 0, selW_ = 0, selH_ = 0;
    TRect selRect_;
    TRect dragRect_;
    QPoint downPoint_;
    bool moving_ = false;
    bool resizing_ = false;
    int dragHandle_ = -1;
    QImage bg_;
    QImage buffer_;
    bool dirty_ = true;  // the buffer must be composed again (picture, selection or size changed)
};
