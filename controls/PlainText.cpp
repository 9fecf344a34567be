#include "controls/PlainText.h"

#include <QLabel>
#include <QTextBoundaryFinder>
#include <QTextDocument>

namespace PlainText {

QString Cut(const QString& text, qsizetype maxChars) {
    if (text.size() <= maxChars)
        return text;
    if (maxChars <= 1)
        return maxChars == 1 ? QStringLiteral("…") : QString();
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    graphemes.setPosition(maxChars - 1);
    const qsizetype keep = graphemes.isAtBoundary()
                               ? maxChars - 1
                               : std::max<qsizetype>(0, graphemes.toPreviousBoundary());
    return text.left(keep) + QStringLiteral("…");
}

QString ToolTip(const QString& text) {
    const QString tip = Cut(text, kMaxToolTipChars);
    // The tooltip decides as Qt::mightBeRichText does; markup it would see is escaped instead.
    if (!Qt::mightBeRichText(tip))
        return tip;
    // Spaces and line breaks kept, long lines wrapped, as a plain tip shows them.
    return QStringLiteral("<p style=\"white-space:pre-wrap\">%1</p>").arg(tip.toHtmlEscaped());
}

void SetToolTip(QWidget& widget, const QString& text) {
    widget.setToolTip(ToolTip(text));
    widget.setAccessibleDescription(Cut(text, kMaxToolTipChars));
}

QString WindowTitle(const QString& text) {
    // A doubled placeholder is how a title shows a literal "[*]".
    QString title = text;
    return title.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
}

void SetLabel(QLabel& label, const QString& text) {
    const QString line = Cut(text, kMaxToolTipChars).simplified();
    const QString shown = label.fontMetrics().elidedText(line, Qt::ElideRight, label.width());
    label.setTextFormat(Qt::PlainText);
    label.setText(shown);
    SetToolTip(label, shown == line ? QString() : line);
}

} // namespace PlainText
