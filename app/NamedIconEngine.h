#pragma once
#include <QIcon>
#include <QIconEngine>
#include <QString>

// An icon's pixels under a freedesktop icon name. QIcon::name() gives the name, so a tray host
// looks the icon up in the desktop's theme where it is installed, and the pixels serve
// everywhere else (a build run from its folder).
class NamedIconEngine : public QIconEngine {
public:
    NamedIconEngine(QString name, QIcon pixels);

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override;
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override;
    QList<QSize> availableSizes(QIcon::Mode mode, QIcon::State state) override;
    QIconEngine* clone() const override;
    QString iconName() override { return name; }
    bool isNull() override { return pixels.isNull(); }

private:
    QString name;
    QIcon pixels;
};
