#include "controls/CPicture.h"
#include "controls/CoverLayout.h"
#include "tests/support/TempDir.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

namespace {

QByteArray Encode(int w, int h, QColor colour, const char* format) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format, 100);
    return bytes;
}

std::string Write(const TempDir& dir, const std::string& name, const QByteArray& bytes) {
    dir.WriteFile(name, std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
    return (dir.Path() / name).string();
}

bool Near(QRgb a, QColor b) {
    return std::abs(qRed(a) - b.red()) < 12 && std::abs(qGreen(a) - b.green()) < 12 &&
           std::abs(qBlue(a) - b.blue()) < 12;
}

TEST(CPicture, JpegReportsItsSizeInScreenPixels) {
    TempDir dir;
    CPicture picture;
    EXPECT_EQ(picture.width, 0);
    EXPECT_TRUE(picture.IsEmpty());
    ASSERT_TRUE(picture.LoadFile(Write(dir, "cover.jpg", Encode(200, 150, Qt::red, "JPG"))));
    EXPECT_EQ(picture.width, 200);
    EXPECT_EQ(picture.height, 150);
    EXPECT_FALSE(picture.IsEmpty());
}

TEST(CPicture, FailuresKeepOrDropThePictureAsTheyShould) {
    TempDir dir;
    CPicture picture;
    ASSERT_TRUE(picture.LoadFile(Write(dir, "a.png", Encode(40, 30, Qt::blue, "PNG"))));

    // A missing file: false, the picture stays.
    EXPECT_FALSE(picture.LoadFile((dir.Path() / "missing.jpg").string()));
    EXPECT_FALSE(picture.IsEmpty());

    // Bytes that do not decode: false, the object is empty, the size is the last one loaded.
    EXPECT_FALSE(picture.LoadFile(Write(dir, "bad.jpg", QByteArray("not a picture at all"))));
    EXPECT_TRUE(picture.IsEmpty());
    EXPECT_EQ(picture.width, 40);
    EXPECT_EQ(picture.height, 30);
    QImage canvas(50, 50, QImage::Format_RGB32);
    QPainter p(&canvas);
    EXPECT_FALSE(picture.Draw(p, 0, 0));

    // An empty file and empty memory decode to nothing.
    EXPECT_FALSE(picture.LoadFile(Write(dir, "empty.jpg", QByteArray())));
    EXPECT_FALSE(picture.LoadMemory(nullptr, 0));
    // A JPEG cut in half still gives no crash either way.
    const QByteArray jpeg = Encode(64, 64, Qt::green, "JPG");
    picture.LoadMemory(jpeg.constData(), static_cast<size_t>(jpeg.size() / 2));
}

TEST(CPicture, FreeKeepsTheSize) {
    CPicture picture;
    const QByteArray png = Encode(20, 10, Qt::blue, "PNG");
    ASSERT_TRUE(picture.LoadMemory(png.constData(), static_cast<size_t>(png.size())));
    picture.Free();
    EXPECT_TRUE(picture.IsEmpty());
    EXPECT_EQ(picture.width, 20);
    EXPECT_EQ(picture.height, 10);
}

TEST(CPicture, DrawsAtNaturalSizeOrStretched) {
    CPicture picture;
    const QByteArray png = Encode(20, 10, Qt::blue, "PNG");
    ASSERT_TRUE(picture.LoadMemory(png.constData(), static_cast<size_t>(png.size())));
    QImage canvas(60, 60, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    {
        QPainter p(&canvas);
        EXPECT_TRUE(picture.Draw(p, 5, 5)); // cx, cy 0: natural size
        EXPECT_TRUE(picture.Draw(p, 30, 30, 25, 25));
    }
    EXPECT_EQ(canvas.pixel(5, 5), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(24, 14), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(25, 14), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(24, 15), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(30, 30), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(54, 54), qRgb(0, 0, 255));
    EXPECT_EQ(canvas.pixel(55, 55), qRgb(0, 0, 0));
}

TEST(CoverLayout, PlacesPicturesInTheCoverBox) {
    const struct {
        int w, h;
        QRect picture;
        QRect frame;
    } cases[] = {
        {300, 300, QRect(5, 5, 120, 120), QRect(4, 4, 122, 122)},
        {200, 150, QRect(5, 5, 120, 120), QRect(4, 4, 122, 122)},
        {120, 120, QRect(5, 5, 120, 120), QRect(4, 4, 122, 122)},
        {100, 80, QRect(25, 25, 80, 80), QRect(24, 24, 82, 82)},
        {100, 100, QRect(15, 15, 100, 100), QRect(14, 14, 102, 102)},
        {119, 119, QRect(5, 5, 119, 119), QRect(4, 4, 121, 121)}, // (120 - 119) / 2 = 0
        {0, 0, QRect(65, 65, 0, 0), QRect(64, 64, 2, 2)},
    };
    for (const auto& c : cases) {
        const CoverLayout::Placement at = CoverLayout::PlaceCover(c.w, c.h);
        EXPECT_EQ(at.picture, c.picture) << c.w << "x" << c.h;
        EXPECT_EQ(at.frame, c.frame) << c.w << "x" << c.h;
    }
}

// The cover as the main window paints it over its black background.
QImage PaintedCover(const CPicture* cover) {
    QImage canvas(130, 130, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter p(&canvas);
    CoverLayout::PaintCover(p, cover);
    return canvas;
}

TEST(CoverLayout, PaintsTheFrameAndTheSquaredPicture) {
    const struct {
        int w, h;
        int origin, side;
    } cases[] = {{300, 300, 5, 120}, {100, 80, 25, 80}, {100, 100, 15, 100}};
    const QColor red(220, 20, 20);
    for (const auto& c : cases) {
        CPicture cover;
        const QByteArray jpeg = Encode(c.w, c.h, red, "JPG");
        ASSERT_TRUE(cover.LoadMemory(jpeg.constData(), static_cast<size_t>(jpeg.size())));
        const QImage image = PaintedCover(&cover);
        const int lo = c.origin, hi = c.origin + c.side - 1;
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        // White frame one pixel outside the picture, black beyond it.
        for (int i = lo - 1; i <= hi + 1; ++i) {
            EXPECT_EQ(image.pixel(lo - 1, i), qRgb(255, 255, 255)) << i;
            EXPECT_EQ(image.pixel(hi + 1, i), qRgb(255, 255, 255)) << i;
            EXPECT_EQ(image.pixel(i, lo - 1), qRgb(255, 255, 255)) << i;
            EXPECT_EQ(image.pixel(i, hi + 1), qRgb(255, 255, 255)) << i;
        }
        EXPECT_EQ(image.pixel(lo - 2, lo - 2), qRgb(0, 0, 0));
        EXPECT_EQ(image.pixel(hi + 2, hi + 2), qRgb(0, 0, 0));
        // The picture fills the square, corners included (stretched when not square).
        for (QPoint pt : {QPoint(lo, lo), QPoint(hi, hi), QPoint(lo, hi), QPoint(hi, lo),
                          QPoint((lo + hi) / 2, (lo + hi) / 2)})
            EXPECT_TRUE(Near(image.pixel(pt), red)) << pt.x() << "," << pt.y();
    }
}

TEST(CoverLayout, WithoutAPictureOnlyTheFrame) {
    // No cover object: the whole box's frame.
    const QImage none = PaintedCover(nullptr);
    EXPECT_EQ(none.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(none.pixel(124, 124), qRgb(255, 255, 255));
    EXPECT_EQ(none.pixel(125, 125), qRgb(0, 0, 0));
    EXPECT_EQ(none.pixel(4, 4), qRgb(0, 0, 0));

    // Nothing ever loaded: a 2 x 2 square at (64, 64).
    CPicture empty;
    const QImage tiny = PaintedCover(&empty);
    EXPECT_EQ(tiny.pixel(64, 64), qRgb(255, 255, 255));
    EXPECT_EQ(tiny.pixel(65, 65), qRgb(255, 255, 255));
    EXPECT_EQ(tiny.pixel(66, 66), qRgb(0, 0, 0));
    EXPECT_EQ(tiny.pixel(63, 63), qRgb(0, 0, 0));

    // A freed cover keeps the last size: the frame of that size, filled white.
    CPicture freed;
    const QByteArray png = Encode(100, 100, Qt::blue, "PNG");
    ASSERT_TRUE(freed.LoadMemory(png.constData(), static_cast<size_t>(png.size())));
    freed.Free();
    const QImage blank = PaintedCover(&freed);
    EXPECT_EQ(blank.pixel(14, 14), qRgb(255, 255, 255));
    EXPECT_EQ(blank.pixel(60, 60), qRgb(255, 255, 255));
    EXPECT_EQ(blank.pixel(116, 116), qRgb(0, 0, 0));
}

} // namespace
