#pragma once
#include <QColor>
#include <QPoint>
#include <QRect>
#include <memory>
#include <string>

class CBitmapButton;
class CChannelPage;
class CCustomSliderCtrl;
class CLantorListPage;
class CLrcWindow;
class CMainDlg;
class CMusicListSheet;
class CPicture;
class CTrumWindow;
class NotifyTarget;
class QFont;
class QLabel;
class QWidget;
class SessionSettings;
class SongList;

// The main window's controls, built on it in one go and laid out as the original dialog
// template placed them: the buttons and the speaker with their shortcuts, the two sliders, the
// labels assistive tools read, the lyrics and spectrum windows and the list sheet with its two
// pages. The window owns them (Qt children); this keeps where they are.
class MainDlgControls {
public:
    static const QColor kTextColour;

    // channelName: the channel button's tooltip (GBK). The sliders report to sliderTarget.
    MainDlgControls(CMainDlg& window, NotifyTarget& sliderTarget, SongList& songs,
                    const std::string& channelName, const QFont& font);
    ~MainDlgControls();

    CBitmapButton* Button(int id) const;
    // Where the window goes: where the listener left it, else centred; inside the screen's
    // available area either way, moved rather than cut.
    static QPoint Place(const QWidget& window, SessionSettings& settings);

    CCustomSliderCtrl* progressSlider = nullptr;
    CCustomSliderCtrl* volumeSlider = nullptr;
    CLrcWindow* lrcWindow = nullptr;
    CTrumWindow* spectrumWindow = nullptr;
    CMusicListSheet* listSheet = nullptr;
    CLantorListPage* listPage = nullptr;
    CChannelPage* channelPage = nullptr;
    QLabel* titleLabel = nullptr;
    QLabel* statusLabel = nullptr;
    QLabel* timeLabel = nullptr;

private:
    void CreateSliders(CMainDlg& window, NotifyTarget& sliderTarget);
    void CreateButtons(CMainDlg& window, const std::string& channelName);
    void CreateKeys(CMainDlg& window);
    void CreateMute(CMainDlg& window);
    void CreateLabels(CMainDlg& window, const QFont& font);
    void CreateLists(CMainDlg& window, SongList& songs);
    void SetTabOrder();

    std::unique_ptr<CPicture> volumePicture; // the speaker's image
    CBitmapButton* buttons[9] = {};          // the buttons, then the speaker
};
