#pragma once
#include "app/DesktopControl.h"

#include <QActionGroup>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <vector>

class QAction;
class QWidget;

// The player in the panel's tray. QSystemTrayIcon makes it a StatusNotifierItem with a dbusmenu
// where the desktop runs a StatusNotifierWatcher, an XEmbed icon elsewhere, and nothing where
// neither exists (Available() is false then). Its tooltip is the playing song; a left click
// shows and raises the window or hides it when it is the active one, a middle click plays or
// pauses, the wheel (where the tray passes it on) moves the volume. The menu acts through the
// player's commands; it follows the player's state.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kIconName = "lantorfm";
    static constexpr int kVolumeStep = 5;
    static constexpr qsizetype kMaxTipChars = 200; // of a title or an artist

    TrayIcon(DesktopControl& control, QWidget& window, QObject* parent = nullptr);
    ~TrayIcon() override;

    static bool Available();
    void SetShown(bool shown);
    bool Shown() const { return icon.isVisible() && Available(); }
    // Shows and raises the window, or hides it while it is the active window.
    void ToggleWindow();
    void ShowWindow();

    QSystemTrayIcon& Icon() { return icon; }
    QMenu& Menu() { return menu; }

signals:
    void preferencesRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Refresh();
    void RefreshChannels(const DesktopControl::State& state);
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    static QString ToolTip(const DesktopControl::State& state);

    DesktopControl& control;
    QWidget& window;
    QMenu menu;
    QMenu channelMenu;
    QActionGroup channelGroup;
    QAction* playPause = nullptr;
    QAction* next = nullptr;
    QAction* like = nullptr;
    QAction* dislike = nullptr;
    std::vector<DesktopControl::Channel> listed; // what channelMenu shows
    QSystemTrayIcon icon;                        // last: it goes first, before its menu
};
