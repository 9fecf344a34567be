#include "app/MainDlgControls.h"

#include "app/CMainDlg.h"
#include "controls/CBitmapButton.h"
#include "controls/CChannelPage.h"
#include "controls/CCustomSliderCtrl.h"
#include "controls/CLantorListPage.h"
#include "controls/CMusicListSheet.h"
#include "controls/CPicture.h"
#include "controls/CTrumWindow.h"
#include "controls/ReportListView.h"
#include "controls/Resources.h"
#include "lyrics/CLrcWindow.h"
#include "session/SessionSettings.h"

#include <QAction>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <algorithm>
#include <tuple>
#include <utility>

using Resources::DluRect;

namespace {

QString Tr(const char* text) {
    return QCoreApplication::translate("CMainDlg", text);
}

// Windows rectangles are (left, top)-(right, bottom) with the right and bottom edge excluded.
QRect Region(int left, int top, int right, int bottom) {
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
}

struct ButtonSpec {
    int id;
    const char* tooltip; // source text; the channel button shows the channel name instead
    int bitmap;          // 0: the image list of the previous button
    int frameWidth;
    int normal, pushed, focused;
    int x, y;                    // dialog units of the template
    void (CMainDlg::*handler)(); // what a click does
};

// In the order they are created; play and pause share one image list.
const ButtonSpec kButtons[] = {
    {CMainDlg::kIdLike, QT_TRANSLATE_NOOP("CMainDlg", "喜欢"), 210, 16, 0, 1, 0, 13, 82,
     &CMainDlg::OnLike},
    {CMainDlg::kIdDislike, QT_TRANSLATE_NOOP("CMainDlg", "不喜欢"), 211, 16, 0, 1, 0, 38, 82,
     &CMainDlg::OnDislike},
    {CMainDlg::kIdMore, QT_TRANSLATE_NOOP("CMainDlg", "收听更多"), 212, 16, 0, 1, 0, 62, 82,
     &CMainDlg::OnMore},
    {CMainDlg::kIdPlay, QT_TRANSLATE_NOOP("CMainDlg", "播放"), 215, 20, 0, 0, 0, 165, 80,
     &CMainDlg::OnPlay},
    {CMainDlg::kIdPause, QT_TRANSLATE_NOOP("CMainDlg", "暂停"), 0, 20, 1, 1, 1, 166, 80,
     &CMainDlg::OnPause},
    {CMainDlg::kIdPrevious, QT_TRANSLATE_NOOP("CMainDlg", "上一首"), 214, 20, 0, 1, 0, 139, 80,
     &CMainDlg::OnPrevious},
    {CMainDlg::kIdNext, QT_TRANSLATE_NOOP("CMainDlg", "下一首"), 213, 20, 0, 1, 0, 190, 80,
     &CMainDlg::OnNext},
    {CMainDlg::kIdChannel, nullptr, 217, 20, 1, 0, 1, 293, 0, &CMainDlg::OnChannelButton},
};

// A text the window paints itself, said to assistive tools: a label that draws nothing.
class SpokenLabel : public QLabel {
public:
    SpokenLabel(const QRect& place, QWidget* parent) : QLabel(parent) {
        setGeometry(place);
        setTextFormat(Qt::PlainText);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override {}
};

} // namespace

const QColor MainDlgControls::kTextColour(60, 210, 250);

MainDlgControls::MainDlgControls(CMainDlg& window, NotifyTarget& sliderTarget, SongList& songs,
                                 const std::string& channelName, const QFont& font)
    : volumePicture(std::make_unique<CPicture>()) {
    CreateSliders(window, sliderTarget);
    volumePicture->LoadFile(window.Session().Work().Resource("vol.jpg"));
    CreateButtons(window, channelName);
    CreateKeys(window);
    CreateLabels(window, font);
    CreateLists(window, songs);
    SetTabOrder();
}

MainDlgControls::~MainDlgControls() = default;

void MainDlgControls::CreateSliders(CMainDlg& window, NotifyTarget& sliderTarget) {
    progressSlider = new CCustomSliderCtrl(205, 207, 206, 208, 209, &window);
    progressSlider->setGeometry(DluRect(169, 65, 141, 15));
    volumeSlider = new CCustomSliderCtrl(205, 207, 206, 208, 209, &window);
    volumeSlider->setGeometry(DluRect(107, 65, 59, 15));
    for (auto [slider, id] : {std::pair{progressSlider, +CMainDlg::kIdProgress},
                              std::pair{volumeSlider, +CMainDlg::kIdVolume}}) {
        slider->SetPageSize(0);
        slider->SetNotifyTarget(&sliderTarget, id);
        slider->show();
    }
}

void MainDlgControls::CreateButtons(CMainDlg& window, const std::string& channelName) {
    CBitmapButton::ImageList images;
    int i = 0;
    for (const ButtonSpec& spec : kButtons) {
        if (spec.bitmap)
            images = CBitmapButton::LoadImageList(spec.bitmap, spec.frameWidth);
        auto* button = new CBitmapButton(spec.id, &window);
        button->move(Resources::DluX(spec.x), Resources::DluY(spec.y));
        button->setToolTip(spec.tooltip ? Tr(spec.tooltip) : Resources::AnsiToQString(channelName));
        button->SetImageList(images);
        button->SetImages(spec.normal, spec.pushed, spec.focused);
        button->setVisible(spec.id != CMainDlg::kIdPause);
        QObject::connect(button, &QAbstractButton::clicked, &window, spec.handler);
        buttons[i++] = button;
    }
}

void MainDlgControls::CreateKeys(CMainDlg& window) {
    Button(CMainDlg::kIdLike)->SetKeyShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    // Only the shown one of the two takes it.
    Button(CMainDlg::kIdPlay)->SetKeyShortcut(QKeySequence(Qt::Key_Space));
    Button(CMainDlg::kIdPause)->SetKeyShortcut(QKeySequence(Qt::Key_Space));
    Button(CMainDlg::kIdPrevious)->SetKeyShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
    Button(CMainDlg::kIdNext)->SetKeyShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));
    Button(CMainDlg::kIdLike)->setCheckable(true);
    Button(CMainDlg::kIdLike)->SetCheckedImage(1);
    CreateMute(window);
    for (auto [text, keys, step] :
         {std::tuple{Tr("音量 +5"), Qt::CTRL | Qt::Key_Up, CMainDlg::kVolumeKeyStep},
          std::tuple{Tr("音量 -5"), Qt::CTRL | Qt::Key_Down, -CMainDlg::kVolumeKeyStep}}) {
        auto* action = new QAction(text, &window);
        action->setShortcut(QKeySequence(keys));
        action->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(action, &QAction::triggered, &window, [&window, step = step] {
            window.SetVolume(window.Session().Snap().listenerVolume + step);
        });
        window.addAction(action);
    }
}

void MainDlgControls::CreateMute(CMainDlg& window) {
    // The speaker mutes and unmutes.
    QImage speaker;
    if (volumePicture->width > 0 && volumePicture->height > 0) {
        speaker = QImage(volumePicture->width, volumePicture->height, QImage::Format_RGB32);
        QPainter painter(&speaker);
        volumePicture->Draw(painter, 0, 0);
    }
    auto* mute = new CBitmapButton(CMainDlg::kIdMute, &window);
    mute->SetImageList(CBitmapButton::SpeakerImages(speaker));
    mute->SetImages(0, 0, 0);
    mute->SetCheckedImage(1);
    mute->setCheckable(true);
    mute->move(140, 106);
    mute->setToolTip(Tr("静音"));
    mute->SetKeyShortcut(QKeySequence(Qt::Key_M));
    mute->show();
    QObject::connect(mute, &QAbstractButton::clicked, &window, &CMainDlg::OnMute);
    buttons[std::size(kButtons)] = mute;
}

void MainDlgControls::CreateLabels(CMainDlg& window, const QFont& font) {
    progressSlider->setAccessibleName(Tr("进度"));
    volumeSlider->setAccessibleName(Tr("音量"));
    // The song's line, cut before the channel button with the whole line as its tooltip.
    titleLabel = new QLabel(&window);
    titleLabel->setGeometry(215, 5, Button(CMainDlg::kIdChannel)->x() - 215 - 4, 20);
    titleLabel->setFont(font);
    titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette colours = titleLabel->palette();
    colours.setColor(QPalette::WindowText, kTextColour);
    titleLabel->setPalette(colours);
    titleLabel->show();
    statusLabel = new SpokenLabel(QRect(145, 5, 70, 20), &window);
    timeLabel = new SpokenLabel(QRect(400, 135, 70, 20), &window);
    for (QLabel* label : {statusLabel, timeLabel})
        label->show();
}

void MainDlgControls::CreateLists(CMainDlg& window, SongList& songs) {
    lrcWindow = new CLrcWindow(&window);
    lrcWindow->SetSites(&window.Settings());
    lrcWindow->setGeometry(Region(140, 25, 460, 75));
    lrcWindow->show();
    spectrumWindow = new CTrumWindow(&window);
    spectrumWindow->setGeometry(Region(165, 80, 435, 105));
    spectrumWindow->show();

    listSheet = new CMusicListSheet(&window);
    listPage = new CLantorListPage(window, songs);
    channelPage = new CChannelPage(window);
    listSheet->AddPage(listPage);
    listSheet->AddPage(channelPage);
    listSheet->Create(&window, QRect(0, 160, window.width(), window.height() - 160));
}

void MainDlgControls::SetTabOrder() {
    // Top to bottom, left to right; the list sheet's two lists are one stop, one shown at a time.
    using Id = CMainDlg::ControlId;
    QWidget* order[] = {Button(Id::kIdChannel), Button(Id::kIdMute),     volumeSlider,
                        progressSlider,         Button(Id::kIdLike),     Button(Id::kIdDislike),
                        Button(Id::kIdMore),    Button(Id::kIdPrevious), Button(Id::kIdPlay),
                        Button(Id::kIdPause),   Button(Id::kIdNext),     listPage->List(),
                        channelPage->List()};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        QWidget::setTabOrder(order[i], order[i + 1]);
}

CBitmapButton* MainDlgControls::Button(int id) const {
    for (CBitmapButton* b : buttons)
        if (b && b->Id() == id)
            return b;
    return nullptr;
}

QPoint MainDlgControls::Place(const QWidget& window, SessionSettings& settings) {
    QPoint place;
    const bool stored = settings.LoadWindowPlace(place.rx(), place.ry());
    QScreen* screen = stored ? QGuiApplication::screenAt(place) : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return window.pos();
    const QRect area = screen->availableGeometry();
    if (!stored)
        place = area.center() - window.rect().center();
    // move() places the frame, which is not known before the window shows: room for a title bar
    // (the title bar first when the window is bigger).
    const QSize frame =
        window.size() + QSize(0, window.style()->pixelMetric(QStyle::PM_TitleBarHeight));
    place.setX(std::max(area.left(), std::min(place.x(), area.right() + 1 - frame.width())));
    place.setY(std::max(area.top(), std::min(place.y(), area.bottom() + 1 - frame.height())));
    return place;
}
