// Runs LantorFM's main window for a while without anyone at the screen: signs in with the
// account remembered in config.ini, prints every status and title change, saves a screenshot
// of the window and closes it as the close box would. For headless demos under Xvfb.
//   lantor-demo-run [--seconds N] [--screenshot FILE]
#include "app/CMainDlg.h"
#include "app/Translations.h"
#include "service/CachePath.h"
#include "session/FolderSettings.h"

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    int seconds = 30;
    std::string screenshot = "lantorfm-demo.png";
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--screenshot") && i + 1 < argc)
            screenshot = argv[++i];
        else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--screenshot FILE]\n", argv[0]);
            return 2;
        }
    }
    QApplication app(argc, argv);
    FolderSettings settings;
    const WorkFolder work(settings.Folder());
    const Translations translations(Translations::Choose(settings.LoadLanguage()));
    CreateCacheFolders(work);
    std::string email, password;
    if (!settings.LoadRememberState()) {
        std::fprintf(stderr, "demo-run: config.ini holds no remembered account\n");
        return 1;
    }
    settings.LoadAccount(email, password);
    CMainDlg dlg(settings, work);
    QObject::connect(&dlg, &CMainDlg::statusTextChanged, [](const QString& text) {
        std::printf("status: %s\n", text.toUtf8().constData());
        std::fflush(stdout);
    });
    QObject::connect(&dlg, &QWidget::windowTitleChanged, [](const QString& text) {
        std::printf("title:  %s\n", text.toUtf8().constData());
        std::fflush(stdout);
    });
    dlg.SetCredentials(email, password);
    dlg.SetAutoSignIn(true);
    dlg.OnInitDialog();
    dlg.show();
    QTimer::singleShot(seconds * 1000, &dlg, [&] {
        if (dlg.grab().save(QString::fromStdString(screenshot)))
            std::printf("screenshot: %s\n", screenshot.c_str());
        dlg.close();
    });
    QObject::connect(&dlg, &QDialog::finished, &app, &QApplication::quit);
    return app.exec();
}
