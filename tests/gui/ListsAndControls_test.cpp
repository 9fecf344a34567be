// The controls and list pages from the keyboard, to assistive tools, with texts like markup.
#include "controls/CBitmapButton.h"
#include "controls/CChannelPage.h"
#include "controls/CCustomSliderCtrl.h"
#include "controls/CLantorListPage.h"
#include "controls/CMusicListSheet.h"
#include "controls/FocusMark.h"
#include "controls/PlainText.h"
#include "controls/ReportListView.h"
#include "lyrics/CLrcQueryDlg.h"
#include "platform/RecordingTarget.h"
#include "service/SongList.h"
#include "session/FolderSettings.h"
#include "tests/support/FakeListOwner.h"
#include "tests/support/TempDir.h"
#include "tests/support/qt/AccessibleTree.h"
#include "tests/support/qt/PumpUntil.h"
#include "tools/LoopbackServer.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

// Two buttons, a slider and the list sheet with the songs (and channels) of the given titles;
// "a" is liked. The sheet comes last in Tab order.
class ControlsTest : public ::testing::Test {
protected:
    void List(const std::vector<std::string>& titles) {
        std::string songs, channels;
        for (const std::string& t : titles) {
            songs += R"({"title":")" + t + R"(","artist":")" + t + R"(","albumtitle":")" + t +
                     R"(","sid":")" + t + R"(","rating_avg":5,"like":)" +
                     (t == "a" ? "1}," : "0},");
            channels += R"({"name":")" + t + R"(","channel_id":1},)";
        }
        queue.AppendFromReply(R"({"song":[)" + songs + "{}]}", nullptr);
        server.Get("/j/app/radio/channels", [channels](const auto&, auto& res) {
            res.set_content(R"({"channels":[)" + channels + "{}]}", "application/json");
        });
        like->setToolTip(QStringLiteral("喜欢"));
        like->SetKeyShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
        volume->setAccessibleName(QStringLiteral("音量"));
        volume->SetNotifyTarget(&target, 1009);
        sheet->AddPage(page);
        sheet->Create(&window, QRect(0, 30, 471, 200));
        page->Rebuild();
    }
    // Declared before the window: closing it moves the focus, and a slider reports to target.
    FakeListOwner owner;
    SongList queue;
    RecordingTarget target;
    LoopbackServer server;
    QWidget window;
    CBitmapButton* like = new CBitmapButton(1011, &window);
    CCustomSliderCtrl* volume = new CCustomSliderCtrl(205, 207, 206, 208, 209, &window);
    CBitmapButton* channel = new CBitmapButton(1019, &window);
    CMusicListSheet* sheet = new CMusicListSheet;
    CLantorListPage* page = new CLantorListPage(owner, queue);
};

TEST_F(ControlsTest, AssistiveToolsReadNamesRolesValuesAndRowStates) {
    List({"a", "b", "c"});
    page->MarkPlaying(1);
    page->MarkDisliked("c");
    channel->setToolTip(QStringLiteral("<b>华语</b>")); // a channel name: a name, not markup
    volume->SetPos(30);
    const auto tree = AccessibleTree(&window);
    for (const char* line :
         {"Button 喜欢 [喜欢 (Ctrl+D)]", "Button <b>华语</b> [<b>华语</b>]", "Slider 音量 =30",
          "Table 歌曲列表 =歌曲列表", "Cell a [喜欢]", "Cell b [正在播放]", "Cell c [不喜欢]"})
        EXPECT_EQ(tree.count(line), 1u) << line;
    volume->SetValueText(QStringLiteral("1:23"));
    EXPECT_EQ(AccessibleTree(volume).count("Slider 音量 =1:23"), 1u);
    // Set by the tool: applied as the listener's own choice, within the range.
    QAccessible::queryAccessibleInterface(volume)->valueInterface()->setCurrentValue(130);
    EXPECT_TRUE(target.Messages().size() == 1 && target.Messages()[0].lParam == 100);
    page->MarkPlaying(0); // the liked song plays: both states; b is just b again
    EXPECT_EQ(AccessibleTree(&window).count("Cell a [喜欢, 正在播放]"), 1u);
    EXPECT_EQ(AccessibleTree(&window).count("Cell b"), 1u);
    EXPECT_TRUE(page->List()->CellToolTip(1, 1).isEmpty()); // "b" fits: no tooltip
    // Long texts are cut between characters.
    const QString accented = QStringLiteral("ae\u0301b"), pair = QStringLiteral("a\U0001F600b");
    for (const QString& text : {QStringLiteral("abcd"), accented, pair})
        EXPECT_EQ(PlainText::Cut(text, 3), text == "abcd" ? "ab…" : "a…");
    EXPECT_EQ(PlainText::WindowTitle("a [*] b"), "a [*][*] b");
    // A speaker that mutes: a toggle showing its state.
    like->SetImageList(CBitmapButton::SpeakerImages(QImage(5, 5, QImage::Format_RGB32)));
    like->setCheckable(true);
    like->SetCheckedImage(1);
    like->click();
    EXPECT_EQ(like->CurrentImage(), 1);
    EXPECT_TRUE(QAccessible::queryAccessibleInterface(like)->state().checked);
}

TEST_F(ControlsTest, TabStopsOnceAtEachControlWhichShowsTheFocusMark) {
    List({"a", "b"});
    window.show();
    QApplication::setActiveWindow(&window);
    like->setFocus(Qt::TabFocusReason);
    std::vector<QWidget*> stops;
    for (QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier); stops.size() < 4;
         stops.push_back(QApplication::focusWidget()))
        QApplication::sendEvent(QApplication::focusWidget(), &tab);
    EXPECT_EQ(stops, (std::vector<QWidget*>{volume, channel, page->List(), like}));
    // The mark shows with the focus from the keyboard, not from a click, not without it.
    auto marked = [](QWidget* w) {
        return w->grab().toImage().pixel(0, 0) == (0xFF000000 | FocusMark::kColour);
    };
    EXPECT_TRUE(marked(like) && !marked(channel) && !marked(volume));
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(50, 12), QPointF(50, 12), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(volume, &click);
    EXPECT_TRUE(QApplication::focusWidget() == volume && !marked(volume) && !marked(like));
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(volume, &right);
    EXPECT_TRUE(marked(volume));
    // Enter clicks a focused button and goes no further.
    QObject::connect(channel, &QAbstractButton::clicked, [&] { volume->SetPos(7); });
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(channel, &enter);
    EXPECT_TRUE(enter.isAccepted() && volume->Pos() == 7);
}

TEST_F(ControlsTest, NoWidgetOfTheListsOrTheLyricsSearchRendersMarkup) {
    TempDir dir(true);
    dir.MakeCacheFolders();
    // Long enough to be cut in every cell, so that every cell has a tooltip.
    const std::string m =
        "<b>MARK</b><img src='file:///dev/zero'><a href='x'>a</a> &amp; " + std::string(60, 'z');
    List({m});
    const std::string item = "<li><div class='slmc'><a>" + m + "</a></div><div class='acll'><a>" +
                             m + "</a></div><div class='slczt'><a href='/1.lrc'>DL</a></div></li>";
    server.Post("/so.asp", [item](const auto&, auto& res) { res.set_content(item, "text/html"); });
    server.Get(".*", [m](const auto&, auto& res) { res.set_content("[00:01]" + m, "text/plain"); });
    server.Start();
    const std::string base = server.Base();
    dir.WriteFile("config.ini", "[Server]\r\nlyrics1=" + base + "\r\nlyrics2=" + base + "\r\n");
    owner.base = base;
    FolderSettings sites;
    channel->setToolTip(QString::fromStdString(m)); // as the window shows a channel name
    auto* channels = new CChannelPage(owner);
    sheet->AddPage(channels);
    window.show();
    sheet->SetActivePage(1);
    ASSERT_TRUE(PumpUntil([&] { return channels->List()->ItemCount() == 1; }));
    const auto song = [&] { return CLrcQueryDlg::Song{m, m, "A", 0}; };
    CLrcQueryDlg form(nullptr, song, {}, &sites);
    form.SearchButton()->click();
    ASSERT_TRUE(PumpUntil([&] { return form.Results()->ItemCount() == 1; }));
    form.Results()->SelectRow(0);
    form.DownloadButton()->click();
    ASSERT_TRUE(PumpUntil([&] { return !form.Busy(); }));

    // Every text with the mark shows its markup as typed: escaped where Qt reads markup.
    int marked = 0;
    auto check = [&](const QString& t, const char* where, Qt::TextFormat format = Qt::AutoText) {
        const bool rich = format != Qt::PlainText && Qt::mightBeRichText(t);
        marked += t.contains(QStringLiteral("MARK"));
        EXPECT_TRUE(!t.contains(QStringLiteral("MARK")) ||
                    (rich ? t.contains("&lt;b&gt;MARK&lt;/b&gt;&lt;img") && !t.contains("<img")
                          : t.contains("<b>MARK</b><img")))
            << where;
    };
    for (QWidget* w : window.findChildren<QWidget*>() + form.findChildren<QWidget*>()) {
        check(w->toolTip(), w->metaObject()->className());
        if (auto* label = qobject_cast<QLabel*>(w))
            check(label->text(), "label", label->textFormat());
        auto* list = qobject_cast<ReportListView*>(w); // tooltips as shown, without showing them
        for (int r = 0; list && r < list->ItemCount(); ++r)
            for (int c = 0; c < list->columnCount(); ++c)
                check(list->CellToolTip(r, c), "cell");
    }
    EXPECT_GE(marked, 9); // the button, the status line, and the titles' cells
}

} // namespace
