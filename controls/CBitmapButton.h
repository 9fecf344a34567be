#pragma once
#include <QAbstractButton>
#include <QKeySequence>
#include <QPixmap>
#include <memory>
#include <vector>

class FocusMark;

// A push button drawn from frames of an image list: one frame each for the normal, pushed and
// focused looks, and for a checkable one the checked look. It sizes itself to one frame.
// Several buttons may share one image list. Its tooltip always shows as plain text, whoever sets
// it, and is its accessible name; a key shortcut set here follows it in brackets. With the
// keyboard focus it shows the focus mark; Enter and Return click it as Space does, before any
// shortcut of the window on those keys.
class CBitmapButton : public QAbstractButton {
    Q_OBJECT
public:
    using ImageList = std::shared_ptr<const std::vector<QPixmap>>;

    // Frames of frameWidth cut from a bitmap strip; the colour of the top-left pixel becomes
    // transparent.
    static ImageList LoadImageList(int bitmapId, int frameWidth);
    // The two frames of a mute button made from a speaker picture: the picture, and the picture
    // dimmed and struck through in the window's text colour. For a checkable button with
    // SetImages(0, 0, 0) and SetCheckedImage(1): checked is muted.
    static ImageList SpeakerImages(const QImage& speaker);

    explicit CBitmapButton(int id, QWidget* parent = nullptr);
    int Id() const { return id_; }
    void SetImageList(ImageList images);
    const ImageList& Images() const { return images_; }
    void SetImages(int normal, int pushed, int focused);
    // The frame a checked button shows when not held down; -1: as an unchecked one.
    void SetCheckedImage(int checked);
    // The frame shown now: pushed while held down, checked, focused with the keyboard focus.
    int CurrentImage() const;
    // A shortcut that clicks the button while its window is active, named in the tooltip.
    void SetKeyShortcut(const QKeySequence& keys);
    // The tooltip's text as set, without the shortcut.
    const QString& TipText() const { return tipText_; }
    const FocusMark& Mark() const { return *mark_; }
    QSize sizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void ShowTip();

    int id_;
    ImageList images_;
    int normal_ = 0, pushed_ = 0, focused_ = 0, checked_ = -1;
    QString tipText_;
    bool settingTip_ = false;
    FocusMark* mark_; // a child
};
