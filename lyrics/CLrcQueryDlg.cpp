#include "lyrics/CLrcQueryDlg.h"

#include "controls/ReportListView.h"
#include "controls/Resources.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

using Resources::DluRect;

CLrcQueryDlg::CLrcQueryDlg(QWidget* owner)
    : QDialog(owner), singer(new QLineEdit(this)), song(new QLineEdit(this)),
      search(new QPushButton(QStringLiteral("搜索"), this)), results(new ReportListView(this)),
      download(new QPushButton(QStringLiteral("下载"), this)),
      cancel(new QPushButton(QStringLiteral("取消"), this)) {
    setWindowTitle(QStringLiteral("歌词搜索"));
    setWindowIcon(Resources::LoadIcon(kIconId));
    setFixedSize(Resources::DluX(316), Resources::DluY(183));

    auto* singerLabel = new QLabel(QStringLiteral("演唱:"), this);
    singerLabel->setGeometry(DluRect(7, 10, 20, 8));
    singer->setObjectName(QString::number(kSingerId));
    singer->setGeometry(DluRect(29, 7, 86, 14));
    auto* songLabel = new QLabel(QStringLiteral("歌曲:"), this);
    songLabel->setGeometry(DluRect(129, 10, 20, 8));
    song->setObjectName(QString::number(kSongId));
    song->setGeometry(DluRect(152, 7, 100, 14));
    search->setObjectName(QString::number(kSearchId));
    search->setGeometry(DluRect(259, 7, 50, 14));
    search->setAutoDefault(false);

    results->setObjectName(QString::number(kResultsId));
    results->setGeometry(DluRect(7, 30, 302, 128));
    results->AddColumn(QStringLiteral("歌曲"), 200);
    results->AddColumn(QStringLiteral("演唱"), 100);
    results->AddColumn(QStringLiteral("专辑"), 200);

    download->setGeometry(DluRect(193, 162, 50, 14));
    download->setDefault(true);
    cancel->setGeometry(DluRect(259, 162, 50, 14));
    cancel->setAutoDefault(false);
    connect(download, &QPushButton::clicked, this, [this] { done(kOk); });
    connect(cancel, &QPushButton::clicked, this, [this] { done(kCancel); });
}

void CLrcQueryDlg::showEvent(QShowEvent* event) {
    // Centred on the owner the first time it shows, or on the screen without one.
    if (!centred) {
        centred = true;
        const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
        QRect area;
        if (owner != nullptr)
            area = owner->frameGeometry();
        else if (const QScreen* s = screen())
            area = s->availableGeometry();
        if (area.isValid())
            move(area.center() - rect().center());
    }
    QDialog::showEvent(event);
}
