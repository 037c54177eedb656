#include "capture/shockwave_flash_ex.h"

#include <QEnterEvent>
#include <QKeyEvent>
#include <QMouseEvent>

TShockwaveFlashEx::TShockwaveFlashEx(QWidget* parent) : TShockwaveFlash(parent) {}

void TShockwaveFlashEx::timerMessage() {
    if (SkipTimer) {
        if (OnSkipTimer) OnSkipTimer(this);
        return;
    }
    if (OnBeforeTimer) OnBeforeTimer(this);
    TShockwaveFlash::timerMessage();
    if (OnAfterTimer) OnAfterTimer(this);
}

void TShockwaveFlashEx::swallow(QEvent* event, const NotifyEvent& handler) {
    event->accept();
    if (handler) handler(this);
}

void TShockwaveFlashEx::mousePressEvent(QMouseEvent* event) {
    if (PreviewMsg)
        TShockwaveFlash::mousePressEvent(event);
    else
        swallow(event, OnMouseDown);
}

void TShockwaveFlashEx::mouseDoubleClickEvent(QMouseEvent* event) {
    if (PreviewMsg)
        TShockwaveFlash::mouseDoubleClickEvent(event);
    else
        swallow(event, OnMouseDown);
}

void TShockwaveFlashEx::mouseReleaseEvent(QMouseEvent* event) {
    if (PreviewMsg)
        TShockwaveFlash::mouseReleaseEvent(event);
    else
        swallow(event, OnMouseUp);
}

void TShockwaveFlashEx::mouseMoveEvent(QMouseEvent* event) {
    if (PreviewMsg)
        TShockwaveFlash::mouseMoveEvent(event);
    else
        swallow(event, OnMouseMove);
}

void TShockwaveFlashEx::enterEvent(QEnterEvent* event) {
    if (PreviewMsg)
        TShockwaveFlash::enterEvent(event);
    else
        swallow(event, OnMouseEnter);
}

void TShockwaveFlashEx::leaveEvent(QEvent* event) {
    if (PreviewMsg)
        TShockwaveFlash::leaveEvent(event);
    else
        swallow(event, OnMouseLeave);
}

void TShockwaveFlashEx::keyPressEvent(QKeyEvent* event) {
    if (PreviewMsg)
        TShockwaveFlash::keyPressEvent(event);
    else
        event->ignore();
}

void TShockwaveFlashEx::keyReleaseEvent(QKeyEvent* event) {
    if (PreviewMsg)
        TShockwaveFlash::keyReleaseEvent(event);
    else
        event->ignore();
}
