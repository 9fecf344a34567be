#include "controls/CChannelPage.h"
#include "controls/CLantorListPage.h"
#include "controls/CMusicListSheet.h"
#include "controls/ReportListView.h"
#include "service/SongList.h"
#include "tests/support/FakeListOwner.h"
#include "tests/support/PlaylistJson.h"
#include "tests/support/TempDir.h"
#include "tests/support/qt/PumpUntil.h"
#include "tools/LoopbackServer.h"

#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>
#include <atomic>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// Rows follow the list, not the seq_ids: the unnamed channel gets no row, so the seq_ids of the
// ones after it are one ahead of their rows.
const char* kChannels = R"({"channels":[
  {"name":"华语","seq_id":0,"channel_id":1},
  {"name":"","seq_id":1,"channel_id":7},
  {"name":"Rock","seq_id":2,"channel_id":10},
  {"name":"Jazz","seq_id":3,"channel_id":2},
  {"name":"Jazz again","seq_id":4,"channel_id":2},
  {"name":5,"seq_id":5,"channel_id":5}
]})";

class ChannelPageTest : public ::testing::Test {
protected:
    // The replies in turn, the last one again and again.
    explicit ChannelPageTest(std::vector<std::string> replies = {kChannels}) : dir(true) {
        server = std::make_unique<LoopbackServer>([this, replies](LoopbackServer& s) {
            s.Get("/j/app/radio/channels",
                  [this, replies, &s](const httplib::Request&, httplib::Response& res) {
                      s.Sleep(std::chrono::milliseconds(delayMs.load()));
                      const std::size_t n = served++;
                      res.set_content(replies[std::min(n, replies.size() - 1)], "application/json");
                  });
        });
        owner.base = server->Base();
        page = new CChannelPage(owner);
        sheet.AddPage(new CSheetPage);
        sheet.AddPage(page);
        sheet.Create(&window, QRect(0, 160, 471, 240));
    }
    ReportListView& List() { return *page->List(); }
    // Shows the page and waits for its request to end.
    void Show() {
        sheet.SetActivePage(1);
        EXPECT_TRUE(PumpUntil([&] { return !page->Fetching(); }));
    }

    std::atomic<int> delayMs{0};
    std::atomic<std::size_t> served{0};
    TempDir dir;
    std::unique_ptr<LoopbackServer> server;
    FakeListOwner owner;
    QWidget window;
    CMusicListSheet sheet;
    CChannelPage* page;
};

TEST_F(ChannelPageTest, FetchesOnceWhenFirstShown) {
    EXPECT_EQ(server->RequestCount(), 0u);
    Show();
    EXPECT_EQ(server->RequestCount(), 1u);
    EXPECT_EQ(server->LastRequest().target, "/j/app/radio/channels");
    sheet.SetActivePage(0);
    sheet.SetActivePage(1);
    EXPECT_EQ(server->RequestCount(), 1u);
    EXPECT_EQ(page->Channels().Count(), 5); // the element with a number for a name is skipped
}

TEST_F(ChannelPageTest, RowsShowTheChannelIdAndName) {
    Show();
    ASSERT_EQ(List().columnCount(), 2);
    EXPECT_EQ(List().horizontalHeaderItem(0)->text(), QString::fromUtf8("序号"));
    EXPECT_EQ(List().columnWidth(0), 42);
    EXPECT_TRUE(List().horizontalHeaderItem(0)->textAlignment() & Qt::AlignRight);
    EXPECT_EQ(List().horizontalHeaderItem(1)->text(), QString::fromUtf8("频道"));
    EXPECT_EQ(List().columnWidth(1), 405);
    EXPECT_EQ(List().iconSize(), QSize(40, 40));

    ASSERT_EQ(List().ItemCount(), 4);
    const char* numbers[] = {"001", "010", "002", "002"};
    const char* names[] = {"华语", "Rock", "Jazz", "Jazz again"};
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(List().ItemText(row, 0), numbers[row]);
        EXPECT_EQ(List().ItemText(row, 1), QString::fromUtf8(names[row]));
        EXPECT_EQ(List().ItemImage(row), CChannelPage::kImageOther);
        EXPECT_TRUE(List().item(row, 0)->textAlignment() & Qt::AlignRight);
    }
    EXPECT_EQ(page->MarkedRow(), -1);
}

TEST_F(ChannelPageTest, MarkChannelMovesTheMarkAndIgnoresUnknownIds) {
    Show();
    page->MarkChannel(10);
    EXPECT_EQ(page->MarkedRow(), 1);
    EXPECT_EQ(List().ItemImage(1), CChannelPage::kImageCurrent);
    page->MarkChannel(2); // the first channel with the id
    EXPECT_EQ(page->MarkedRow(), 2);
    EXPECT_EQ(List().ItemImage(1), CChannelPage::kImageOther);
    EXPECT_EQ(List().ItemImage(2), CChannelPage::kImageCurrent);
    EXPECT_EQ(List().item(2, 1)->data(Qt::AccessibleDescriptionRole), QStringLiteral("当前频道"));
    EXPECT_EQ(List().item(1, 1)->data(Qt::AccessibleDescriptionRole), QString());
    for (int unknown : {555, 7, -1}) { // 7 has no name, so no row
        page->MarkChannel(unknown);
        EXPECT_EQ(page->MarkedRow(), 2);
        EXPECT_EQ(List().ItemImage(2), CChannelPage::kImageCurrent);
        EXPECT_EQ(List().ItemImage(0), CChannelPage::kImageOther);
    }
}

TEST_F(ChannelPageTest, ChannelNameIsTheLastWithTheId) {
    Show();
    EXPECT_EQ(page->ChannelName(2).value_or("none"), "Jazz again");
    EXPECT_EQ(page->ChannelName(1).value_or("none"), "\xBB\xAA\xD3\xEF"); // GBK 华语
    EXPECT_FALSE(page->ChannelName(7).has_value());
    EXPECT_FALSE(page->ChannelName(999).has_value());
}

TEST_F(ChannelPageTest, DoubleClickSwitchesThenShowsTheSongs) {
    Show();
    page->OnListDoubleClick();
    EXPECT_TRUE(owner.calls.empty());
    List().SelectRow(1);
    page->OnListDoubleClick();
    EXPECT_EQ(owner.calls, (std::vector<std::string>{"switch 10 Rock", "show 0"}));
    EXPECT_EQ(page->MarkedRow(), 1);
    EXPECT_EQ(List().ItemImage(1), CChannelPage::kImageCurrent);
}

// Press, release, double-click and release on the row, all with one button.
void DoubleClickRow(ReportListView& list, int row, Qt::MouseButton button) {
    const QPoint at = list.visualRect(list.model()->index(row, 1)).center();
    QWidget* viewport = list.viewport();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
        const bool down = type != QEvent::MouseButtonRelease;
        QMouseEvent event(type, QPointF(at), viewport->mapToGlobal(QPointF(at)), button,
                          down ? button : Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }
}

TEST_F(ChannelPageTest, OnlyALeftDoubleClickOrEnterOrSpaceActsOnEitherPage) {
    SongList songs;
    ASSERT_TRUE(songs.AppendFromReply(PlaylistJson({SongJson({"1"}), SongJson({"2"})}), nullptr));
    CLantorListPage songPage(owner, songs);
    songPage.Rebuild();
    songPage.resize(471, 226);
    songPage.show();
    window.resize(471, 400);
    window.show();
    Show();
    const struct {
        ReportListView* list;
        Qt::MouseButton button;
        std::vector<std::string> calls;
        int key = 0; // pressed on row 1 instead of the double-click
    } cases[] = {
        {songPage.List(), Qt::RightButton, {}},
        {songPage.List(), Qt::MiddleButton, {}},
        {songPage.List(), Qt::LeftButton, {"play 1"}},
        {songPage.List(), Qt::NoButton, {"play 1"}, Qt::Key_Space},
        {songPage.List(), Qt::NoButton, {"play 1"}, Qt::Key_Return},
        {songPage.List(), Qt::NoButton, {}, Qt::Key_A},
        {page->List(), Qt::RightButton, {}},
        {page->List(), Qt::MiddleButton, {}},
        {page->List(), Qt::LeftButton, {"switch 10 Rock", "show 0"}},
        {page->List(), Qt::NoButton, {"switch 10 Rock", "show 0"}, Qt::Key_Enter},
    };
    for (const auto& c : cases) {
        owner.calls.clear();
        c.list->setCurrentIndex(c.list->model()->index(1, 1)); // where keys act
        c.list->clearSelection();
        QKeyEvent press(QEvent::KeyPress, c.key, Qt::NoModifier);
        if (c.key != 0)
            QApplication::sendEvent(c.list, &press);
        else
            DoubleClickRow(*c.list, 1, c.button);
        EXPECT_EQ(owner.calls, c.calls)
            << (c.list == page->List() ? "channels " : "songs ") << c.button;
    }
    EXPECT_EQ(page->MarkedRow(), 1); // marked by the left double-click alone
}

TEST_F(ChannelPageTest, PaintsItsBackgroundLightGrey) {
    QImage image(page->size(), QImage::Format_RGB32);
    image.fill(Qt::black);
    page->render(&image); // before the first showing the page holds no list yet
    EXPECT_EQ(image.pixel(0, 0), qRgb(0xF5, 0xF5, 0xF5));
    EXPECT_EQ(image.pixel(image.width() - 1, image.height() - 1), qRgb(0xF5, 0xF5, 0xF5));
}

TEST_F(ChannelPageTest, RowsAppearWhenALateReplyArrivesAndTheWindowWaitsForNone) {
    delayMs = 600;
    sheet.SetActivePage(1);
    page->MarkChannel(10); // before the rows are there
    EXPECT_EQ(List().ItemCount(), 0);
    EXPECT_TRUE(page->Fetching());
    sheet.SetActivePage(0);
    sheet.SetActivePage(1); // a showing while the request runs asks nothing more
    ASSERT_TRUE(PumpUntil([&] { return List().ItemCount() == 4; }));
    EXPECT_EQ(server->RequestCount(), 1u);
    EXPECT_EQ(page->MarkedRow(), 1);
    EXPECT_EQ(List().ItemImage(1), CChannelPage::kImageCurrent);
}

class BrokenServiceTest : public ChannelPageTest {
protected:
    BrokenServiceTest() : ChannelPageTest({"<html>busy</html>", kChannels}) {}
};

TEST_F(BrokenServiceTest, AFailedRequestLeavesThePageEmptyUntilItIsShownAgain) {
    Show();
    EXPECT_EQ(server->RequestCount(), 1u);
    EXPECT_EQ(List().ItemCount(), 0);
    page->MarkChannel(1);
    EXPECT_EQ(page->MarkedRow(), -1);
    List().SelectRow(0);
    page->OnListDoubleClick();
    EXPECT_TRUE(owner.calls.empty());

    sheet.SetActivePage(0);
    Show();
    EXPECT_EQ(server->RequestCount(), 2u);
    EXPECT_EQ(List().ItemCount(), 4);
    EXPECT_EQ(page->MarkedRow(), 0); // the channel asked for before
}

} // namespace
