#include "app/LantorApp.h"

#include "app/CLoginDlg.h"
#include "app/CMainDlg.h"
#include "app/DesktopShell.h"
#include "app/InstanceGuard.h"
#include "app/MainDlgControl.h"
#include "app/MprisService.h"
#include "app/PreferencesDlg.h"
#include "app/ScrobbleBridge.h"
#include "app/ScrobblePage.h"
#include "app/SongNotifier.h"
#include "app/Translations.h"
#include "platform/qt/QtSecretStore.h"
#include "service/CachePath.h"
#include "session/FolderSettings.h"
#include "settings/AccountStore.h"

#include <QApplication>
#include <QPointer>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace {

// Raises whichever window runs: the login dialog or the main window, hidden in the tray or not.
void RaiseOnRequest(InstanceGuard& guard, const QPointer<QWidget>& mainWindow) {
    QObject::connect(&guard, &InstanceGuard::raiseRequested, [&mainWindow] {
        QWidget* window = QApplication::activeModalWidget();
        if (!window)
            window = mainWindow;
        if (window) {
            window->showNormal();
            window->raise();
            window->activateWindow();
        }
    });
}

struct Credentials {
    std::string email, password;
    bool automatic = false; // the remembered account, without the login dialog
};

// The remembered account for an automatic sign-in, else what the login dialog gives; none when
// the dialog is cancelled.
std::optional<Credentials> ChooseAccount(AccountStore& accounts, const WorkFolder& work) {
    const AccountStore::Account account = accounts.Load();
    Credentials chosen{account.email, account.password, false};
    chosen.automatic = account.remember && account.autoLogin && !chosen.email.empty() &&
                       (!chosen.password.empty() || account.passwordInKeyring);
    if (chosen.automatic)
        return chosen;
    CLoginDlg login(nullptr, work);
    if (login.exec() != 1)
        return std::nullopt;
    return Credentials{login.Email(), login.Password(), false};
}

// A password still in the keyring is awaited, the window saying it signs in; a pass still in
// config.ini moves into the keyring once it has signed in.
void SignIn(CMainDlg& main, const std::shared_ptr<AccountStore>& accounts,
            const Credentials& account) {
    main.SetCredentials(account.email, account.password);
    main.SetAutoSignIn(account.automatic);
    if (account.automatic && account.password.empty()) {
        main.HoldSignIn();
        accounts->ReadPassword(account.email,
                               [held = QPointer<CMainDlg>(&main)](std::string stored) {
                                   if (held)
                                       held->ResumeSignIn(std::move(stored));
                               });
    } else if (account.automatic) {
        QObject::connect(&main.Adaptor(), &SessionAdaptor::signedIn, [accounts, &account] {
            accounts->SignedIn(account.email, account.password);
        });
    }
}

} // namespace

int RunLantorFM() {
    // The folder the program was started in keeps config.ini.
    FolderSettings settings;
    const WorkFolder work(settings.Folder());
    const Translations translations(Translations::Choose(settings.LoadLanguage()));
    InstanceGuard guard;
    if (!guard.Acquire()) {
        if (!guard.HandOver())
            std::fprintf(stderr, "LantorFM: already running in this folder, but not answering\n");
        return 0;
    }
    // The main window's run ends the program, whichever windows close or hide before.
    QApplication::setQuitOnLastWindowClosed(false);
    QPointer<QWidget> mainWindow;
    RaiseOnRequest(guard, mainWindow);
    // The cache folders are made here when missing; without them nothing could be cached.
    CreateCacheFolders(work);

    QtSecretStore keyring;
    const auto accounts = std::make_shared<AccountStore>(settings, &keyring);
    CLoginDlg::SetAccountStore(accounts);
    const std::optional<Credentials> account = ChooseAccount(*accounts, work);
    if (!account)
        return 0;
    CMainDlg main(settings, work);
    mainWindow = &main;
    SignIn(main, accounts, *account);
    MprisService mpris(main);
    MainDlgControl control(main);
    SongNotifier notifier(main.Adaptor(), main);
    notifier.SetControl(&control);
    // Before the shell, whose preferences dialog shows its page.
    ScrobbleBridge scrobbling(main.Adaptor(), settings, &keyring, work.ScrobbleQueue());
    DesktopShell shell(control, main, settings, QDBusConnection::sessionBus(),
                       QDBusConnection::systemBus());
    QObject::connect(&shell, &DesktopShell::preferencesOpened, [&scrobbling](PreferencesDlg& dlg) {
        ScrobblePage::AddTo(*dlg.ScrobblePage(), scrobbling);
    });
    return main.Run(!shell.StartsHidden());
}
