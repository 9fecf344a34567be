#include "app/MprisRoot.h"

#include "app/CMainDlg.h"

#include <QTimer>

MprisRoot::MprisRoot(QObject* object, CMainDlg& window_)
    : QDBusAbstractAdaptor(object), window(window_) {}

void MprisRoot::Raise() {
    window.Raise();
}

void MprisRoot::Quit() {
    // After the reply has gone: the close sequence ends the window's run.
    QTimer::singleShot(0, &window, [this] { window.CloseWindow(); });
}
