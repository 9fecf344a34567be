#include "controls/CLantorListPage.h"
#include "controls/CMusicListSheet.h"
#include "controls/ReportListView.h"
#include "service/SongList.h"
#include "tests/support/FakeListOwner.h"
#include "tests/support/PlaylistJson.h"
#include "tests/support/qt/PumpUntil.h"

#include <QApplication>
#include <QMouseEvent>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

class SongPageTest : public ::testing::Test {
protected:
    SongPageTest() : page(owner, songs) {}
    // What the main window does with the songs a reply appended while page 0 shows.
    void Arrive(const std::string& title, int like = 0) {
        // Titles are UTF-8 on the wire, GBK in the list.
        const TestSong song{"s" + title, 4.5, like, title, "artist " + title, "album " + title};
        std::vector<SongRecord> added;
        ASSERT_TRUE(songs.AppendFromReply(PlaylistJson({SongJson(song)}), &added));
        for (const SongRecord& s : added)
            if (showingSongs)
                page.AddSong(s.index, s.title, s.artist, s.albumtitle, s.like != "0");
    }
    ReportListView& List() { return *page.List(); }
    FakeListOwner owner;
    SongList songs;
    bool showingSongs = true;
    CLantorListPage page;
};

TEST_F(SongPageTest, ColumnsAndImages) {
    ASSERT_EQ(List().columnCount(), 4);
    const char* titles[] = {"序号", "标题", "歌手", "专辑"};
    const int widths[] = {60, 200, 80, 100};
    for (int c = 0; c < 4; ++c) {
        EXPECT_EQ(List().horizontalHeaderItem(c)->text(), QString::fromUtf8(titles[c]));
        EXPECT_EQ(List().columnWidth(c), widths[c]);
    }
    EXPECT_EQ(List().iconSize(), QSize(24, 24));
    EXPECT_EQ(List().selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(List().selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_TRUE(List().showGrid());
}

TEST_F(SongPageTest, RowsAreNumberedFrom001WithTextsAndLikeImage) {
    Arrive("歌", 1);
    Arrive("two");
    for (int i = 3; i <= 12; ++i)
        Arrive("song " + std::to_string(i));
    ASSERT_EQ(List().ItemCount(), 12);
    EXPECT_EQ(List().ItemText(0, 0), "001");
    EXPECT_EQ(List().ItemText(1, 0), "002");
    EXPECT_EQ(List().ItemText(11, 0), "012");
    EXPECT_EQ(List().ItemText(0, 1), QString::fromUtf8("歌"));
    EXPECT_EQ(List().ItemText(1, 2), "artist two");
    EXPECT_EQ(List().ItemText(1, 3), "album two");
    EXPECT_EQ(List().ItemImage(0), CLantorListPage::kImageLiked);
    EXPECT_EQ(List().ItemImage(1), CLantorListPage::kImageNotLiked);
    EXPECT_FALSE(List().item(0, 0)->icon().isNull());
    EXPECT_EQ(page.RowOfSong(11), 11);
    EXPECT_EQ(page.SongOfRow(11), 11);
}

TEST_F(SongPageTest, MarkingTheNextSongRestoresTheHeart) {
    Arrive("liked", 1);
    Arrive("plain");
    page.MarkPlaying(0);
    EXPECT_EQ(List().ItemImage(0), CLantorListPage::kImagePlaying);
    EXPECT_EQ(page.PlayingRow(), 0);
    page.MarkPlaying(1);
    EXPECT_EQ(List().ItemImage(0), CLantorListPage::kImageLiked);
    EXPECT_EQ(List().ItemImage(1), CLantorListPage::kImagePlaying);
    page.MarkPlaying(0);
    EXPECT_EQ(List().ItemImage(1), CLantorListPage::kImageNotLiked);
    EXPECT_EQ(List().ItemImage(0), CLantorListPage::kImagePlaying);
    // A song with no row: the old mark goes, nothing else changes.
    page.MarkPlaying(7);
    EXPECT_EQ(List().ItemImage(0), CLantorListPage::kImageLiked);
    EXPECT_EQ(page.PlayingRow(), -1);
}

TEST_F(SongPageTest, SongsArrivingWhileTheChannelPageShowsAppearOnRebuild) {
    Arrive("a");
    showingSongs = false; // the channel page is shown: no rows for the new songs
    Arrive("b", 1);
    Arrive("c");
    showingSongs = true;
    EXPECT_EQ(List().ItemCount(), 1);
    page.MarkPlaying(0);
    page.Rebuild();
    ASSERT_EQ(List().ItemCount(), 3);
    EXPECT_EQ(List().ItemText(2, 0), "003");
    EXPECT_EQ(List().ItemText(1, 1), "b");
    EXPECT_EQ(List().ItemImage(1), CLantorListPage::kImageLiked);
    // The playing mark went with the old rows; the main window marks again after a rebuild.
    EXPECT_EQ(page.PlayingRow(), -1);
    EXPECT_EQ(List().ItemImage(0), CLantorListPage::kImageNotLiked);
    page.MarkPlaying(0);
    EXPECT_EQ(List().ItemImage(0), CLantorListPage::kImagePlaying);
    // A late notice for a song the rebuild already listed adds no second row.
    page.AddSong(2, "c", "", "", false);
    EXPECT_EQ(List().ItemCount(), 3);
}

TEST_F(SongPageTest, AfterAChannelSwitchNumberingStartsAgain) {
    Arrive("old 1");
    Arrive("old 2");
    songs.Clear(); // the switch empties the queue; the page is rebuilt on return
    page.Rebuild();
    EXPECT_EQ(List().ItemCount(), 0);
    Arrive("new 1");
    ASSERT_EQ(List().ItemCount(), 1);
    EXPECT_EQ(List().ItemText(0, 0), "001");
    EXPECT_EQ(List().ItemText(0, 1), "new 1");
    page.MarkPlaying(0);
    EXPECT_EQ(List().ItemImage(0), CLantorListPage::kImagePlaying);
}

TEST_F(SongPageTest, ALongListIsAddedInBatchesAndKeepsItsPlayingMark) {
    std::vector<std::string> replies;
    for (int i = 0; i < 250; ++i)
        replies.push_back(SongJson({"s" + std::to_string(i)}));
    ASSERT_TRUE(songs.AppendFromReply(PlaylistJson(replies)));
    page.Rebuild();
    page.MarkPlaying(200);
    EXPECT_EQ(List().ItemCount(), CLantorListPage::kRowsPerTurn);
    ASSERT_TRUE(PumpUntil([&] { return List().ItemCount() == 250; }, 10000));
    EXPECT_EQ(page.PlayingRow(), 200);
    EXPECT_EQ(List().ItemText(249, 1), "ts249");
}

TEST_F(SongPageTest, DoubleClickPlaysTheSelectedSong) {
    Arrive("a");
    Arrive("b");
    page.OnListDoubleClick(); // nothing selected: nothing happens
    EXPECT_TRUE(owner.calls.empty());
    List().SelectRow(1);
    page.OnListDoubleClick();
    EXPECT_EQ(owner.calls, std::vector<std::string>{"play 1"});

    // Through the mouse, on the first row.
    page.resize(400, 200);
    page.show();
    List().clearSelection();
    const QPoint at = List().visualRect(List().model()->index(0, 1)).center();
    QWidget* viewport = List().viewport();
    const QPointF global = viewport->mapToGlobal(QPointF(at));
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const bool down = type != QEvent::MouseButtonRelease;
        QMouseEvent event(type, QPointF(at), global, Qt::LeftButton,
                          down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }
    EXPECT_EQ(owner.calls, (std::vector<std::string>{"play 1", "play 0"}));
}

TEST_F(SongPageTest, DislikedSongsAreGreyedWhereverTheyAreListed) {
    Arrive("a");
    Arrive("b");
    Arrive("a"); // the service may send a song again
    const struct {
        const char* name;
        std::function<void()> action;
        std::vector<bool> enabled; // by row
    } stages[] = {
        {"dislike a", [&] { page.MarkDisliked("sa"); }, {false, true, false}},
        {"rebuilt", [&] { page.Rebuild(); }, {false, true, false}},
        {"arrivals",
         [&] {
             Arrive("a");
             Arrive("c");
         },
         {false, true, false, false, true}},
        {"dislike c", [&] { page.MarkDisliked("sc"); }, {false, true, false, false, false}},
    };
    for (const auto& stage : stages) {
        stage.action();
        std::vector<bool> enabled;
        for (int row = 0; row < List().ItemCount(); ++row)
            enabled.push_back(List().IsRowEnabled(row));
        EXPECT_EQ(enabled, stage.enabled) << stage.name;
    }
}

// A page that counts its initialisations.
struct CountingPage : CSheetPage {
    void OnInitDialog() override { ++inits; }
    int inits = 0;
};

TEST(CMusicListSheet, ShowsOnePageFillingTheSheet) {
    QWidget window;
    window.resize(471, 400);
    FakeListOwner owner;
    SongList songs;
    auto* sheet = new CMusicListSheet;
    auto* songPage = new CLantorListPage(owner, songs);
    auto* other = new CountingPage;
    sheet->AddPage(songPage);
    sheet->AddPage(other);
    EXPECT_FALSE(sheet->IsCreated());
    sheet->Create(&window, QRect(0, 160, 471, 240));
    window.show();
    EXPECT_TRUE(sheet->IsCreated());
    EXPECT_EQ(sheet->parentWidget(), &window);
    EXPECT_EQ(sheet->geometry(), QRect(0, 160, 471, 240));
    EXPECT_EQ(sheet->ActivePageIndex(), 0);
    EXPECT_TRUE(songPage->isVisible());
    EXPECT_FALSE(other->isVisible());
    EXPECT_EQ(songPage->geometry(), QRect(0, 0, 471, 240));
    EXPECT_EQ(songPage->List()->geometry(), QRect(0, 0, 471, 240));
    EXPECT_EQ(other->inits, 0); // not shown yet

    ASSERT_TRUE(sheet->SetActivePage(1));
    EXPECT_EQ(other->inits, 1);
    EXPECT_TRUE(other->isVisible());
    EXPECT_FALSE(songPage->isVisible());
    EXPECT_EQ(other->geometry(), QRect(0, 0, 471, 240));
    sheet->SetActivePage(0);
    sheet->SetActivePage(1);
    EXPECT_EQ(other->inits, 1);
    EXPECT_FALSE(sheet->SetActivePage(2));
    EXPECT_EQ(sheet->ActivePageIndex(), 1);

    // Resizing the sheet keeps both pages and the list filling it.
    sheet->resize(300, 100);
    EXPECT_EQ(other->geometry(), QRect(0, 0, 300, 100));
    EXPECT_EQ(songPage->geometry(), QRect(0, 0, 300, 100));
    // A hidden page lays its list out when it is shown again.
    sheet->SetActivePage(0);
    EXPECT_EQ(songPage->List()->geometry(), QRect(0, 0, 300, 100));
}

TEST(CMusicListSheet, StartPageChosenBeforeCreation) {
    QWidget window;
    auto* sheet = new CMusicListSheet;
    auto* first = new CountingPage;
    auto* second = new CountingPage;
    sheet->AddPage(first);
    sheet->AddPage(second);
    sheet->SetStartPage(1);
    sheet->Create(&window, QRect(0, 0, 100, 100));
    EXPECT_EQ(sheet->ActivePageIndex(), 1);
    EXPECT_EQ(first->inits, 0);
    EXPECT_EQ(second->inits, 1);
}

} // namespace
