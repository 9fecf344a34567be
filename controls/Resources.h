#pragma once
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <string_view>
#include <vector>

// The program's built-in images and the few conversions every window needs. Bitmaps and the
// icon keep the numbers they have always had (bitmap 204, icon 128, ...), so callers name them
// by number.
class QWidget;

namespace Resources {

// A bitmap of the program by number; a null pixmap when there is none.
QPixmap LoadBitmap(int id);
// Cuts a horizontal strip into frames of frameWidth (a partial last frame is dropped).
std::vector<QPixmap> SplitFrames(const QPixmap& strip, int frameWidth);
// Icon 128 in every size it is drawn at.
QIcon LoadIcon(int id);

// The 12-pixel "宋体" face the windows write with; machines without it fall back to an
// installed CJK face so that GBK texts still show.
QFont SongTypeFont(int pixelSize = 12);

// Texts inside the program are ANSI (GB18030) bytes; Qt wants UTF-16.
QString AnsiToQString(std::string_view ansi);
std::string QStringToAnsi(const QString& text);

// A caption laid out for the Chinese text it was drawn for, made room for a longer translation:
// it grows to the right up to rightLimit, then to the left down to leftLimit (pixels of its
// parent), and never changes when its text already fits.
void FitCaption(QWidget& caption, int leftLimit, int rightLimit);

// Dialog units of the templates ("MS Shell Dlg" 8: base units 6 x 13 pixels) to pixels.
inline int DluX(int x) {
    return x * 6 / 4;
}
inline int DluY(int y) {
    return y * 13 / 8;
}
inline QRect DluRect(int x, int y, int w, int h) {
    return QRect(DluX(x), DluY(y), DluX(w), DluY(h));
}

} // namespace Resources
