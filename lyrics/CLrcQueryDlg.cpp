#include "lyrics/CLrcQueryDlg.h"

#include "controls/PlainText.h"
#include "controls/ReportListView.h"
#include "controls/Resources.h"
#include "session/SessionSettings.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStringList>

using Resources::DluRect;

namespace {
const char* const kSearching = QT_TRANSLATE_NOOP("CLrcQueryDlg", "正在搜索...");
const char* const kNothingFound = QT_TRANSLATE_NOOP("CLrcQueryDlg", "没有找到歌词");
const char* const kNoAnswer = QT_TRANSLATE_NOOP("CLrcQueryDlg", "%1 没有响应");
const char* const kDownloading = QT_TRANSLATE_NOOP("CLrcQueryDlg", "正在下载...");
const char* const kDownloadFailed = QT_TRANSLATE_NOOP("CLrcQueryDlg", "下载失败");
} // namespace

CLrcQueryDlg::CLrcQueryDlg(QWidget* owner, SongSource nowPlaying_, StoredHandler stored_,
                           SessionSettings* sites)
    : QDialog(owner), singer(new QLineEdit(this)), song(new QLineEdit(this)),
      search(new QPushButton(tr("搜索"), this)), results(new ReportListView(this)),
      status(new QLabel(this)), download(new QPushButton(tr("下载"), this)),
      cancel(new QPushButton(tr("取消"), this)), nowPlaying(std::move(nowPlaying_)),
      stored(std::move(stored_)),
      searcher(sites ? sites->Lyrics1Base() : std::string(),
               sites ? sites->Lyrics2Base() : std::string(), &cancelled) {
    setWindowTitle(tr("歌词搜索"));
    setWindowIcon(Resources::LoadIcon(kIconId));
    setFixedSize(Resources::DluX(316), Resources::DluY(183));

    auto* singerLabel = new QLabel(tr("演唱:"), this);
    singerLabel->setGeometry(DluRect(7, 10, 20, 8));
    singer->setObjectName(QString::number(kSingerId));
    singer->setGeometry(DluRect(29, 7, 86, 14));
    auto* songLabel = new QLabel(tr("歌曲:"), this);
    songLabel->setGeometry(DluRect(129, 10, 20, 8));
    song->setObjectName(QString::number(kSongId));
    song->setGeometry(DluRect(152, 7, 100, 14));
    Resources::FitCaption(*singerLabel, 2, singer->x() - 2); // translations may be longer
    Resources::FitCaption(*songLabel, singer->geometry().right() + 4, song->x() - 2);
    search->setObjectName(QString::number(kSearchId));
    search->setGeometry(DluRect(259, 7, 50, 14));
    search->setAutoDefault(false);

    results->setObjectName(QString::number(kResultsId));
    results->setGeometry(DluRect(7, 30, 302, 128));
    results->AddColumn(tr("歌曲"), 200);
    results->AddColumn(tr("演唱"), 100);
    // Neither site lists albums; where an item came from tells the listener more.
    results->AddColumn(tr("站点"), 200);
    results->setAccessibleName(tr("搜索结果"));
    status->setGeometry(DluRect(7, 164, 180, 10));
    singerLabel->setBuddy(singer); // the boxes' accessible names
    songLabel->setBuddy(song);
    singer->installEventFilter(this);
    song->installEventFilter(this);

    download->setGeometry(DluRect(193, 162, 50, 14));
    download->setDefault(true);
    cancel->setGeometry(DluRect(259, 162, 50, 14));
    cancel->setAutoDefault(false);
    connect(search, &QPushButton::clicked, this, &CLrcQueryDlg::OnSearch);
    connect(download, &QPushButton::clicked, this, &CLrcQueryDlg::OnDownload);
    connect(results, &QAbstractItemView::doubleClicked, this, &CLrcQueryDlg::OnDownload);
    connect(cancel, &QPushButton::clicked, this, [this] { done(kCancel); });
    connect(results->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CLrcQueryDlg::EnableButtons);
    EnableButtons();

    if (nowPlaying) {
        if (std::optional<Song> playing = nowPlaying()) {
            singer->setText(Resources::AnsiToQString(playing->artist));
            song->setText(Resources::AnsiToQString(playing->title));
        }
    }
}

CLrcQueryDlg::~CLrcQueryDlg() {
    cancelled = true;
    worker.JoinAll();
}

void CLrcQueryDlg::SetBusy(bool on, const QString& text) {
    busy = on;
    EnableButtons();
    PlainText::SetLabel(*status, text);
}

void CLrcQueryDlg::EnableButtons() {
    search->setEnabled(!busy);
    download->setEnabled(!busy && results->SelectedRow() >= 0);
}

bool CLrcQueryDlg::eventFilter(QObject* watched, QEvent* event) {
    // Enter in either box searches for what it says now, rather than pressing "下载".
    if ((watched == singer || watched == song) && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            OnSearch();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CLrcQueryDlg::OnSearch() {
    if (busy)
        return;
    searched = nowPlaying ? nowPlaying() : std::nullopt;
    items.clear();
    results->DeleteAllItems();
    SetBusy(true, tr(kSearching));
    const std::string title = Resources::QStringToAnsi(song->text());
    const std::string artist = Resources::QStringToAnsi(singer->text());
    const bool started = worker.Start([this, title, artist] {
        LrcSearcher::Listing listing = searcher.ListLyrics(title, artist);
        // Runs on the UI thread; dropped with the form if it is gone by then.
        QMetaObject::invokeMethod(
            this, [this, listing = std::move(listing)] { ShowListing(listing); },
            Qt::QueuedConnection);
    });
    if (!started)
        ShowListing({});
}

void CLrcQueryDlg::ShowListing(const LrcSearcher::Listing& listing) {
    items = listing.items;
    for (const LrcSearcher::Item& item : items)
        results->AppendRow({Resources::AnsiToQString(item.song),
                            Resources::AnsiToQString(item.singer), SiteName(item.site)});
    QStringList lines;
    if (items.empty())
        lines << tr(kNothingFound);
    for (int site : {LrcSearcher::kSecondSite, LrcSearcher::kFirstSite})
        if (listing.failed[site])
            lines << tr(kNoAnswer).arg(SiteName(site));
    SetBusy(false, lines.join(QStringLiteral("; ")));
}

void CLrcQueryDlg::OnDownload() {
    const int row = results->SelectedRow();
    if (busy || row < 0 || static_cast<size_t>(row) >= items.size())
        return;
    if (!searched || searched->sid.empty()) { // nothing played when the search began
        PlainText::SetLabel(*status, tr(kDownloadFailed));
        return;
    }
    SetBusy(true, tr(kDownloading));
    const LrcSearcher::Item item = items[static_cast<size_t>(row)];
    const std::string sid = searched->sid;
    const bool started = worker.Start([this, item, sid] {
        // The same store as the automatic search's, so the file is written the same way.
        const bool ok = searcher.DownloadLrc(item.link, sid, item.site);
        QMetaObject::invokeMethod(
            this, [this, ok, item] { ShowDownload(ok, item); }, Qt::QueuedConnection);
    });
    if (!started)
        ShowDownload(false, item);
}

void CLrcQueryDlg::ShowDownload(bool ok, const LrcSearcher::Item& item) {
    if (!ok || !searched) {
        SetBusy(false, tr(kDownloadFailed));
        return;
    }
    using Resources::AnsiToQString;
    SetBusy(false, tr("已保存 %1 - %2 的歌词, 用于 %3 - %4")
                       .arg(AnsiToQString(item.singer), AnsiToQString(item.song),
                            AnsiToQString(searched->artist), AnsiToQString(searched->title)));
    if (stored)
        stored(searched->sid);
}

QString CLrcQueryDlg::SiteName(int site) const {
    QString base = QString::fromStdString(site == LrcSearcher::kFirstSite ? searcher.FirstBase()
                                                                          : searcher.SecondBase());
    const qsizetype scheme = base.indexOf(QStringLiteral("://"));
    return scheme >= 0 ? base.mid(scheme + 3) : base;
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
