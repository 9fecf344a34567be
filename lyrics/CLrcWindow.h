#pragma once
#include "lyrics/CLrcQueryDlg.h"
#include "lyrics/LrcTimeline.h"

#include <QColor>
#include <QFont>
#include <QPointer>
#include <QWidget>
#include <string>
#include <string_view>

// The strip of three synchronised lyric lines: previous, current (highlighted) and next. It
// owns the lyrics of the playing song and repaints at once whenever they change. Right-button
// presses are swallowed; command 32796 opens the lyrics search form, one at a time. Assistive
// tools read it as a label showing the current line.
class CLrcWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kQueryCommand = 32796;
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 50;
    static constexpr int kTextLeft = 5;
    static constexpr int kLinePitch = 18;

    explicit CLrcWindow(QWidget* parent = nullptr);

    // The timeline's operations; each change repaints the strip synchronously.
    bool LoadLrcFile(std::string_view sid, const WorkFolder& work = WorkFolder());
    void ParseLrc();
    void ClearLrc();
    void SetPlayTime(int seconds);
    const LrcTimeline& Timeline() const { return timeline; }
    LrcTimeline& Timeline() { return timeline; }

    // A menu command sent to the window; true when handled. 32796 opens CLrcQueryDlg, modeless,
    // over the active window, or brings the open one forward.
    bool OnCommand(int id);
    // Where the search form learns the playing song (and its play time).
    void SetSongSource(CLrcQueryDlg::SongSource source) { songSource = std::move(source); }
    // Where the search form finds the lyrics sites; outlives this window.
    void SetSites(SessionSettings* settings) { sites = settings; }
    CLrcQueryDlg* QueryDialog() const { return queryDlg; }
    // Lyrics of sid were stored by the search form: shown at once at the current play time if
    // sid still plays.
    void OnLyricsStored(const std::string& sid);

    const QFont& LrcFont() const { return lrcFont; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    const QColor bkColor{0, 0, 0};
    const QColor curColor{60, 210, 250};
    const QColor otherColor{30, 100, 130};
    QFont lrcFont;
    LrcTimeline timeline;
    CLrcQueryDlg::SongSource songSource;
    SessionSettings* sites = nullptr;
    QPointer<CLrcQueryDlg> queryDlg;
};
