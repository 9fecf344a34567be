#pragma once
#include "controls/CSheetPage.h"
#include "controls/LayoutMgr.h"

#include <QTimer>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <string_view>

class IListOwner;
class SongList;
class ReportListView;

// Page 0 of the list sheet: the songs of the current channel's queue, one row per song, the
// playing one marked with the play image, disliked ones greyed. A double-click plays the song.
// Assistive tools read each row's liked, playing and disliked state as its description.
class CLantorListPage : public CSheetPage {
    Q_OBJECT
public:
    static constexpr int kListId = 1007;
    static constexpr int kBitmapId = 204;
    static constexpr int kImageSize = 24;
    enum Image { kImageNotLiked = 0, kImageLiked = 1, kImagePlaying = 2 };

    CLantorListPage(IListOwner& owner, SongList& songs, QWidget* parent = nullptr);

    // At most this many rows are added per turn of the event loop; the rest follow in later
    // turns, so that a long list never holds up the window.
    static constexpr int kRowsPerTurn = 100;

    // Appends a row for the song at index of the queue (now, or in a later turn behind the rows
    // still to come). Texts are GBK. A song that already has a row is not added twice (its
    // notice may arrive after a rebuild already listed it).
    void AddSong(int index, std::string_view title, std::string_view artist, std::string_view album,
                 bool liked);
    // All rows again from the queue, in order (in batches, as AddSong); the playing mark is
    // dropped with the old rows.
    void Rebuild();
    // Marks the song's row as playing and gives the previously marked row its image back.
    void MarkPlaying(int index);
    // Gives every row of the song with that sid the heart, now and whenever the list is built
    // again (the queue keeps the service's like as it came).
    void MarkLiked(const std::string& sid);
    bool IsLiked(const std::string& sid) const;
    // Greys every row of the song with that sid, now and whenever the list is built again.
    void MarkDisliked(const std::string& sid);
    // The listener double-clicked the list: plays the selected row's song, if any.
    void OnListDoubleClick();

    ReportListView* List() const { return list; }
    int PlayingRow() const { return playingRow; }
    // -1 when the song has no row / the row no song.
    int RowOfSong(int index) const;
    int SongOfRow(int row) const;

private:
    struct Pending {
        int index;
        std::string title, artist, album;
        bool liked;
    };
    void AddRow(const Pending& song);
    // Adds waiting rows up to this turn's budget.
    void AddWaiting();
    // The row's state in words, for assistive tools.
    void DescribeRow(int row);

    ReportListView* list;
    LayoutMgr layout;
    int playingRow = -1;
    int playingRowImage = 0;
    std::map<int, int> songToRow;
    std::map<int, int> rowToSong;
    std::set<std::string, std::less<>> disliked;
    std::set<std::string, std::less<>> liked; // in this run
    std::deque<Pending> waiting;              // rows still to add, in order
    int addedThisTurn = 0;
    QTimer nextTurn;       // ends the turn: the budget is renewed and the waiting rows go on
    int playingLater = -1; // the song MarkPlaying named while its row was still waiting
    IListOwner& owner;
    SongList& songs;
};
