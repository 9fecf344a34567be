#include "controls/CLantorListPage.h"

#include "controls/IListOwner.h"
#include "controls/ReportListView.h"
#include "controls/Resources.h"
#include "service/SongList.h"

#include <QStringList>
#include <algorithm>

CLantorListPage::CLantorListPage(IListOwner& owner, SongList& songs, QWidget* parent)
    : CSheetPage(parent), list(new ReportListView(this)), layout(this), owner(owner), songs(songs) {
    // The page is laid out at its template size; the anchors keep the list filling it.
    resize(471, 226);
    list->setGeometry(0, 0, 471, 226);
    list->AddColumn(tr("序号"), 60);
    list->AddColumn(tr("标题"), 200);
    list->AddColumn(tr("歌手"), 80);
    list->AddColumn(tr("专辑"), 100);
    std::vector<QIcon> images;
    for (const QPixmap& frame :
         Resources::SplitFrames(Resources::LoadBitmap(kBitmapId), kImageSize))
        images.emplace_back(frame);
    list->SetImageList(std::move(images), QSize(kImageSize, kImageSize));
    layout.AddAnchored(list);
    list->setAccessibleName(tr("歌曲列表"));
    connect(list, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex&) { OnListDoubleClick(); });
    nextTurn.setSingleShot(true);
    nextTurn.setInterval(0);
    connect(&nextTurn, &QTimer::timeout, this, [this] {
        addedThisTurn = 0;
        AddWaiting();
    });
}

void CLantorListPage::AddSong(int index, std::string_view title, std::string_view artist,
                              std::string_view album, bool liked) {
    waiting.push_back({index, std::string(title), std::string(artist), std::string(album), liked});
    AddWaiting();
}

void CLantorListPage::AddWaiting() {
    for (; !waiting.empty() && addedThisTurn < kRowsPerTurn; waiting.pop_front()) {
        ++addedThisTurn;
        AddRow(waiting.front());
    }
    if (addedThisTurn > 0 && !nextTurn.isActive())
        nextTurn.start();
}

void CLantorListPage::AddRow(const Pending& song) {
    if (songToRow.count(song.index) != 0)
        return;
    const int row = list->ItemCount();
    list->AppendRow({QString::asprintf("%03d", row + 1), Resources::AnsiToQString(song.title),
                     Resources::AnsiToQString(song.artist), Resources::AnsiToQString(song.album)},
                    song.liked || IsLiked(songs.At(song.index).sid) ? kImageLiked : kImageNotLiked);
    songToRow.emplace(song.index, row);
    rowToSong.emplace(row, song.index);
    if (!disliked.empty() && disliked.count(songs.At(song.index).sid) != 0)
        list->SetRowEnabled(row, false);
    DescribeRow(row);
    if (song.index == playingLater) {
        playingLater = -1;
        MarkPlaying(song.index);
    }
}

void CLantorListPage::DescribeRow(int row) {
    const int image = row == playingRow ? playingRowImage : list->ItemImage(row);
    QStringList states;
    if (image == kImageLiked)
        states << tr("喜欢");
    if (row == playingRow)
        states << tr("正在播放");
    if (!list->IsRowEnabled(row))
        states << tr("不喜欢");
    list->SetRowDescription(row, states.join(QStringLiteral(", ")));
}

void CLantorListPage::MarkLiked(const std::string& sid) {
    liked.insert(sid);
    for (const auto& [row, index] : rowToSong)
        if (songs.At(index).sid == sid) {
            // The playing row gets its heart back when another song plays.
            if (row == playingRow)
                playingRowImage = kImageLiked;
            else
                list->SetItemImage(row, kImageLiked);
            DescribeRow(row);
        }
}

bool CLantorListPage::IsLiked(const std::string& sid) const {
    return !sid.empty() && liked.count(sid) != 0;
}

void CLantorListPage::MarkDisliked(const std::string& sid) {
    disliked.insert(sid);
    for (const auto& [row, index] : rowToSong)
        if (songs.At(index).sid == sid) {
            list->SetRowEnabled(row, false);
            DescribeRow(row);
        }
}

void CLantorListPage::Rebuild() {
    list->DeleteAllItems();
    songToRow.clear();
    rowToSong.clear();
    waiting.clear();
    playingRow = -1;
    playingRowImage = 0;
    playingLater = -1;
    const int count = songs.Count();
    for (int i = 0; i < count; ++i) {
        SongRecord song = songs.At(i);
        waiting.push_back({song.index, std::move(song.title), std::move(song.artist),
                           std::move(song.albumtitle), song.like != "0"});
    }
    AddWaiting();
}

void CLantorListPage::MarkPlaying(int index) {
    const int before = playingRow;
    if (playingRow != -1)
        list->SetItemImage(playingRow, playingRowImage);
    const auto found = songToRow.find(index);
    // A row still to come is marked when it is added.
    const bool later =
        found == songToRow.end() && std::any_of(waiting.begin(), waiting.end(),
                                                [&](const Pending& p) { return p.index == index; });
    playingLater = later ? index : -1;
    const int row = found != songToRow.end() ? found->second : index;
    const int image = list->ItemImage(row);
    if (!later && list->SetItemImage(row, kImagePlaying)) {
        playingRow = row;
        playingRowImage = image < 0 ? 0 : image;
        DescribeRow(row);
    } else {
        playingRow = -1;
    }
    if (before != -1 && before != playingRow)
        DescribeRow(before);
}

void CLantorListPage::OnListDoubleClick() {
    const int row = list->SelectedRow();
    if (row < 0)
        return;
    const auto found = rowToSong.find(row);
    if (found != rowToSong.end())
        owner.PlaySongAt(found->second);
}

int CLantorListPage::RowOfSong(int index) const {
    const auto found = songToRow.find(index);
    return found != songToRow.end() ? found->second : -1;
}

int CLantorListPage::SongOfRow(int row) const {
    const auto found = rowToSong.find(row);
    return found != rowToSong.end() ? found->second : -1;
}
