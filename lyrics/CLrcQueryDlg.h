#pragma once
#include "lyrics/LrcSearcher.h"
#include "platform/WorkerGroup.h"

#include <QDialog>
#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class SessionSettings;

class QLabel;
class QLineEdit;
class QPushButton;
class ReportListView;

// The lyrics search form: singer and song boxes (filled with the playing song), a search button
// and a result list. "搜索" (or Enter in either box) searches both lyrics sites on a worker and
// lists every item found, none chosen. "下载" (or a double-click, Enter or Space on an item)
// fetches the chosen item's lyrics on a worker into the lyrics cache of the song the search was
// started for, reports it through the stored handler and says in the status line what it stored
// for which song; the form stays open. "取消" ends it with 2. Closing it cancels and joins its
// worker.
class CLrcQueryDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kIconId = 128;
    static constexpr int kSingerId = 1044;
    static constexpr int kSongId = 1045;
    static constexpr int kResultsId = 1046;
    static constexpr int kSearchId = 1047;
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;

    // The song the listener hears: GBK texts and whole seconds played.
    struct Song {
        std::string title;
        std::string artist;
        std::string sid;
        int seconds = 0;
    };
    // None while no song plays.
    using SongSource = std::function<std::optional<Song>()>;
    // Called on the UI thread once the lyrics of sid are in the cache.
    using StoredHandler = std::function<void(const std::string& sid)>;

    // sites: where the lyrics sites are (read now); none asks no site.
    explicit CLrcQueryDlg(QWidget* owner = nullptr, SongSource nowPlaying = {},
                          StoredHandler stored = {}, SessionSettings* sites = nullptr);
    ~CLrcQueryDlg() override;

    void OnSearch();
    // Fetches the selected item's lyrics; nothing without a selection or while busy.
    void OnDownload();
    // A search or a download is running.
    bool Busy() const { return busy; }

    QLineEdit* SingerEdit() const { return singer; }
    QLineEdit* SongEdit() const { return song; }
    QPushButton* SearchButton() const { return search; }
    QPushButton* DownloadButton() const { return download; }
    QPushButton* CancelButton() const { return cancel; }
    ReportListView* Results() const { return results; }
    QLabel* StatusLine() const { return status; }
    // The items listed, in row order.
    const std::vector<LrcSearcher::Item>& Items() const { return items; }

    // Enter takes the default button, "下载"; Esc and the close box end it like "取消".
    void accept() override { OnDownload(); }
    void reject() override { done(kCancel); }

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetBusy(bool on, const QString& text);
    void EnableButtons();
    void ShowListing(const LrcSearcher::Listing& listing);
    void ShowDownload(bool ok, const LrcSearcher::Item& item);
    QString SiteName(int site) const;

    QLineEdit* singer;
    QLineEdit* song;
    QPushButton* search;
    ReportListView* results;
    QLabel* status;
    QPushButton* download;
    QPushButton* cancel;
    bool centred = false;

    SongSource nowPlaying;
    StoredHandler stored;
    std::atomic<bool> cancelled{false}; // raised on destruction: the worker's transfers end
    const LrcSearcher searcher;         // stateless
    // UI thread only.
    bool busy = false;
    std::optional<Song> searched; // the song the listed items are for
    std::vector<LrcSearcher::Item> items;
    WorkerGroup worker; // last: joined before the fields it uses go
};
