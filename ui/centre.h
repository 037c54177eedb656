// Dialogs centre themselves over the window that opens them: left := owner left + (owner width - own
// width) / 2, top likewise, halves truncated toward zero.
#pragma once

#include <QWidget>

inline void CentreOver(QWidget* self, const QWidget* owner) {
    if (!self || !owner) return;
    QRect o = owner->frameGeometry();
    QSize own = self->frameGeometry().size();
    self->move(o.left() + (o.width() - own.width()) / 2, o.top() + (o.height() - own.height()) / 2);
}
