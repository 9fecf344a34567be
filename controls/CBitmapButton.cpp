#include "controls/CBitmapButton.h"

#include "controls/FocusMark.h"
#include "controls/PlainText.h"
#include "controls/Resources.h"

#include <QBitmap>
#include <QKeyEvent>
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

CBitmapButton::ImageList CBitmapButton::SpeakerImages(const QImage& speaker) {
    auto frames = std::make_shared<std::vector<QPixmap>>();
    if (speaker.isNull())
        return frames;
    const QPixmap normal = QPixmap::fromImage(speaker);
    QPixmap muted(normal.size());
    muted.fill(Qt::black);
    QPainter painter(&muted);
    painter.setOpacity(0.4);
    painter.drawPixmap(0, 0, normal);
    painter.setOpacity(1.0);
    painter.setPen(QPen(QColor::fromRgb(FocusMark::kColour), 2));
    painter.drawLine(0, muted.height() - 1, muted.width() - 1, 0);
    painter.end();
    *frames = {normal, muted};
    return frames;
}

CBitmapButton::CBitmapButton(int id, QWidget* parent)
    : QAbstractButton(parent), id_(id), mark_(new FocusMark(this)) {
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

void CBitmapButton::SetCheckedImage(int checked) {
    checked_ = checked;
    update();
}

int CBitmapButton::CurrentImage() const {
    if (isDown())
        return pushed_;
    if (isChecked() && checked_ >= 0)
        return checked_;
    if (hasFocus())
        return focused_;
    return normal_;
}

void CBitmapButton::SetKeyShortcut(const QKeySequence& keys) {
    setShortcut(keys);
    ShowTip();
}

void CBitmapButton::ShowTip() {
    QString tip = tipText_;
    if (!shortcut().isEmpty() && !tip.isEmpty())
        tip += QStringLiteral(" (%1)").arg(shortcut().toString(QKeySequence::NativeText));
    settingTip_ = true;
    PlainText::SetToolTip(*this, tip);
    settingTip_ = false;
}

bool CBitmapButton::event(QEvent* event) {
    // Space and Enter click the focused button, before any shortcut of the window on them.
    if (event->type() == QEvent::ShortcutOverride) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const int k = key->key();
        if ((k == Qt::Key_Space || k == Qt::Key_Return || k == Qt::Key_Enter) &&
            (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    // Whoever set the tooltip meant its text: a channel name must not load images.
    if (event->type() == QEvent::ToolTipChange && !settingTip_) {
        tipText_ = PlainText::Cut(toolTip(), PlainText::kMaxToolTipChars);
        setAccessibleName(tipText_);
        ShowTip();
    }
    return QAbstractButton::event(event);
}

void CBitmapButton::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        click();
        return; // taken: the dialog behind must not treat it as its own Enter
    }
    QAbstractButton::keyPressEvent(event);
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
    mark_->Paint(painter);
}
