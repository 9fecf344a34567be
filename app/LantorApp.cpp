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
#include "settings/AccountStore.h"
#include "settings/AppSettings.h"

#include <QApplication>
#include <QPointer>
#include <cstdio>
#include <memory>
#include <string>

int RunLantorFM() {
    const Translations translations(Translations::Choose(AppSettings().LoadLanguage()));
    InstanceGuard guard;
    if (!guard.Acquire()) {
        if (!guard.HandOver())
            std::fprintf(stderr, "LantorFM: already running in this folder, but not answering\n");
        return 0;
    }
    // The main window's run ends the program, whichever windows close or hide before.
    QApplication::setQuitOnLastWindowClosed(false);
    // Raises whichever window runs: the login dialog or the main window, hidden in the tray
    // or not.
    QPointer<QWidget> mainWindow;
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

    // The cache folders are made here when missing; without them nothing could be cached.
    CreateCacheFolders();

    // The remembered account. Its password may be in the keyring, whose answer the main window
    // then waits for, saying it signs in; a pass still in config.ini moves into the keyring once
    // it has signed in.
    QtSecretStore keyring;
    const auto accounts = std::make_shared<AccountStore>(&keyring);
    CLoginDlg::SetAccountStore(accounts);
    const AccountStore::Account account = accounts->Load();
    std::string email = account.email, password = account.password;
    const bool autoLogin = account.remember && account.autoLogin && !email.empty() &&
                           (!password.empty() || account.passwordInKeyring);
    if (!autoLogin) {
        CLoginDlg login;
        if (login.exec() != 1)
            return 0;
        email = login.Email();
        password = login.Password();
    }
    CMainDlg main;
    mainWindow = &main;
    main.SetCredentials(email, password);
    main.SetAutoSignIn(autoLogin);
    if (autoLogin && password.empty()) {
        main.HoldSignIn();
        accounts->ReadPassword(email, [held = QPointer<CMainDlg>(&main)](std::string stored) {
            if (held)
                held->ResumeSignIn(std::move(stored));
        });
    } else if (autoLogin) {
        QObject::connect(&main, &CMainDlg::signedIn,
                         [&accounts, &email, &password] { accounts->SignedIn(email, password); });
    }
    MprisService mpris(main);
    MainDlgControl control(main);
    SongNotifier notifier(main);
    notifier.SetControl(&control);
    // Before the shell, whose preferences dialog shows its page.
    ScrobbleBridge scrobbling(main, &keyring);
    DesktopShell shell(control, main, QDBusConnection::sessionBus(), QDBusConnection::systemBus());
    QObject::connect(&shell, &DesktopShell::preferencesOpened, [&scrobbling](PreferencesDlg& dlg) {
        ScrobblePage::AddTo(*dlg.ScrobblePage(), scrobbling);
    });
    return main.Run(!shell.StartsHidden());
}
