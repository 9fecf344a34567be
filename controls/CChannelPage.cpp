#include "controls/CChannelPage.h"

#include "controls/IListOwner.h"
#include "controls/ReportListView.h"
#include "controls/Resources.h"
#include "service/ServiceRequests.h"
#include "service/WebClient.h"

#include <QPainter>
#include <algorithm>

CChannelPage::CChannelPage(IListOwner& owner, QWidget* parent)
    : CSheetPage(parent), list(new ReportListView(this)), layout(this), owner(owner) {
    resize(471, 226);
    list->setGeometry(0, 0, 471, 226);
    list->hide(); // until the page's dialog is initialised
    list->setAccessibleName(tr("频道列表"));
    connect(list, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex&) { OnListDoubleClick(); });
}

void CChannelPage::OnInitDialog() {
    list->setGeometry(rect());
    list->show();
    list->AddColumn(tr("序号"), 42, Qt::AlignRight);
    list->AddColumn(tr("频道"), 405);
    std::vector<QIcon> images;
    for (const QPixmap& frame :
         Resources::SplitFrames(Resources::LoadBitmap(kBitmapId), kImageSize))
        images.emplace_back(frame);
    list->SetImageList(std::move(images), QSize(kImageSize, kImageSize));
    layout.AddAnchored(list);
}

void CChannelPage::OnSetActive() {
    if (channels.Count() > 0 || fetch.Running())
        return;
    fetch.Start(
        [base = owner.ServiceBase()](const std::atomic<bool>& cancel) {
            return WebClient(&cancel).Get(ChannelListUrl(base));
        },
        [this](BackgroundJob::Reply reply) {
            if (reply)
                OnChannelsArrived(*reply);
        });
}

void CChannelPage::OnChannelsArrived(const std::string& reply) {
    // A reply that does not parse leaves the page empty; the next showing asks again.
    channels.AppendFromReply(reply);
    for (int i = 0; i < channels.Count(); ++i) {
        const ChannelRecord channel = channels.At(i);
        if (channel.name.empty())
            continue;
        list->AppendRow(
            {QString::asprintf("%03d", channel.channel_id), Resources::AnsiToQString(channel.name)},
            kImageOther);
        rowChannels.push_back(i);
    }
    if (wantedChannel != -1)
        MarkChannel(wantedChannel);
}

int CChannelPage::RowOfChannel(int i) const {
    const auto found = std::find(rowChannels.begin(), rowChannels.end(), i);
    return found != rowChannels.end() ? static_cast<int>(found - rowChannels.begin()) : -1;
}

bool CChannelPage::MarkRow(int row) {
    if (markedRow != -1) {
        list->SetItemImage(markedRow, kImageOther);
        list->SetRowDescription(markedRow, {});
    }
    if (!list->SetItemImage(row, kImageCurrent))
        return false;
    markedRow = row;
    list->SetRowDescription(row, tr("当前频道"));
    return true;
}

void CChannelPage::MarkChannel(int channelId) {
    wantedChannel = channelId;
    for (int i = 0; i < channels.Count(); ++i) {
        if (channels.At(i).channel_id != channelId)
            continue;
        const int row = RowOfChannel(i);
        if (row >= 0)
            MarkRow(row);
        return;
    }
}

std::optional<std::string> CChannelPage::ChannelName(int channelId) const {
    std::optional<std::string> name;
    for (int i = 0; i < channels.Count(); ++i) {
        ChannelRecord channel = channels.At(i);
        if (channel.channel_id == channelId)
            name = std::move(channel.name);
    }
    if (name && name->empty())
        name.reset(); // a channel without a name has no row either
    return name;
}

void CChannelPage::OnListDoubleClick() {
    const int row = list->SelectedRow();
    if (row < 0 || static_cast<size_t>(row) >= rowChannels.size())
        return;
    const ChannelRecord channel = channels.At(rowChannels[static_cast<size_t>(row)]);
    MarkRow(row);
    owner.SwitchChannel(channel.channel_id, channel.name);
    owner.ShowListPage(0);
}

void CChannelPage::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), background);
}
