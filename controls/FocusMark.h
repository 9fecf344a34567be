#pragma once
#include <QObject>

class QPainter;
class QWidget;

// The keyboard focus mark of an owner-drawn control: a 1-pixel frame round it in the colour the
// main window writes its texts in. It shows while the control has the focus and the keyboard is
// in use there (focus by Tab or by the program, or a key pressed); a click that gives the focus
// shows none, as the desktop's own controls do. Watches its control's events; the control
// calls Paint at the end of its paintEvent.
class FocusMark : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned kColour = 0x3CD2FA; // RGB(60, 210, 250)

    explicit FocusMark(QWidget* control);
    bool Shown() const;
    void Paint(QPainter& painter) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* control_; // the parent
    bool fromKeyboard_ = false;
};
