#include "lyrics/CLrcWindow.h"

#include "controls/Resources.h"
#include "lyrics/CLrcQueryDlg.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>

CLrcWindow::CLrcWindow(QWidget* parent) : QWidget(parent), lrcFont(Resources::SongTypeFont(12)) {
    // Small CJK text reads better unsmoothed, as the bitmap strikes of the face are drawn.
    lrcFont.setStyleStrategy(QFont::NoAntialias);
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(kWidth, kHeight);
    timeline.SetRedraw([this] { repaint(); });
}

bool CLrcWindow::LoadLrcFile(std::string_view sid) {
    return timeline.LoadLrcFile(sid);
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
    CLrcQueryDlg dlg(QApplication::activeWindow());
    dlg.exec();
    return true;
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
