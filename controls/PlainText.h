#pragma once
#include <QString>

class QLabel;
class QWidget;

// Texts from outside the program (the service, a lyrics site, an LRC file, config.ini) are shown
// exactly as they are. Qt takes a label's or a tooltip's text for markup when it looks like
// some (a lone <img src="file:///dev/zero"> in a tooltip grows the program by gigabytes), and a
// window title's "[*]" for its modified mark; these helpers give texts that show literally.
namespace PlainText {

// The longest tooltip shown, in characters.
constexpr qsizetype kMaxToolTipChars = 1000;

// text cut to at most maxChars characters, ending in an ellipsis when cut; never inside a
// character (a surrogate pair, or a letter and its accents).
QString Cut(const QString& text, qsizetype maxChars);
// A tooltip showing text as it is (cut to kMaxToolTipChars).
QString ToolTip(const QString& text);
// Gives widget that tooltip; assistive tools read text (not the tooltip's markup) as its
// description.
void SetToolTip(QWidget& widget, const QString& text);
// A window title showing text as it is.
QString WindowTitle(const QString& text);
// Shows text in label as it is, on one line cut with an ellipsis to the label's width; a cut
// text is the label's tooltip in whole.
void SetLabel(QLabel& label, const QString& text);

} // namespace PlainText
