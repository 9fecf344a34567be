#include "app/CLoginDlg.h"

#include "controls/CPicture.h"
#include "controls/PlainText.h"
#include "controls/Resources.h"
#include "platform/CodePage.h"
#include "session/FolderSettings.h"
#include "settings/AccountStore.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>

using Resources::DluRect;

namespace {
void ShowMessageBox(QWidget* owner, const QString& text, const QString& caption) {
    QMessageBox::critical(owner, caption, text, QMessageBox::Ok);
}

// At most kMaxFieldLength characters of the box, never half of a surrogate pair.
QString FieldText(const QLineEdit& edit) {
    QString text = edit.text();
    if (text.size() > CLoginDlg::kMaxFieldLength) {
        qsizetype keep = CLoginDlg::kMaxFieldLength;
        if (text.at(keep - 1).isHighSurrogate())
            --keep;
        text.truncate(keep);
    }
    return text;
}

CLoginDlg::MessageBoxHook& Hook() {
    static CLoginDlg::MessageBoxHook hook = ShowMessageBox;
    return hook;
}

std::weak_ptr<AccountStore>& InstalledAccountStore() {
    static std::weak_ptr<AccountStore> store;
    return store;
}

std::shared_ptr<AccountStore> Accounts() {
    if (auto store = InstalledAccountStore().lock())
        return store;
    static FolderSettings currentFolder;
    static const auto configOnly = std::make_shared<AccountStore>(currentFolder, nullptr);
    return configOnly;
}
} // namespace

void CLoginDlg::SetMessageBoxHook(MessageBoxHook hook) {
    Hook() = hook ? std::move(hook) : MessageBoxHook(ShowMessageBox);
}

void CLoginDlg::SetAccountStore(std::weak_ptr<AccountStore> store) {
    InstalledAccountStore() = std::move(store);
}

void CLoginDlg::ReportSaveFailure(QWidget* owner) {
    Hook()(owner, tr("保存配置文件失败"), tr("错误"));
}

CLoginDlg::CLoginDlg(QWidget* parent, const WorkFolder& work)
    : QDialog(parent), fmPicture(std::make_unique<CPicture>()),
      accountPicture(std::make_unique<CPicture>()) {
    setWindowTitle(tr("LantorFM——登录"));
    setWindowIcon(Resources::LoadIcon(128));
    setFixedSize(kWidth, kHeight);
    setFont(Resources::SongTypeFont(12));

    okButton = new QPushButton(tr("确定"), this);
    okButton->setGeometry(DluRect(107, 144, 50, 14));
    okButton->setDefault(true);
    cancelButton = new QPushButton(tr("取消"), this);
    cancelButton->setGeometry(DluRect(187, 144, 50, 14));
    auto* emailLabel = new QLabel(tr("邮箱"), this);
    emailLabel->setGeometry(DluRect(99, 71, 17, 8));
    emailEdit = new QLineEdit(this);
    emailEdit->setGeometry(DluRect(125, 67, 126, 14));
    emailEdit->setMaxLength(kMaxFieldLength);
    auto* passwordLabel = new QLabel(tr("密码"), this);
    passwordLabel->setGeometry(DluRect(99, 97, 17, 8));
    passwordEdit = new QLineEdit(this);
    passwordEdit->setGeometry(DluRect(125, 95, 126, 14));
    passwordEdit->setMaxLength(kMaxFieldLength);
    passwordEdit->setEchoMode(QLineEdit::Password);
    rememberBox = new QCheckBox(tr("记住密码"), this);
    rememberBox->setGeometry(DluRect(111, 121, 48, 10));
    autoLoginBox = new QCheckBox(tr("自动登录"), this);
    autoLoginBox->setGeometry(DluRect(189, 122, 48, 10));
    reasonLine = new QLabel(this);
    reasonLine->setGeometry(DluRect(99, 133, 152, 9));
    QPalette reasonColours = reasonLine->palette();
    reasonColours.setColor(QPalette::WindowText, QColor(0xC0, 0, 0));
    reasonLine->setPalette(reasonColours);
    // Room for translations longer than the Chinese: beside the account picture, up to the
    // fields and to the dialog's edge.
    for (QWidget* label : {emailLabel, passwordLabel})
        Resources::FitCaption(*label, Resources::DluX(86), emailEdit->x() - 3);
    Resources::FitCaption(*rememberBox, 0, autoLoginBox->x() - 4);
    Resources::FitCaption(*autoLoginBox, 0, kWidth - 4);
    emailLabel->setBuddy(emailEdit); // the fields' accessible names
    passwordLabel->setBuddy(passwordEdit);
    connect(okButton, &QPushButton::clicked, this, &CLoginDlg::OnOk);
    connect(cancelButton, &QPushButton::clicked, this, &CLoginDlg::reject);
    connect(rememberBox, &QCheckBox::clicked, this, &CLoginDlg::OnRememberClicked);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    fmPicture->LoadFile(work.Resource("fm.jpg"));
    accountPicture->LoadFile(work.Resource("account.jpg"));
    FillAccountFields();
    (emailEdit->text().isEmpty() ? emailEdit : passwordEdit)->setFocus();
}

CLoginDlg::~CLoginDlg() = default;

void CLoginDlg::FillAccountFields() {
    const std::shared_ptr<AccountStore> accounts = Accounts();
    const AccountStore::Account account = accounts->Load();
    rememberBox->setChecked(account.remember);
    emailEdit->setText(Resources::AnsiToQString(account.email));
    passwordEdit->setText(Resources::AnsiToQString(account.password));
    if (account.remember)
        autoLoginBox->setChecked(account.autoLogin);
    if (!account.passwordInKeyring)
        return;
    accounts->ReadPassword(account.email, [self = QPointer<CLoginDlg>(this)](std::string stored) {
        // Unless the listener has typed one meanwhile.
        if (self && !self->passwordEdit->isModified() && self->passwordEdit->text().isEmpty())
            self->passwordEdit->setText(Resources::AnsiToQString(stored));
    });
}

void CLoginDlg::FillAccount(const std::string& email_, const std::string& password_) {
    emailEdit->setText(Resources::AnsiToQString(email_));
    passwordEdit->setText(Resources::AnsiToQString(password_));
}

void CLoginDlg::ReadFields() {
    email = Resources::QStringToAnsi(FieldText(*emailEdit));
    password = Resources::QStringToAnsi(FieldText(*passwordEdit));
    // The limit is in bytes of the stored text, as the edit boxes always counted it; half a
    // character would be sent and stored as a different one.
    CodePage::CutAtCharacter(email, kMaxFieldLength);
    CodePage::CutAtCharacter(password, kMaxFieldLength);
}

void CLoginDlg::OnRememberClicked() {
    ReadFields();
    StoreAccountSettings();
}

void CLoginDlg::SetFailure(const QString& reason) {
    PlainText::SetLabel(*reasonLine, reason);
    passwordEdit->setFocus();
    passwordEdit->selectAll();
}

void CLoginDlg::OnOk() {
    // Nothing is sent or stored without both; the listener is shown what is missing.
    QLineEdit* missing = emailEdit->text().trimmed().isEmpty() ? emailEdit
                         : passwordEdit->text().isEmpty()      ? passwordEdit
                                                               : nullptr;
    if (missing != nullptr) {
        PlainText::SetLabel(*reasonLine,
                            missing == emailEdit ? tr("请输入邮箱") : tr("请输入密码"));
        missing->setFocus();
        return;
    }
    ReadFields();
    StoreAccountSettings();
    done(1);
}

void CLoginDlg::StoreAccountSettings() {
    if (!Accounts()->Store(rememberBox->isChecked(), autoLoginBox->isChecked(), email, password))
        ReportSaveFailure(this);
}

void CLoginDlg::paintEvent(QPaintEvent* event) {
    QDialog::paintEvent(event);
    QPainter painter(this);
    fmPicture->Draw(painter, 0, 0);
    accountPicture->Draw(painter, 30, fmPicture->height + 35);
}
