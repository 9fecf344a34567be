#pragma once
#include "app/DesktopControl.h"
#include "app/ScreenLockWatcher.h"
#include "app/SleepInhibitor.h"
#include "app/TrayIcon.h"
#include "settings/Preferences.h"

#include <QAction>
#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QRect>

class PreferencesDlg;
class QWidget;
class SessionSettings;

// The player's place on the desktop beside its main window: the tray icon, the preferences
// dialog (from the tray menu, Ctrl+, and a right click on the window's upper part), the pause
// while the screen is locked and the sleep inhibitor while playing. Settings apply the moment
// the dialog changes them. It watches the window's close box: with "close to tray" on and an
// icon in the tray, closing hides the window and the player goes on.
class DesktopShell : public QObject {
    Q_OBJECT
public:
    static constexpr int kUpperPartHeight = 160; // the list sheet begins there
    static const QRect kCoverArea;               // keeps its own context menu

    // stored: where the switches are kept; outlives the shell.
    DesktopShell(DesktopControl& control, QWidget& window, SessionSettings& stored,
                 const QDBusConnection& session, const QDBusConnection& system,
                 QObject* parent = nullptr);
    ~DesktopShell() override;

    // Whether the window is to start hidden in the tray.
    bool StartsHidden() const;
    void ShowPreferences();

    const Preferences& Values() const { return values; }
    TrayIcon& Tray() { return tray; }
    ScreenLockWatcher& LockWatcher() { return lockWatcher; }
    SleepInhibitor& Inhibitor() { return inhibitor; }
    PreferencesDlg* Dialog() const;
    QAction& PreferencesAction() { return preferencesAction; }

signals:
    // A new preferences dialog, before it shows: for the pages others fill.
    void preferencesOpened(PreferencesDlg& dialog);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Apply(const Preferences& now);
    void OnPlayerChanged();
    void OnLockChanged(bool locked);
    bool HidesOnClose() const;

    DesktopControl& control;
    QWidget& window;
    SessionSettings& stored;
    Preferences values;
    TrayIcon tray;
    ScreenLockWatcher lockWatcher;
    SleepInhibitor inhibitor;
    QAction preferencesAction;
    QPointer<PreferencesDlg> dialog;
    bool pausedByLock = false; // the lock paused it: the unlock resumes it
};
