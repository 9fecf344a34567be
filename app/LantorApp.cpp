#include "app/LantorApp.h"

#include "app/CLoginDlg.h"
#include "app/CMainDlg.h"
#include "app/InstanceGuard.h"
#include "app/MprisService.h"
#include "app/SongNotifier.h"
#include "service/CachePath.h"
#include "settings/AppSettings.h"

#include <QApplication>
#include <cstdio>
#include <string>

int RunLantorFM() {
    InstanceGuard guard;
    if (!guard.Acquire()) {
        if (!guard.HandOver())
            std::fprintf(stderr, "LantorFM: already running in this folder, but not answering\n");
        return 0;
    }
    // Raises whichever window runs: the login dialog or the main window.
    QObject::connect(&guard, &InstanceGuard::raiseRequested, [] {
        if (QWidget* window = QApplication::activeModalWidget()) {
            window->showNormal();
            window->raise();
            window->activateWindow();
        }
    });

    // The cache folders are made here when missing; without them nothing could be cached.
    CreateCacheFolders();

    std::string email, password;
    bool autoLogin = false;
    {
        AppSettings settings;
        if (settings.LoadRememberState() && settings.LoadAutoLogin()) {
            settings.LoadAccount(email, password);
            autoLogin = !email.empty() && !password.empty();
        }
    }
    if (!autoLogin) {
        CLoginDlg login;
        if (login.exec() != 1)
            return 0;
        email = login.Email();
        password = login.Password();
    }
    CMainDlg main;
    main.SetCredentials(email, password);
    main.SetAutoSignIn(autoLogin);
    MprisService mpris(main);
    SongNotifier notifier(main);
    return main.exec();
}
