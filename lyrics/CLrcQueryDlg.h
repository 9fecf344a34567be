#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;
class ReportListView;

// The lyrics search form: singer and song boxes, a search button and a result list. It is a
// passive form: nothing searches yet, "下载" ends it with 1 and "取消" with 2.
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

    explicit CLrcQueryDlg(QWidget* owner = nullptr);

    QLineEdit* SingerEdit() const { return singer; }
    QLineEdit* SongEdit() const { return song; }
    QPushButton* SearchButton() const { return search; }
    QPushButton* DownloadButton() const { return download; }
    QPushButton* CancelButton() const { return cancel; }
    ReportListView* Results() const { return results; }

    // Esc and the close box end it like "取消".
    void reject() override { done(kCancel); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QLineEdit* singer;
    QLineEdit* song;
    QPushButton* search;
    ReportListView* results;
    QPushButton* download;
    QPushButton* cancel;
    bool centred = false;
};
