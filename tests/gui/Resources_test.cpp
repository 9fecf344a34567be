#include "controls/Resources.h"

#include <QFontMetrics>
#include <QImage>
#include <gtest/gtest.h>

namespace {

TEST(Resources, EveryBitmapIsBundled) {
    for (int id : {204, 205, 206, 207, 208, 209, 210, 211, 212, 213, 214, 215, 217, 245})
        EXPECT_FALSE(Resources::LoadBitmap(id).isNull()) << id;
    EXPECT_TRUE(Resources::LoadBitmap(999).isNull());
}

TEST(Resources, ButtonFramesDifferAndMaskOnTheirTopLeftColour) {
    for (int id : {210, 211, 212, 213, 214, 215, 217}) {
        const QPixmap strip = Resources::LoadBitmap(id);
        const auto frames = Resources::SplitFrames(strip, strip.height());
        ASSERT_EQ(frames.size(), 2u) << id;
        EXPECT_NE(frames[0].toImage(), frames[1].toImage()) << id;
        // The top-left pixel is the mask colour: the sign itself must not be made of it only.
        const QImage image = strip.toImage();
        const QRgb key = image.pixel(0, 0);
        int painted = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                painted += image.pixel(x, y) != key;
        EXPECT_GT(painted, image.width() * image.height() / 10) << id;
    }
    // The list images: three of 24 and two of 40.
    EXPECT_EQ(Resources::SplitFrames(Resources::LoadBitmap(204), 24).size(), 3u);
    EXPECT_EQ(Resources::SplitFrames(Resources::LoadBitmap(245), 40).size(), 2u);
    EXPECT_TRUE(Resources::SplitFrames(Resources::LoadBitmap(245), 0).empty());
}

TEST(Resources, IconHasSeveralSizes) {
    const QIcon icon = Resources::LoadIcon(128);
    ASSERT_FALSE(icon.isNull());
    EXPECT_GE(icon.availableSizes().size(), 2);
    EXPECT_TRUE(Resources::LoadIcon(1).isNull());
}

TEST(Resources, SongTypeFontShowsChinese) {
    const QFont font = Resources::SongTypeFont();
    EXPECT_EQ(font.pixelSize(), 12);
    EXPECT_EQ(font.families().value(0), QString::fromUtf8("宋体"));
    const QFontMetrics metrics(font);
    EXPECT_TRUE(metrics.inFont(QChar(0x6B4C))); // 歌
}

TEST(Resources, TextsAndDialogUnits) {
    EXPECT_EQ(Resources::AnsiToQString("\xB8\xE8\xB4\xCA abc"), QString::fromUtf8("歌词 abc"));
    EXPECT_EQ(Resources::QStringToAnsi(QString::fromUtf8("歌词")), "\xB8\xE8\xB4\xCA");
    EXPECT_EQ(Resources::DluRect(7, 30, 302, 128), QRect(10, 48, 453, 208));
    EXPECT_EQ(Resources::DluX(316), 474);
    EXPECT_EQ(Resources::DluY(183), 297);
}

} // namespace
