#include "app/TrayIcon.h"

#include "app/NamedIconEngine.h"
#include "controls/Resources.h"

#include <QAction>
#include <QIcon>
#include <QWheelEvent>
#include <QWidget>

namespace {

// The program's icon under its desktop name: the host takes it from the icon theme where it is
// installed, Qt sends the pixels for the rest.
QIcon ProgramIcon() {
    return QIcon(
        new NamedIconEngine(QString::fromLatin1(TrayIcon::kIconName), Resources::LoadIcon(128)));
}

// A song's text as it comes from the service: one line, bounded, and a "<" never opens markup
// in a host or tooltip that would read some (a word joiner follows it).
QString PlainText(const QString& text) {
    QString plain;
    for (const QChar c : text.left(TrayIcon::kMaxTipChars)) {
        if (c.category() == QChar::Other_Control)
            continue;
        plain += c;
        if (c == u'<')
            plain += QChar(0x2060);
    }
    return plain;
}

// A menu entry's text shows every "&" rather than taking it for a mnemonic.
QString MenuText(const QString& text) {
    QString escaped = PlainText(text);
    return escaped.replace(u'&', QStringLiteral("&&"));
}

} // namespace

TrayIcon::TrayIcon(DesktopControl& control_, QWidget& window_, QObject* parent)
    : QObject(parent), control(control_), window(window_), channelGroup(this) {
    playPause = menu.addAction(QString(), &control, &DesktopControl::PlayPause);
    next = menu.addAction(tr("下一首"), &control, &DesktopControl::Next);
    like = menu.addAction(tr("喜欢"), &control, &DesktopControl::Like);
    dislike = menu.addAction(tr("不喜欢"), &control, &DesktopControl::Dislike);
    channelMenu.setTitle(tr("频道"));
    menu.addMenu(&channelMenu);
    menu.addSeparator();
    menu.addAction(tr("显示主窗口"), this, &TrayIcon::ShowWindow);
    menu.addAction(tr("设置..."), this, &TrayIcon::preferencesRequested);
    menu.addSeparator();
    menu.addAction(tr("退出"), &control, &DesktopControl::Quit);
    channelGroup.setExclusive(true);

    icon.setIcon(ProgramIcon());
    icon.setContextMenu(&menu);
    icon.installEventFilter(this);
    connect(&icon, &QSystemTrayIcon::activated, this, &TrayIcon::OnActivated);
    connect(&control, &DesktopControl::changed, this, &TrayIcon::Refresh);
    // The channel list may have come without a change of the player's state.
    connect(&menu, &QMenu::aboutToShow, this, &TrayIcon::Refresh);
    Refresh();
}

TrayIcon::~TrayIcon() {
    icon.hide();
}

bool TrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TrayIcon::SetShown(bool shown) {
    icon.setVisible(shown);
}

void TrayIcon::ShowWindow() {
    window.showNormal();
    window.raise();
    window.activateWindow();
}

void TrayIcon::ToggleWindow() {
    if (window.isVisible() && window.isActiveWindow())
        window.hide();
    else
        ShowWindow();
}

void TrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger)
        ToggleWindow();
    else if (reason == QSystemTrayIcon::MiddleClick)
        control.PlayPause();
}

bool TrayIcon::eventFilter(QObject* watched, QEvent* event) {
    // The XEmbed icon passes its wheel events on to the QSystemTrayIcon.
    if (watched == &icon && event->type() == QEvent::Wheel) {
        const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
        if (delta != 0)
            control.SetVolume(control.Snapshot().volume + (delta > 0 ? kVolumeStep : -kVolumeStep));
        return true;
    }
    return QObject::eventFilter(watched, event);
}

QString TrayIcon::ToolTip(const DesktopControl::State& state) {
    if (state.title.isEmpty() && state.artist.isEmpty())
        return QStringLiteral("LantorFM");
    const QString song = PlainText(state.title) + QStringLiteral(" - ") + PlainText(state.artist);
    return state.playback == DesktopControl::Playback::kPaused ? tr("%1 (已暂停)").arg(song) : song;
}

void TrayIcon::Refresh() {
    const DesktopControl::State state = control.Snapshot();
    const bool playing = state.playback == DesktopControl::Playback::kPlaying;
    const bool hasSong = state.playback != DesktopControl::Playback::kStopped;
    playPause->setText(playing ? tr("暂停") : tr("播放"));
    for (QAction* action : {playPause, next, like, dislike})
        action->setEnabled(hasSong);
    // Each change of it is a signal to the host.
    if (const QString tip = ToolTip(state); tip != icon.toolTip())
        icon.setToolTip(tip);
    RefreshChannels(state);
}

void TrayIcon::RefreshChannels(const DesktopControl::State& state) {
    if (state.channels != listed) {
        listed = state.channels;
        channelMenu.clear();
        for (const DesktopControl::Channel& channel : listed) {
            QAction* action = channelMenu.addAction(MenuText(channel.name));
            action->setCheckable(true);
            action->setData(channel.id);
            channelGroup.addAction(action);
            connect(action, &QAction::triggered, this,
                    [this, id = channel.id] { control.SwitchChannel(id); });
        }
    }
    channelMenu.setEnabled(!listed.empty());
    for (QAction* action : channelMenu.actions())
        action->setChecked(action->data().toInt() == state.channelId);
}
