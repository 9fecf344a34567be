#include "controls/ReportListView.h"
#include "lyrics/CLrcQueryDlg.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

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
    const char* titles[] = {"歌曲", "演唱", "专辑"};
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
    } cases[] = {{"download", 1}, {"cancel", 2}, {"escape", 2}, {"search", 2}};
    for (const auto& c : cases) {
        CLrcQueryDlg dlg;
        QTimer::singleShot(0, &dlg, [&dlg, &c] {
            const std::string what = c.what;
            if (what == "download") {
                dlg.DownloadButton()->click();
            } else if (what == "cancel") {
                dlg.CancelButton()->click();
            } else if (what == "escape") {
                QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(&dlg, &esc);
            } else {
                dlg.SearchButton()->click(); // does nothing: the dialog stays open
                EXPECT_TRUE(dlg.isVisible());
                dlg.reject();
            }
        });
        EXPECT_EQ(dlg.exec(), c.result) << c.what;
    }
}

} // namespace
