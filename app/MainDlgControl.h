#pragma once
#include "app/DesktopControl.h"

class CMainDlg;

// The desktop's surfaces' view of the player: the state as the window's session reports it, the
// commands through the handlers of the window's own controls.
class MainDlgControl : public DesktopControl {
public:
    explicit MainDlgControl(CMainDlg& window, QObject* parent = nullptr);

    State Snapshot() const override;
    void Play() override;
    void Pause() override;
    void Next() override;
    void Like() override;
    void Dislike() override;
    // As a double-click on the channel page: switch, then back to the songs.
    void SwitchChannel(int channelId) override;
    void SetVolume(int volume) override;
    void Quit() override;

private:
    CMainDlg& window;
};
