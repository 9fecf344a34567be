#include "controls/FocusMark.h"

#include <QFocusEvent>
#include <QPainter>
#include <QWidget>

FocusMark::FocusMark(QWidget* control) : QObject(control), control_(control) {
    control->installEventFilter(this);
}

bool FocusMark::Shown() const {
    return fromKeyboard_ && control_->hasFocus();
}

void FocusMark::Paint(QPainter& painter) const {
    if (!Shown())
        return;
    painter.save();
    painter.setPen(QColor::fromRgb(kColour));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(control_->rect().adjusted(0, 0, -1, -1));
    painter.restore();
}

bool FocusMark::eventFilter(QObject*, QEvent* event) {
    const bool before = fromKeyboard_;
    switch (event->type()) {
    case QEvent::FocusIn: {
        // Coming back to the window keeps what the focus was; a click takes the mark away.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason)
            fromKeyboard_ = reason != Qt::MouseFocusReason;
        control_->update();
        break;
    }
    case QEvent::FocusOut:
        control_->update();
        break;
    case QEvent::KeyPress:
        fromKeyboard_ = true;
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        fromKeyboard_ = false;
        break;
    default:
        break;
    }
    if (before != fromKeyboard_)
        control_->update();
    return false;
}
