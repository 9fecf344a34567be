#include "controls/ReportListView.h"
#include "lyrics/CLrcQueryDlg.h"
#include "lyrics/CLrcWindow.h"
#include "session/FolderSettings.h"
#include "tests/support/TempDir.h"
#include "tests/support/qt/AccessibleTree.h"
#include "tests/support/qt/PumpUntil.h"
#include "tools/LoopbackServer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

TEST(CLrcQueryDlg, FormIsLaidOutFromItsDialogUnits) {
    CLrcQueryDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QString::fromUtf8("歌词搜索"));
    EXPECT_FALSE(dlg.windowIcon().isNull());
    EXPECT_EQ(dlg.size(), QSize(474, 297)); // 316 x 183 units
    EXPECT_EQ(dlg.SingerEdit()->geometry(), QRect(43, 11, 129, 22));
    EXPECT_EQ(dlg.SongEdit()->geometry(), QRect(228, 11, 150, 22));
    EXPECT_EQ(dlg.SearchButton()->geometry(), QRect(388, 11, 75, 22));
    EXPECT_EQ(dlg.SearchButton()->text(), QString::fromUtf8("搜索"));
    EXPECT_EQ(dlg.Results()->geometry(), QRect(10, 48, 453, 208));
    EXPECT_EQ(dlg.DownloadButton()->geometry(), QRect(289, 263, 75, 22));
    EXPECT_EQ(dlg.DownloadButton()->text(), QString::fromUtf8("下载"));
    EXPECT_TRUE(dlg.DownloadButton()->isDefault());
    EXPECT_EQ(dlg.CancelButton()->geometry(), QRect(388, 263, 75, 22));
    EXPECT_EQ(dlg.CancelButton()->text(), QString::fromUtf8("取消"));
    QStringList labels;
    for (const QLabel* label : dlg.findChildren<QLabel*>())
        labels << label->text();
    EXPECT_TRUE(labels.contains(QString::fromUtf8("演唱:")));
    EXPECT_TRUE(labels.contains(QString::fromUtf8("歌曲:")));
}

TEST(CLrcQueryDlg, ResultListHasThreeColumnsAndStartsEmpty) {
    CLrcQueryDlg dlg;
    ReportListView* list = dlg.Results();
    ASSERT_EQ(list->columnCount(), 3);
    const char* titles[] = {"歌曲", "演唱", "站点"};
    const int widths[] = {200, 100, 200};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(list->horizontalHeaderItem(c)->text(), QString::fromUtf8(titles[c]));
        EXPECT_EQ(list->columnWidth(c), widths[c]);
    }
    EXPECT_EQ(list->ItemCount(), 0);
    EXPECT_TRUE(dlg.SingerEdit()->text().isEmpty());
    EXPECT_TRUE(dlg.SongEdit()->text().isEmpty());
}

TEST(CLrcQueryDlg, ButtonsEndTheModalRunWithOneOrTwo) {
    const struct {
        const char* what;
        int result;
    } cases[] = {{"download", 2}, {"cancel", 2}, {"escape", 2}, {"search", 2}};
    for (const auto& c : cases) {
        CLrcQueryDlg dlg;
        QTimer::singleShot(0, &dlg, [&dlg, &c] {
            const std::string what = c.what;
            if (what == "download") {
                dlg.DownloadButton()->click(); // nothing chosen: the dialog stays open
                EXPECT_TRUE(dlg.isVisible());
                dlg.reject();
            } else if (what == "cancel") {
                dlg.CancelButton()->click();
            } else if (what == "escape") {
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(&dlg, &esc);
            } else {
                dlg.SearchButton()->click(); // searches on its worker: the dialog stays open
                EXPECT_TRUE(dlg.isVisible());
                dlg.reject();
            }
        });
        EXPECT_EQ(dlg.exec(), c.result) << c.what;
    }
}

// --- Searching and downloading against both sites on 127.0.0.1 -------------------------------

// 你好 and 歌手 in GBK and in UTF-8.
const std::string kTitleGbk = "\xC4\xE3\xBA\xC3";
const std::string kArtistGbk = "\xB8\xE8\xCA\xD6";
const std::string kTitleUtf8 = "\xE4\xBD\xA0\xE5\xA5\xBD";
const std::string kArtistUtf8 = "\xE6\xAD\x8C\xE6\x89\x8B";
const std::string kLrc = "[00:01.00]one\n[00:03.00]three\n[00:05.00]five\n";
const std::string kLrcAsStored =
    std::string("[00:01.00]one\r\n[00:03.00]three\r\n[00:05.00]five\r\n") + '\0';

std::string Item(bool firstSite, const std::string& song, const std::string& singer,
                 const std::string& link) {
    if (firstSite)
        return "<li><div class=\"wmc\"><a href=\"/s\"><font>" + song +
               "</font></a></div><div class=\"wgs\"><a href=\"/g\"><font>" + singer +
               "</font></a></div><div class=\"w50\"><a href=\"" + link + "\">LRC</a></div></li>";
    return "<li><div class=\"slmc\"><a href=\"/s\">" + song +
           "</A></div><div class=\"acll\"><a href=\"/g\">" + singer +
           "</A></div><div class=\"slczt\"><a href=\"" + link + "\">DL</A></div></li>";
}

class SearchFormTest : public ::testing::Test {
protected:
    SearchFormTest() {
        dir.MakeCacheFolders();
        // Each site lists the song only when it was searched for, after an item that is not it.
        second.Post("/so.asp", [](const httplib::Request& req, httplib::Response& res) {
            std::string items;
            if (req.body == "key=%C4%E3%BA%C3&y=1")
                items = Item(false, "Other", kArtistGbk, "/down/1.lrc") +
                        Item(false, kTitleGbk, kArtistGbk, "/down/2.lrc");
            res.set_content("<ul>" + items + "</ul>", "text/html");
        });
        first.Get("/s/", [](const httplib::Request& req, httplib::Response& res) {
            std::string items;
            if (req.target.find("%C4%E3%BA%C3") != std::string::npos)
                items = Item(true, kTitleUtf8 + "x", kArtistUtf8, "/dl/3.lrc") +
                        Item(true, kTitleUtf8, "someone", "dl/4.lrc");
            res.set_content("<ul>" + items + "</ul>", "text/html; charset=utf-8");
        });
        for (LoopbackServer* s : {&first, &second}) {
            s->Get(".*\\.lrc", [](const auto&, auto& res) { res.set_content(kLrc, "text/plain"); });
            s->Start();
        }
        broken.Post("/so.asp", [](const auto&, auto& res) {
            res.status = 500;
            res.set_content("<html><body>Internal Server Error</body></html>", "text/html");
        });
        broken.Start();
        UseSites(first.Base(), second.Base());
        window.SetSongSource([this] { return playing; });
        window.SetSites(&sites);
    }
    void UseSites(const std::string& firstBase, const std::string& secondBase) {
        dir.WriteFile("config.ini",
                      "[Server]\r\nlyrics1=" + firstBase + "\r\nlyrics2=" + secondBase + "\r\n");
    }
    CLrcQueryDlg& Open() {
        window.OnCommand(CLrcWindow::kQueryCommand);
        return *window.QueryDialog();
    }
    // By the button, or by Enter in the song box after editing it.
    bool Search(CLrcQueryDlg& form, bool byEnter = false) {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        byEnter ? void(QApplication::sendEvent(form.SongEdit(), &enter))
                : form.SearchButton()->click();
        EXPECT_EQ(form.StatusLine()->text(), QStringLiteral("正在搜索..."));
        EXPECT_FALSE(form.SearchButton()->isEnabled());
        return PumpUntil([&] { return !form.Busy(); });
    }
    // A status line cut to its width has the whole text as its tooltip.
    static QString Whole(const QLabel* line) {
        return line->toolTip().isEmpty() ? line->text() : line->toolTip();
    }
    static QString Host(const LoopbackServer& s) {
        return QStringLiteral("127.0.0.1:%1").arg(s.Port());
    }

    TempDir dir{true};
    FolderSettings sites;
    LoopbackServer first;
    LoopbackServer second;
    LoopbackServer broken; // answers the second site's search with an error page
    std::optional<CLrcQueryDlg::Song> playing =
        CLrcQueryDlg::Song{kTitleGbk + "(Live)", kArtistGbk, "A", 4};
    CLrcWindow window;
};

TEST_F(SearchFormTest, ListsBothSitesExactMatchesFirstSecondSiteBeforeFirst) {
    const std::string dead1 = "http://127.0.0.1:1", dead2 = "http://127.0.0.1:2";
    const QString title = QString::fromUtf8(kTitleUtf8), other = QStringLiteral("Other");
    const struct {
        const char* name;
        bool firstUp, secondUp;
        QString songField;                         // empty: as filled in
        std::vector<std::pair<QString, int>> rows; // song, site (1 second, 0 first)
        QString status;
        bool secondBroken = false; // the second site answers 500: a failure, not "no items"
    } cases[] = {
        {"both", true, true, {}, {{title, 1}, {title, 0}, {other, 1}, {title + "x", 0}}, ""},
        {"second down", true, false, {}, {{title, 0}, {title + "x", 0}}, "127.0.0.1:2 没有响应"},
        {"first down", false, true, {}, {{title, 1}, {other, 1}}, "127.0.0.1:1 没有响应"},
        {"nothing found", true, true, QStringLiteral("zz"), {}, "没有找到歌词"},
        {"both down",
         false,
         false,
         {},
         {},
         "没有找到歌词; 127.0.0.1:2 没有响应; 127.0.0.1:1 没有响应"},
        {"second answers 500", true, true, {}, {{title, 0}, {title + "x", 0}}, {}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UseSites(c.firstUp ? first.Base() : dead1, c.secondBroken ? broken.Base()
                                                   : c.secondUp   ? second.Base()
                                                                  : dead2);
        CLrcQueryDlg& form = Open();
        // Filled with the playing song; the search drops the bracketed remark.
        EXPECT_EQ(form.SingerEdit()->text(), QString::fromUtf8(kArtistUtf8));
        EXPECT_EQ(form.SongEdit()->text(), title + "(Live)");
        if (!c.songField.isEmpty())
            form.SongEdit()->setText(c.songField);
        ASSERT_TRUE(Search(form, !c.songField.isEmpty()));
        ReportListView* list = form.Results();
        ASSERT_EQ(list->ItemCount(), static_cast<int>(c.rows.size()));
        EXPECT_EQ(list->SelectedRow(), -1); // the listener picks one
        EXPECT_FALSE(form.DownloadButton()->isEnabled());
        const auto tree = AccessibleTree(&form); // what assistive tools read
        for (std::string line : {"EditableText 演唱: =", "Button 下载", "Table 搜索结果 =搜索结果"})
            EXPECT_EQ(tree.count(line + (line.back() == '=' ? kArtistUtf8 : "")), 1u) << line;
        for (int r = 0; r < list->ItemCount(); ++r) {
            EXPECT_EQ(list->ItemText(r, 0), c.rows[r].first) << r;
            EXPECT_EQ(list->ItemText(r, 2), Host(c.rows[r].second ? second : first)) << r;
        }
        EXPECT_EQ(Whole(form.StatusLine()),
                  c.secondBroken ? Host(broken) + QStringLiteral(" 没有响应") : c.status);
        EXPECT_TRUE(form.SearchButton()->isEnabled());
        form.reject();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

TEST_F(SearchFormTest, DownloadStoresForTheSearchedSongAndShowsTheLineOfNow) {
    const struct {
        const char* name;
        bool songChanges; // to B while the search runs
        int row;          // downloaded by double-click when 1
        const char* fetched;
    } cases[] = {
        {"download button, same song", false, 0, "/down/2.lrc"},
        {"double-click, song changed", true, 1, "/dl/4.lrc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir.Path() / "Temp/Lyrics/A.lrc");
        window.ClearLrc();
        playing = CLrcQueryDlg::Song{kTitleGbk, kArtistGbk, "A", 4};
        QPointer<CLrcQueryDlg> form = &Open();
        form->SearchButton()->click();
        if (c.songChanges)
            playing = CLrcQueryDlg::Song{"Other", "x", "B", 1};
        ASSERT_TRUE(PumpUntil([&] { return !form->Busy(); }));
        if (c.row == 0) {
            form->Results()->SelectRow(0);
            form->DownloadButton()->click();
        } else {
            form->Results()->SelectRow(c.row);
            emit form->Results()->doubleClicked(form->Results()->model()->index(c.row, 0));
        }
        ASSERT_TRUE(PumpUntil([&] { return !form->Busy(); }));
        // Open until the listener closes it, saying what went where.
        EXPECT_TRUE(form->isVisible());
        EXPECT_EQ(Whole(form->StatusLine()),
                  QStringLiteral("已保存 %1 - %2 的歌词, 用于 %3 - %2")
                      .arg(c.row == 0 ? QString::fromUtf8(kArtistUtf8) : "someone",
                           QString::fromUtf8(kTitleUtf8), QString::fromUtf8(kArtistUtf8)));
        form->reject();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const auto requests = (c.row == 0 ? second : first).Requests();
        EXPECT_EQ(requests.back().target, c.fetched);
        EXPECT_EQ(dir.ReadFile("Temp/Lyrics/A.lrc"), kLrcAsStored);
        EXPECT_FALSE(std::filesystem::exists(dir.Path() / "Temp/Lyrics/B.lrc"));
        // Shown at once, at the line of second 4, only while A still plays.
        EXPECT_EQ(window.Timeline().IsLoaded(), !c.songChanges);
        EXPECT_EQ(window.Timeline().CurLineText(), c.songChanges ? "" : "three");
    }
}

} // namespace
