#include "lyrics/CLrcWindow.h"

#include "controls/Resources.h"
#include "lyrics/CLrcQueryDlg.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <iterator>
#include <mutex>

namespace {
// Assistive tools read the strip as a label whose text is the line being sung.
QAccessibleInterface* AccessibleLyrics(const QString& key, QObject* object) {
    if (key == QLatin1String("CLrcWindow") && object != nullptr && object->isWidgetType())
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::StaticText);
    return nullptr;
}
} // namespace

CLrcWindow::CLrcWindow(QWidget* parent) : QWidget(parent), lrcFont(Resources::SongTypeFont(12)) {
    // Small CJK text reads better unsmoothed, as the bitmap strikes of the face are drawn.
    lrcFont.setStyleStrategy(QFont::NoAntialias);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kWidth, kHeight);
    static std::once_flag once;
    std::call_once(once, [] { QAccessible::installFactory(AccessibleLyrics); });
    setAccessibleDescription(tr("歌词"));
    timeline.SetRedraw([this] {
        setAccessibleName(Resources::AnsiToQString(timeline.CurLineText()));
        repaint();
    });
}

bool CLrcWindow::LoadLrcFile(std::string_view sid, const WorkFolder& work) {
    return timeline.LoadLrcFile(sid, work);
}
void CLrcWindow::ParseLrc() {
    timeline.ParseLrc();
}
void CLrcWindow::ClearLrc() {
    timeline.ClearLrc();
}
void CLrcWindow::SetPlayTime(int seconds) {
    timeline.SetPlayTime(seconds);
}

bool CLrcWindow::OnCommand(int id) {
    if (id != kQueryCommand)
        return false;
    if (queryDlg) {
        queryDlg->show();
        queryDlg->raise();
        queryDlg->activateWindow();
        return true;
    }
    // Owned by the active window, or by this window's own: it never outlives the main window,
    // which ends its worker.
    QWidget* owner = QApplication::activeWindow();
    QPointer<CLrcWindow> self(this);
    queryDlg = new CLrcQueryDlg(
        owner ? owner : window(), songSource,
        [self](const std::string& sid) {
            if (self)
                self->OnLyricsStored(sid);
        },
        sites);
    connect(queryDlg, &QDialog::finished, queryDlg, &QObject::deleteLater);
    queryDlg->show();
    return true;
}

void CLrcWindow::OnLyricsStored(const std::string& sid) {
    const std::optional<CLrcQueryDlg::Song> playing = songSource ? songSource() : std::nullopt;
    if (!playing || playing->sid != sid || !timeline.LoadLrcFile(sid))
        return;
    timeline.ParseLrc();
    // The line in effect now, not only once the next line's second comes.
    const LrcTimeline::Timeline& lines = timeline.GetTimeline();
    auto after = lines.upper_bound(playing->seconds);
    if (after != lines.begin())
        timeline.SetPlayTime(std::prev(after)->first);
}

void CLrcWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), bkColor);
    if (!timeline.IsLoaded())
        return;
    p.setFont(lrcFont);
    const struct {
        const std::string& text;
        QColor colour;
    } lines[3] = {{timeline.PrevLineText(), otherColor},
                  {timeline.CurLineText(), curColor},
                  {timeline.NextLineText(), otherColor}};
    for (int i = 0; i < 3; ++i) {
        if (lines[i].text.empty())
            continue;
        p.setPen(lines[i].colour);
        // Top of the text cell at the row; long lines are cut by the window edge.
        p.drawText(QRect(kTextLeft, i * kLinePitch, 10000, kLinePitch),
                   Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
                   Resources::AnsiToQString(lines[i].text));
    }
}

void CLrcWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CLrcWindow::contextMenuEvent(QContextMenuEvent* event) {
    event->accept();
}
