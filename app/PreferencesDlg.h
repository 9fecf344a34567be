#pragma once
#include "settings/Preferences.h"

#include <QDialog>
#include <QKeySequence>
#include <QString>
#include <array>
#include <vector>

class QCheckBox;
class QLabel;
class QTabWidget;
class QTreeWidget;
class SessionSettings;

// 设置: the listener's switches, each stored and applied the moment it is ticked; a page kept
// for the scrobbling account; and the main window's shortcuts, read only. Plain Qt widgets in
// the platform's style with mnemonics and accessible names, so the keyboard and a screen reader
// reach everything. A switch that cannot be stored still applies for this run, and the dialog
// says it was not kept.
class PreferencesDlg : public QDialog {
    Q_OBJECT
public:
    struct Shortcut {
        QString action;
        QKeySequence keys;
    };

    // stored: where the switches are kept; outlives the dialog.
    PreferencesDlg(std::vector<Shortcut> shortcuts, SessionSettings& stored,
                   QWidget* parent = nullptr);

    // What a window's actions and buttons answer to, with their texts, in the order found.
    static std::vector<Shortcut> ShortcutsOf(const QWidget& window);

    const Preferences& Values() const { return values; }
    QCheckBox* Box(Preferences::Key key) const { return boxes[key]; }
    QTabWidget* Pages() const { return pages; }
    // Where the scrobbling account's settings go.
    QWidget* ScrobblePage() const { return scrobblePage; }
    QTreeWidget* ShortcutList() const { return shortcutList; }
    QLabel* Failure() const { return failure; }

signals:
    void changed(const Preferences& now);

private:
    QWidget* MakeGeneralPage();
    void MakeShortcutList(const std::vector<Shortcut>& shortcuts);
    void OnToggled(Preferences::Key key, bool on);
    void FollowTray();

    SessionSettings& stored;
    Preferences values;
    std::array<QCheckBox*, Preferences::kKeyCount> boxes{};
    QTabWidget* pages = nullptr;
    QWidget* scrobblePage = nullptr;
    QTreeWidget* shortcutList = nullptr;
    QLabel* failure = nullptr;
};
