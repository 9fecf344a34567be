#pragma once
#include "platform/qt/BackgroundJob.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class ScrobbleBridge;

// The preferences' page for scrobbling: the switch, the server, the token (never shown back)
// and a button that checks the token with the server before keeping it, saying the user name
// it belongs to or why it was refused. Says where the token is kept and how sending goes.
class ScrobblePage : public QWidget {
    Q_OBJECT
public:
    ScrobblePage(ScrobbleBridge& bridge, QWidget* parent = nullptr);
    // Puts a new page at the top of the preferences' page for it.
    static ScrobblePage* AddTo(QWidget& page, ScrobbleBridge& bridge);

    QCheckBox* Switch() const { return switchBox; }
    QLineEdit* ServerField() const { return serverField; }
    QLineEdit* TokenField() const { return tokenField; }
    QPushButton* CheckButton() const { return checkButton; }
    QPushButton* ForgetButton() const { return forgetButton; }
    QLabel* Result() const { return result; }
    QLabel* KeyringNote() const { return keyringNote; }
    QLabel* StatusLine() const { return statusLine; }

private:
    void OnCheck();
    void OnChecked(const std::string& server, const std::string& token,
                   const BackgroundJob::Reply& reply);
    void Refresh();

    ScrobbleBridge& bridge;
    QCheckBox* switchBox = nullptr;
    QLineEdit* serverField = nullptr;
    QLineEdit* tokenField = nullptr;
    QPushButton* checkButton = nullptr;
    QPushButton* forgetButton = nullptr;
    QLabel* result = nullptr;
    QLabel* keyringNote = nullptr;
    QLabel* statusLine = nullptr;
    BackgroundJob checkJob; // last: ends before the widgets go
};
