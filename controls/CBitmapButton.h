#pragma once
#include <QAbstractButton>
#include <QPixmap>
#include <memory>
#include <vector>

// A push button drawn from frames of an image list: one frame each for the normal, pushed and
// focused looks. It sizes itself to one frame. Several buttons may share one image list.
class CBitmapButton : public QAbstractButton {
    Q_OBJECT
public:
    using ImageList = std::shared_ptr<const std::vector<QPixmap>>;

    // Frames of frameWidth cut from a bitmap strip; the colour of the top-left pixel becomes
    // transparent.
    static ImageList LoadImageList(int bitmapId, int frameWidth);

    explicit CBitmapButton(int id, QWidget* parent = nullptr);
    int Id() const { return id_; }
    void SetImageList(ImageList images);
    const ImageList& Images() const { return images_; }
    void SetImages(int normal, int pushed, int focused);
    // The frame shown now: pushed while held down, focused with the keyboard focus.
    int CurrentImage() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int id_;
    ImageList images_;
    int normal_ = 0, pushed_ = 0, focused_ = 0;
};
