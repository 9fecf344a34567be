#include "app/LantorApp.h"

#include "app/CLoginDlg.h"
#include "app/CMainDlg.h"
#include "service/CachePath.h"
#include "settings/AppSettings.h"

#include <string>

int RunLantorFM() {
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
    return main.exec();
}
