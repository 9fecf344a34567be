#include "app/PreferencesDlg.h"

#include "platform/Log.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QRegularExpression>
#include <QShortcut>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// "&Next" and "下一首(&N)" as a list shows them.
QString WithoutMnemonic(QString text) {
    text.remove(QRegularExpression(QStringLiteral("\\(&.\\)$")));
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    return text.trimmed();
}

} // namespace

PreferencesDlg::PreferencesDlg(std::vector<Shortcut> shortcuts, SessionSettings& stored_,
                               QWidget* parent)
    : QDialog(parent), stored(stored_), values(Preferences::Load(stored_)) {
    setWindowTitle(tr("设置"));

    QWidget* general = MakeGeneralPage();

    scrobblePage = new QWidget;
    auto* scrobbleLayout = new QVBoxLayout(scrobblePage);
    scrobbleLayout->addStretch();

    MakeShortcutList(shortcuts);

    pages = new QTabWidget;
    pages->addTab(general, tr("常规(&G)"));
    pages->addTab(scrobblePage, tr("听歌记录(&R)"));
    pages->addTab(shortcutList, tr("快捷键(&K)"));

    failure = new QLabel;
    failure->setWordWrap(true);
    failure->hide();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    layout->addWidget(failure);
    layout->addWidget(buttons);
    FollowTray();
}

// The switches, in two groups: the window and tray, and playback.
QWidget* PreferencesDlg::MakeGeneralPage() {
    const QString texts[Preferences::kKeyCount] = {
        tr("歌曲开始时显示通知(&N)"),         tr("在系统托盘显示图标(&T)"),
        tr("关闭窗口时隐藏到托盘(&C)"),       tr("启动时隐藏到托盘(&S)"),
        tr("锁屏时暂停, 解锁后继续播放(&L)"), tr("播放时不让电脑休眠(&K)"),
    };
    auto* general = new QWidget;
    auto* generalLayout = new QVBoxLayout(general);
    auto* window = new QGroupBox(tr("窗口与托盘"));
    auto* windowLayout = new QVBoxLayout(window);
    auto* playback = new QGroupBox(tr("播放"));
    auto* playbackLayout = new QVBoxLayout(playback);
    for (int i = 0; i < Preferences::kKeyCount; ++i) {
        const auto key = static_cast<Preferences::Key>(i);
        auto* box = new QCheckBox(texts[i]);
        box->setChecked(values.Get(key));
        connect(box, &QCheckBox::toggled, this, [this, key](bool on) { OnToggled(key, on); });
        (key == Preferences::kPauseOnLock || key == Preferences::kKeepAwake ? playbackLayout
                                                                            : windowLayout)
            ->addWidget(box);
        boxes[i] = box;
    }
    generalLayout->addWidget(window);
    generalLayout->addWidget(playback);
    generalLayout->addStretch();
    return general;
}

void PreferencesDlg::MakeShortcutList(const std::vector<Shortcut>& shortcuts) {
    shortcutList = new QTreeWidget;
    shortcutList->setAccessibleName(tr("主窗口的快捷键"));
    shortcutList->setHeaderLabels({tr("操作"), tr("快捷键")});
    shortcutList->setRootIsDecorated(false);
    shortcutList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (const Shortcut& shortcut : shortcuts)
        new QTreeWidgetItem(shortcutList,
                            {shortcut.action, shortcut.keys.toString(QKeySequence::NativeText)});
    shortcutList->header()->setSectionResizeMode(0, QHeaderView::Stretch);
}

void PreferencesDlg::OnToggled(Preferences::Key key, bool on) {
    values.Set(key, on);
    if (!Preferences::Save(stored, key, on)) {
        Log(Log::kSettings) << "config.ini did not take " << Preferences::kKeys[key].name;
        failure->setText(tr("保存配置文件失败: 这项设置只在本次运行中有效。"));
        failure->show();
    }
    FollowTray();
    emit changed(values);
}

// Hiding into the tray needs the tray icon.
void PreferencesDlg::FollowTray() {
    const bool tray = values.Get(Preferences::kTrayIcon);
    boxes[Preferences::kCloseToTray]->setEnabled(tray);
    boxes[Preferences::kStartHidden]->setEnabled(tray);
}

std::vector<PreferencesDlg::Shortcut> PreferencesDlg::ShortcutsOf(const QWidget& window) {
    std::vector<Shortcut> found;
    const auto add = [&](QString text, const QKeySequence& keys) {
        if (!keys.isEmpty())
            found.push_back({WithoutMnemonic(std::move(text)), keys});
    };
    for (const QAction* action : window.findChildren<QAction*>())
        for (const QKeySequence& keys : action->shortcuts())
            add(action->text().isEmpty() ? action->toolTip() : action->text(), keys);
    for (const QAction* action : window.actions())
        if (action->parent() != &window)
            for (const QKeySequence& keys : action->shortcuts())
                add(action->text(), keys);
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        QString text = button->accessibleName();
        if (text.isEmpty())
            text = button->text().isEmpty() ? button->toolTip() : button->text();
        add(text, button->shortcut());
    }
    for (const QShortcut* shortcut : window.findChildren<QShortcut*>())
        add(shortcut->whatsThis(), shortcut->key());
    return found;
}
