#include "controls/Resources.h"

#include "platform/CodePage.h"

#include <QFile>
#include <QStringList>
#include <QWidget>
#include <algorithm>
#include <mutex>

// Outside any namespace, as Q_INIT_RESOURCE requires. The resources live in a static library,
// whose registration object the linker would otherwise drop.
static void RegisterResources() {
    static std::once_flag once;
    std::call_once(once, [] { Q_INIT_RESOURCE(resources); });
}

namespace Resources {

QPixmap LoadBitmap(int id) {
    RegisterResources();
    return QPixmap(QStringLiteral(":/bitmap/%1").arg(id));
}

std::vector<QPixmap> SplitFrames(const QPixmap& strip, int frameWidth) {
    std::vector<QPixmap> frames;
    if (frameWidth <= 0)
        return frames;
    for (int x = 0; x + frameWidth <= strip.width(); x += frameWidth)
        frames.push_back(strip.copy(x, 0, frameWidth, strip.height()));
    return frames;
}

QIcon LoadIcon(int id) {
    RegisterResources();
    QIcon icon;
    for (int size : {16, 32, 48, 256}) {
        const QString path = QStringLiteral(":/icon/%1/%2").arg(id).arg(size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}

QFont SongTypeFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"),
                      QStringLiteral("WenQuanYi Zen Hei"), QStringLiteral("Noto Sans CJK SC")});
    font.setPixelSize(pixelSize);
    font.setWeight(QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

void FitCaption(QWidget& caption, int leftLimit, int rightLimit) {
    const int wanted = caption.sizeHint().width();
    QRect box = caption.geometry();
    if (wanted <= box.width())
        return;
    box.setRight(std::min(rightLimit, box.left() + wanted - 1));
    if (box.width() < wanted)
        box.setLeft(std::max(leftLimit, box.right() - wanted + 1));
    caption.setGeometry(box);
}

QString AnsiToQString(std::string_view ansi) {
    const std::string utf8 = CodePage::AnsiToUtf8(ansi);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string QStringToAnsi(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    return CodePage::Utf8ToAnsi(std::string_view(utf8.constData(), utf8.size()));
}

} // namespace Resources
