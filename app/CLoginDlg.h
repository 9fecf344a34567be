#pragma once
#include "service/WorkFolder.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <string>

class AccountStore;
class CPicture;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The account dialog shown before the main window: e-mail, password, "remember password" and
// "automatic sign-in". Ends with 1 (OK) or 2 (Cancel, Esc, close box). OK with an empty e-mail
// or password only puts the focus into that field and says what is missing. It opens with the
// focus in the e-mail field, or in the password field when the e-mail is known.
class CLoginDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIdEmail = 1000;
    static constexpr int kIdPassword = 1001;
    static constexpr int kIdRemember = 1002;
    static constexpr int kIdAutoLogin = 1003;
    static constexpr int kMaxFieldLength = 254;
    static constexpr int kWidth = 420;
    static constexpr int kHeight = 300;

    // Shows a message box; tests replace it so nothing modal blocks them (null: the real one).
    using MessageBoxHook =
        std::function<void(QWidget* owner, const QString& text, const QString& caption)>;
    static void SetMessageBoxHook(MessageBoxHook hook);
    // Where every login dialog of the run keeps the remembered account (the program's keyring);
    // while none is set, config.ini alone.
    static void SetAccountStore(std::weak_ptr<AccountStore> store);
    // The "保存配置文件失败" box through that hook, for every save of the settings that failed.
    static void ReportSaveFailure(QWidget* owner);

    explicit CLoginDlg(QWidget* parent = nullptr, const WorkFolder& work = WorkFolder());
    ~CLoginDlg() override;

    // The texts as read from the edit boxes at OK, GBK.
    const std::string& Email() const { return email; }
    const std::string& Password() const { return password; }

    QLineEdit* EmailEdit() const { return emailEdit; }
    QLineEdit* PasswordEdit() const { return passwordEdit; }
    QCheckBox* RememberBox() const { return rememberBox; }
    QCheckBox* AutoLoginBox() const { return autoLoginBox; }
    // Puts an account (GBK texts) into the two fields, as if typed.
    void FillAccount(const std::string& email, const std::string& password);
    // For showing the dialog again after a sign-in failed: the reason (as plain text) in the
    // dialog, the password selected with the focus in it.
    void SetFailure(const QString& reason);
    QLabel* ReasonLine() const { return reasonLine; }

    void OnRememberClicked();
    void OnOk();
    void accept() override { OnOk(); }
    void reject() override { done(2); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void FillAccountFields();
    void ReadFields();
    void StoreAccountSettings();

    std::unique_ptr<CPicture> fmPicture;
    std::unique_ptr<CPicture> accountPicture;
    QLineEdit* emailEdit;
    QLineEdit* passwordEdit;
    QCheckBox* rememberBox;
    QCheckBox* autoLoginBox;
    QPushButton* okButton;
    QPushButton* cancelButton;
    QLabel* reasonLine;
    std::string email;
    std::string password;
};
