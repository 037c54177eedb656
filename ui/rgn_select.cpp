#include "ui/rgn_select.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace {

bool contains(const TRgnSelect::TRect& r, QPoint p) {
    return p.x() >= r.left && p.x() < r.right && p.y() >= r.top && p.y() < r.bottom;
}

TRgnSelect::TRect normalised(TRgnSelect::TRect r) {
    if (r.right < r.left) std::swap(r.left, r.right);
    if (r.bottom < r.top) std::swap(r.top, r.bottom);
    return r;
}

QRect outline(const TRgnSelect::TRect& r) {
    // A stroked QRect covers width + 1 pixels; the selection's outline covers left .. right - 1.
    return QRect(r.left, r.top, r.width() - 1, r.height() - 1);
}

}  // namespace

TRgnSelect::TRgnSelect(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TRgnSelect::SetSelectionX(int v) {
    selX_ = v;
    selectionChanged();
}
void TRgnSelect::SetSelectionY(int v) {
    selY_ = v;
    selectionChanged();
}
void TRgnSelect::SetSelectionW(int v) {
    selW_ = v;
    selectionChanged();
}
void TRgnSelect::SetSelectionH(int v) {
    selH_ = v;
    selectionChanged();
}

void TRgnSelect::selectionChanged() {
    selRect_ = normalised(TRect{selX_, selY_, selX_ + selW_, selY_ + selH_});
    dirty_ = true;
    update();
}

void TRgnSelect::SetBgPicture(const QImage& picture) {
    bg_ = picture.isNull() ? QImage() : picture.copy();
    dirty_ = true;
    update();
}

std::array<TRgnSelect::TRect, 8> TRgnSelect::HandleRectsFor(const TRect& s) {
    const int L = s.left, T = s.top, R = s.right, B = s.bottom;
    const int H = B - T;
    const int cx = L + (R - L) / 2 - 2;
    const int cy = T + H / 2 - 2;
    const QPoint corner[8] = {{L, T},      {cx, T},        {R - 4, T},      {L, cy},
                              {R - 4, cy}, {L, T + H - 4}, {cx, T + H - 4}, {R - 4, T + H - 4}};
    std::array<TRect, 8> out;
    for (int i = 0; i < 8; ++i)
        out[i] = TRect{corner[i].x(), corner[i].y(), corner[i].x() + 5, corner[i].y() + 5};
    return out;
}

Qt::CursorShape TRgnSelect::HandleCursor(int handle) {
    switch (handle) {
        case 0:
        case 7:
            return Qt::SizeFDiagCursor;
        case 2:
        case 5:
            return Qt::SizeBDiagCursor;
        case 1:
        case 6:
            return Qt::SizeVerCursor;
        default:
            return Qt::SizeHorCursor;
    }
}

TRgnSelect::TRect TRgnSelect::DraggedRect(const TRect& s, int handle, int dx, int dy, int mx, int my) {
    const int L = s.left, T = s.top, R = s.right, B = s.bottom;
    switch (handle) {
        case 0:
            return {mx, my, R, B};
        case 1:
            return {L, T + dy, R, B};
        case 2:
            return {L, T + dy, R + dx, B};
        case 3:
            return {L + dx, T, R, B};
        case 4:
            return {L, T, R + dx, B};
        case 5:
            return {L + dx, T, R, B + dy};
        case 6:
            return {L, T, R, B + dy};
        default:
            return {L, T, R + dx, B + dy};
    }
}

bool TRgnSelect::inMoveRegion(QPoint p) const {
    if (!contains(selRect_, p)) return false;
    for (const TRect& h : HandleRectsFor(selRect_))
        if (contains(h, p)) return false;
    return true;
}

int TRgnSelect::handleAt(QPoint p) const {
    auto handles = HandleRectsFor(selRect_);
    for (int i = 0; i < 8; ++i)
        if (contains(handles[i], p)) return i;
    return -1;
}

QPoint TRgnSelect::confine(QPoint p) {
    // The mouse stays inside the client area while a drag is under way: positions outside are taken at the
    // edge, and the pointer itself is put back there.
    QPoint c(std::clamp(p.x(), 0, std::max(0, width() - 1)), std::clamp(p.y(), 0, std::max(0, height() - 1)));
    if (c != p) QCursor::setPos(mapToGlobal(c));
    return c;
}

void TRgnSelect::setDragRect(const TRect& r) {
    if (r == dragRect_) return;
    dragRect_ = r;
    update();  // the band is XOR-drawn over the composed buffer; the picture itself is not composed again
}

void TRgnSelect::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (!EditMode || event->button() != Qt::LeftButton) {
        if (OnMouseDown) OnMouseDown(this, event);
        return;
    }
    downPoint_ = p;
    if (inMoveRegion(p)) {
        dragRect_ = selRect_;
        moving_ = true;
    } else if (int h = handleAt(p); h >= 0) {
        resizing_ = true;
        dragHandle_ = h;
        dragRect_ = selRect_;
    } else {
        if (OnMouseDown) OnMouseDown(this, event);
        return;
    }
    grabMouse();
    update();
}

void TRgnSelect::mouseMoveEvent(QMouseEvent* event) {
    QPoint p = event->position().toPoint();
    if (!EditMode) {
        if (OnMouseMove) OnMouseMove(this, event);
        return;
    }
    if (moving_ || resizing_) {
        p = confine(p);
        const int dx = p.x() - downPoint_.x(), dy = p.y() - downPoint_.y();
        if (moving_)
            setDragRect(
                TRect{selRect_.left + dx, selRect_.top + dy, selRect_.right + dx, selRect_.bottom + dy});
        else
            setDragRect(DraggedRect(selRect_, dragHandle_, dx, dy, p.x(), p.y()));
        if (OnEditing) OnEditing(this, dragRect_.left, dragRect_.top, dragRect_.width(), dragRect_.height());
        return;
    }
    if (inMoveRegion(p)) {
        setCursor(Qt::SizeAllCursor);
    } else if (int h = handleAt(p); h >= 0) {
        setCursor(HandleCursor(h));
    } else {
        unsetCursor();
        if (OnMouseMove) OnMouseMove(this, event);
    }
    if (OnEditing) OnEditing(this, p.x(), p.y(), -1, -1);
}

void TRgnSelect::mouseReleaseEvent(QMouseEvent* event) {
    unsetCursor();
    if (!moving_ && !resizing_) {
        if (OnMouseUp) OnMouseUp(this, event);
        return;
    }
    releaseMouse();
    const QPoint q = confine(event->position().toPoint());
    const int dx = q.x() - downPoint_.x(), dy = q.y() - downPoint_.y();
    TRect r = moving_
                  ? TRect{selRect_.left + dx, selRect_.top + dy, selRect_.right + dx, selRect_.bottom + dy}
                  : normalised(DraggedRect(selRect_, dragHandle_, dx, dy, q.x(), q.y()));
    moving_ = resizing_ = false;
    dragHandle_ = -1;
    selX_ = r.left;
    selY_ = r.top;
    selW_ = r.width();
    selH_ = r.height();
    selRect_ = r;
    dragRect_ = r;
    dirty_ = true;
    update();
    if (OnEdited) OnEdited(this, r.left, r.top, r.width(), r.height());
}

void TRgnSelect::enterEvent(QEnterEvent* event) {
    QWidget::enterEvent(event);
    if (OnMouseEnter) OnMouseEnter(this);
}

void TRgnSelect::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    if (OnMouseLeave) OnMouseLeave(this);
}

void TRgnSelect::composeBuffer() {
    if (buffer_.size() != size()) {
        buffer_ = QImage(size(), QImage::Format_RGB32);
        dirty_ = true;
    }
    if (buffer_.isNull() || !dirty_) return;
    dirty_ = false;
    buffer_.fill(Color);
    QPainter p(&buffer_);
    if (!bg_.isNull()) p.drawImage(0, 0, bg_);
    // The selection: a dotted white outline XOR-ed onto the picture, so it shows on any colour.
    p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    p.setPen(QPen(Qt::white, 1, Qt::DotLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(outline(selRect_));
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    for (const TRect& h : HandleRectsFor(selRect_)) {
        p.fillRect(QRect(h.left, h.top, 5, 5), Qt::black);
        p.fillRect(QRect(h.left + 1, h.top + 1, 3, 3), Qt::white);
    }
}

void TRgnSelect::paintEvent(QPaintEvent* /*event*/) {
    if (!EditMode) return;
    composeBuffer();
    QPainter p(this);
    if ((moving_ || resizing_) && !(dragRect_ == selRect_)) {
        // The rubber band: a 2-pixel solid white pen in XOR mode over the composed picture.
        QImage frame = buffer_.copy();
        QPainter band(&frame);
        band.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        band.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        band.setBrush(Qt::NoBrush);
        band.drawRect(outline(dragRect_));
        band.end();
        p.drawImage(0, 0, frame);
        return;
    }
    p.drawImage(0, 0, buffer_);
}
