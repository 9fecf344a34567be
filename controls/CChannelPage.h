#pragma once
#include "controls/CSheetPage.h"
#include "controls/LayoutMgr.h"
#include "platform/qt/BackgroundJob.h"
#include "service/ChannelList.h"

#include <QColor>
#include <optional>
#include <string>
#include <vector>

class IListOwner;
class ReportListView;

// Page 1 of the list sheet: the service's channels, the current one marked. The list is
// fetched on a worker when the page is shown and has none yet; the rows appear when the reply
// arrives, and a failed request leaves the page empty until it is shown again. A double-click
// switches to the channel and returns to the songs page. Assistive tools read the current
// channel's row as such.
class CChannelPage : public CSheetPage {
    Q_OBJECT
public:
    static constexpr int kListId = 1048;
    static constexpr int kBitmapId = 245;
    static constexpr int kImageSize = 40;
    enum Image { kImageCurrent = 0, kImageOther = 1 };

    explicit CChannelPage(IListOwner& owner, QWidget* parent = nullptr);

    // Marks the row of the first channel with that id as current; an unknown id changes nothing
    // (rows that arrive later are marked then).
    void MarkChannel(int channelId);
    // The name of the last channel with that id (GBK); none for an unknown id or an empty name.
    std::optional<std::string> ChannelName(int channelId) const;
    // The listener double-clicked the list: switches to the selected row's channel, if any.
    void OnListDoubleClick();

    ReportListView* List() const { return list; }
    int MarkedRow() const { return markedRow; }
    const ChannelList& Channels() const { return channels; }
    bool Fetching() const { return fetch.Running(); }

protected:
    void OnInitDialog() override;
    void OnSetActive() override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The row the channel at position i of the list has, -1 for a channel without a name.
    int RowOfChannel(int i) const;
    bool MarkRow(int row);
    void OnChannelsArrived(const std::string& reply);

    ReportListView* list;
    LayoutMgr layout;
    int markedRow = -1;
    int wantedChannel = -1; // the id of the last MarkChannel; -1: none yet
    ChannelList channels;
    BackgroundJob fetch;
    std::vector<int> rowChannels; // row -> position in channels
    const QColor background{0xF5, 0xF5, 0xF5};
    IListOwner& owner;
};
