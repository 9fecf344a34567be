#include "lyrics/CLrcQueryDlg.h"
#include "lyrics/CLrcWindow.h"
#include "tests/support/TempDir.h"
#include "tests/support/qt/AccessibleTree.h"

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <gtest/gtest.h>
#include <set>

namespace {

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kCurrent = qRgb(60, 210, 250);
const QRgb kOther = qRgb(30, 100, 130);

// GBK lines: 歌词一 at 1 s, 歌词二 at 3 s, 歌词三 at 5 s.
const char* kLrc = "[ti:Song]\n[00:01.00]\xB8\xE8\xB4\xCA\xD2\xBB\n"
                   "[00:03.00]\xB8\xE8\xB4\xCA\xB6\xFE\n[00:05.00]\xB8\xE8\xB4\xCA\xC8\xFD\n";

QImage Render(CLrcWindow& window) {
    QImage image(CLrcWindow::kWidth, CLrcWindow::kHeight, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    window.render(&image);
    return image;
}

// The colours found in rows [top, bottom) of the image.
std::set<QRgb> Colours(const QImage& image, int top, int bottom) {
    std::set<QRgb> found;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < image.width(); ++x)
            found.insert(image.pixel(x, y));
    return found;
}

// The strip as it should look: each given line drawn at x 5 from the top of its row.
QImage Expected(const QFont& font, const char* prev, const char* cur, const char* next) {
    QImage image(CLrcWindow::kWidth, CLrcWindow::kHeight, QImage::Format_RGB32);
    image.fill(Qt::black);
    QPainter p(&image);
    p.setFont(font);
    const char* texts[] = {prev, cur, next};
    for (int i = 0; i < 3; ++i) {
        p.setPen(i == 1 ? QColor(kCurrent) : QColor(kOther));
        p.drawText(QRect(5, 18 * i, 400, 18), Qt::AlignLeft | Qt::AlignTop | Qt::TextDontClip,
                   QString::fromUtf8(texts[i]));
    }
    return image;
}

TEST(CLrcWindow, BlackWithoutLyricsAndBeforeTheFirstLine) {
    CLrcWindow window;
    EXPECT_EQ(window.size(), QSize(320, 50));
    EXPECT_EQ(Colours(Render(window), 0, 50), std::set<QRgb>{kBlack});
    window.Timeline().SetLrcText(kLrc);
    window.ParseLrc();
    ASSERT_TRUE(window.Timeline().IsLoaded());
    window.SetPlayTime(0);
    window.SetPlayTime(2); // no line starts here
    EXPECT_EQ(Colours(Render(window), 0, 50), std::set<QRgb>{kBlack});
}

TEST(CLrcWindow, LinesSitOnTheirRowsInTheirColours) {
    CLrcWindow window;
    window.Timeline().SetLrcText(kLrc);
    window.ParseLrc();
    const QFont& font = window.LrcFont();

    window.SetPlayTime(1); // first line: the top row stays empty
    QImage image = Render(window);
    EXPECT_EQ(Colours(image, 0, 18), std::set<QRgb>{kBlack});
    EXPECT_EQ(Colours(image, 18, 36), (std::set<QRgb>{kBlack, kCurrent}));
    EXPECT_EQ(Colours(image, 36, 50), (std::set<QRgb>{kBlack, kOther}));
    EXPECT_EQ(image, Expected(font, "", "歌词一", "歌词二"));

    window.SetPlayTime(3);
    image = Render(window);
    EXPECT_EQ(Colours(image, 0, 18), (std::set<QRgb>{kBlack, kOther}));
    EXPECT_EQ(image, Expected(font, "歌词一", "歌词二", "歌词三"));
    EXPECT_EQ(AccessibleTree(&window), std::set<std::string>{"StaticText 歌词二 [歌词]"});
    // Text starts at x 5.
    for (int y = 0; y < 50; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(image.pixel(x, y), kBlack) << x << "," << y;

    window.SetPlayTime(5); // last line: the bottom row stays empty
    image = Render(window);
    EXPECT_EQ(Colours(image, 36, 50), std::set<QRgb>{kBlack});
    EXPECT_EQ(image, Expected(font, "歌词二", "歌词三", ""));

    window.ClearLrc();
    EXPECT_EQ(Colours(Render(window), 0, 50), std::set<QRgb>{kBlack});
}

TEST(CLrcWindow, LoadsTheCacheFileOfTheSong) {
    TempDir dir(true);
    dir.MakeCacheFolders();
    dir.WriteFile("Temp/Lyrics/42.lrc", "[00:01.00]one\r\n[00:02.00]two\r\n");
    CLrcWindow window;
    EXPECT_FALSE(window.LoadLrcFile("missing"));
    ASSERT_TRUE(window.LoadLrcFile("42"));
    window.ParseLrc();
    window.SetPlayTime(2);
    EXPECT_EQ(window.Timeline().CurLineText(), "two");
    EXPECT_EQ(Render(window), Expected(window.LrcFont(), "one", "two", ""));
}

// A parent that counts the mouse presses reaching it.
struct Parent : QWidget {
    void mousePressEvent(QMouseEvent* event) override {
        ++presses;
        event->accept();
    }
    int presses = 0;
};

TEST(CLrcWindow, RightButtonPressesAreSwallowed) {
    Parent parent;
    auto* window = new CLrcWindow(&parent);
    for (Qt::MouseButton button : {Qt::RightButton, Qt::LeftButton}) {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10),
                          window->mapToGlobal(QPointF(10, 10)), button, button, Qt::NoModifier);
        QApplication::sendEvent(window, &press);
    }
    EXPECT_EQ(parent.presses, 1); // only the left press went on
}

TEST(CLrcWindow, Command32796OpensOneModelessSearchFormOverTheActiveWindow) {
    QWidget top;
    top.show();
    QApplication::setActiveWindow(&top);
    ASSERT_EQ(QApplication::activeWindow(), &top);
    CLrcWindow window;
    EXPECT_TRUE(window.OnCommand(CLrcWindow::kQueryCommand));
    QPointer<CLrcQueryDlg> dlg = window.QueryDialog();
    ASSERT_NE(dlg, nullptr);
    EXPECT_FALSE(dlg->isModal());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->parentWidget(), &top); // the window active when the command came
    // One at a time: the command again brings the same form forward.
    EXPECT_TRUE(window.OnCommand(CLrcWindow::kQueryCommand));
    EXPECT_EQ(window.QueryDialog(), dlg);
    EXPECT_EQ(top.findChildren<CLrcQueryDlg*>().size(), 1);
    // Closed, it goes; the next command opens a new one.
    dlg->CancelButton()->click();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(dlg, nullptr);
    EXPECT_EQ(window.QueryDialog(), nullptr);
    EXPECT_FALSE(window.OnCommand(32795));
}

} // namespace
