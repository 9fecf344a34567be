#include "controls/CBitmapButton.h"

#include "controls/Resources.h"

#include <QBitmap>
#include <QPainter>

CBitmapButton::ImageList CBitmapButton::LoadImageList(int bitmapId, int frameWidth) {
    QPixmap strip = Resources::LoadBitmap(bitmapId);
    auto frames = std::make_shared<std::vector<QPixmap>>();
    if (strip.isNull())
        return frames;
    QImage image = strip.toImage();
    QColor key = image.pixelColor(0, 0);
    strip.setMask(QBitmap::fromImage(image.createMaskFromColor(key.rgb(), Qt::MaskInColor)));
    *frames = Resources::SplitFrames(strip, frameWidth);
    return frames;
}

CBitmapButton::CBitmapButton(int id, QWidget* parent) : QAbstractButton(parent), id_(id) {
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::ArrowCursor);
}

void CBitmapButton::SetImageList(ImageList images) {
    images_ = std::move(images);
    if (images_ && !images_->empty())
        resize(images_->front().size());
    update();
}

void CBitmapButton::SetImages(int normal, int pushed, int focused) {
    normal_ = normal;
    pushed_ = pushed;
    focused_ = focused;
    update();
}

int CBitmapButton::CurrentImage() const {
    if (isDown())
        return pushed_;
    if (hasFocus())
        return focused_;
    return normal_;
}

QSize CBitmapButton::sizeHint() const {
    if (images_ && !images_->empty())
        return images_->front().size();
    return {16, 16};
}

void CBitmapButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    int index = CurrentImage();
    if (images_ && index >= 0 && index < static_cast<int>(images_->size()))
        painter.drawPixmap(0, 0, (*images_)[static_cast<size_t>(index)]);
}
