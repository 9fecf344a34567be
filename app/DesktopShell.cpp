#include "app/DesktopShell.h"

#include "app/PreferencesDlg.h"

#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QWidget>
#include <utility>

const QRect DesktopShell::kCoverArea(5, 5, 120, 120);

DesktopShell::DesktopShell(DesktopControl& control_, QWidget& window_, SessionSettings& stored_,
                           const QDBusConnection& session, const QDBusConnection& system,
                           QObject* parent)
    : QObject(parent), control(control_), window(window_), stored(stored_),
      values(Preferences::Load(stored_)), tray(control_, window_), lockWatcher(session, system),
      inhibitor(session, system), preferencesAction(tr("设置...")) {
    preferencesAction.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    preferencesAction.setShortcutContext(Qt::WindowShortcut);
    connect(&preferencesAction, &QAction::triggered, this, &DesktopShell::ShowPreferences);
    window.addAction(&preferencesAction);
    window.installEventFilter(this);
    connect(&tray, &TrayIcon::preferencesRequested, this, &DesktopShell::ShowPreferences);
    connect(&control, &DesktopControl::changed, this, &DesktopShell::OnPlayerChanged);
    connect(&lockWatcher, &ScreenLockWatcher::lockChanged, this, &DesktopShell::OnLockChanged);
    Apply(values);
}

DesktopShell::~DesktopShell() {
    window.removeEventFilter(this);
    window.removeAction(&preferencesAction);
    delete dialog;
}

PreferencesDlg* DesktopShell::Dialog() const {
    return dialog;
}

bool DesktopShell::StartsHidden() const {
    return values.Get(Preferences::kStartHidden) && tray.Shown();
}

bool DesktopShell::HidesOnClose() const {
    return values.Get(Preferences::kCloseToTray) && tray.Shown();
}

void DesktopShell::ShowPreferences() {
    if (!dialog) {
        dialog = new PreferencesDlg(PreferencesDlg::ShortcutsOf(window), stored, &window);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        connect(dialog, &PreferencesDlg::changed, this, [this](const Preferences& now) {
            Apply(now);
            // Without the icon nothing would lead back to a hidden window.
            if (!tray.Shown() && window.isHidden())
                tray.ShowWindow();
        });
        emit preferencesOpened(*dialog);
    }
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void DesktopShell::Apply(const Preferences& now) {
    values = now;
    tray.SetShown(values.Get(Preferences::kTrayIcon));
    OnPlayerChanged();
}

void DesktopShell::OnPlayerChanged() {
    const auto playback = control.Snapshot().playback;
    inhibitor.SetWanted(values.Get(Preferences::kKeepAwake) &&
                        playback == DesktopControl::Playback::kPlaying);
    // The listener (or a media key) played it again while locked: the unlock leaves it be.
    if (playback != DesktopControl::Playback::kPaused)
        pausedByLock = false;
}

void DesktopShell::OnLockChanged(bool locked) {
    if (locked) {
        if (values.Get(Preferences::kPauseOnLock) &&
            control.Snapshot().playback == DesktopControl::Playback::kPlaying) {
            control.Pause();
            pausedByLock = true;
        }
        return;
    }
    if (std::exchange(pausedByLock, false) &&
        control.Snapshot().playback == DesktopControl::Playback::kPaused)
        control.Play();
}

bool DesktopShell::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &window)
        return QObject::eventFilter(watched, event);
    // Quitting goes through the close sequence itself, never through a close event; a logout
    // closes every window and must not be held up by this one.
    if (event->type() == QEvent::Close && HidesOnClose() && !qGuiApp->isSavingSession()) {
        event->ignore();
        window.hide();
        return true;
    }
    if (event->type() == QEvent::ContextMenu) {
        const auto* menuEvent = static_cast<QContextMenuEvent*>(event);
        const QPoint at = menuEvent->pos();
        if (at.y() < kUpperPartHeight && !kCoverArea.contains(at)) {
            QMenu menu;
            menu.addAction(&preferencesAction);
            menu.exec(menuEvent->globalPos());
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}
