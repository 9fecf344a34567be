#include "app/NamedIconEngine.h"

#include <utility>

NamedIconEngine::NamedIconEngine(QString name_, QIcon pixels_)
    : name(std::move(name_)), pixels(std::move(pixels_)) {}

void NamedIconEngine::paint(QPainter* painter, const QRect& rect, QIcon::Mode mode,
                            QIcon::State state) {
    pixels.paint(painter, rect, Qt::AlignCenter, mode, state);
}

QPixmap NamedIconEngine::pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return pixels.pixmap(size, mode, state);
}

QSize NamedIconEngine::actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) {
    return pixels.actualSize(size, mode, state);
}

QList<QSize> NamedIconEngine::availableSizes(QIcon::Mode mode, QIcon::State state) {
    return pixels.availableSizes(mode, state);
}

QIconEngine* NamedIconEngine::clone() const {
    return new NamedIconEngine(name, pixels);
}
