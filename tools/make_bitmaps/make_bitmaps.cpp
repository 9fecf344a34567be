// Draws the program's bitmaps, icon and run-time pictures into res/. Run once by
// scripts/make-bitmaps; the results are committed, so a build never needs this tool.
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

const QColor kCyan(60, 210, 250);
const QColor kDimCyan(30, 100, 130);
const QColor kPale(170, 235, 252);
const QColor kKey(0, 0, 0); // buttons: the top-left pixel's colour is the mask colour

QString outDir;

void Save(const QImage& image, const QString& name, int quality = -1) {
    const QString path = outDir + "/" + name;
    if (!image.save(path, nullptr, quality)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
}

QImage Canvas(int w, int h, QColor fill) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

// A strip of frames of size x size; draw(painter, frame) paints one frame at the origin.
QImage Strip(int size, int frames, QColor background,
             const std::function<void(QPainter&, int)>& draw) {
    QImage image = Canvas(size * frames, size, background);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (int f = 0; f < frames; ++f) {
        p.save();
        p.translate(size * f, 0);
        p.setClipRect(0, 0, size, size);
        draw(p, f);
        p.restore();
    }
    return image;
}

QPainterPath Heart(QRectF r) {
    QPainterPath path;
    const double w = r.width(), h = r.height();
    path.moveTo(r.left() + w / 2, r.top() + h * 0.95);
    path.cubicTo(r.left() - w * 0.05, r.top() + h * 0.55, r.left() + w * 0.05, r.top() - h * 0.05,
                 r.left() + w / 2, r.top() + h * 0.28);
    path.cubicTo(r.left() + w * 0.95, r.top() - h * 0.05, r.left() + w * 1.05, r.top() + h * 0.55,
                 r.left() + w / 2, r.top() + h * 0.95);
    return path;
}

QPainterPath Triangle(QPointF a, QPointF b, QPointF c) {
    QPainterPath path;
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
    return path;
}

// Buttons have a normal and a pushed look: pushed is brighter and sits one pixel lower.
QColor ButtonColour(bool pushed) {
    return pushed ? kPale : kCyan;
}

void ListImages() {
    // 204: headphones (not liked), red heart (liked), play triangle (playing); no mask.
    Save(Strip(24, 3, Qt::white,
               [](QPainter& p, int f) {
                   if (f == 0) {
                       p.setPen(QPen(QColor(90, 100, 110), 2.2, Qt::SolidLine, Qt::RoundCap));
                       p.setBrush(Qt::NoBrush);
                       p.drawArc(QRectF(5, 4, 14, 14), 0, 180 * 16);
                       p.setPen(Qt::NoPen);
                       p.setBrush(QColor(90, 100, 110));
                       p.drawRoundedRect(QRectF(3.5, 11, 4.5, 8), 1.5, 1.5);
                       p.drawRoundedRect(QRectF(16, 11, 4.5, 8), 1.5, 1.5);
                   } else if (f == 1) {
                       p.setPen(Qt::NoPen);
                       p.setBrush(QColor(220, 40, 60));
                       p.drawPath(Heart(QRectF(3, 4, 18, 17)));
                   } else {
                       p.setPen(Qt::NoPen);
                       p.setBrush(QColor(20, 150, 200));
                       p.drawPath(Triangle({7, 4}, {20, 12}, {7, 20}));
                   }
               }),
         "bmp204_list.png");
    // 245: the channel sign, coloured for the current channel and grey for the others.
    Save(Strip(40, 2, Qt::white,
               [](QPainter& p, int f) {
                   const QColor base = f == 0 ? kCyan : QColor(185, 185, 185);
                   const QColor dark = f == 0 ? QColor(20, 120, 170) : QColor(140, 140, 140);
                   QLinearGradient g(0, 4, 0, 36);
                   g.setColorAt(0, base);
                   g.setColorAt(1, dark);
                   p.setPen(Qt::NoPen);
                   p.setBrush(g);
                   p.drawRoundedRect(QRectF(4, 4, 32, 32), 6, 6);
                   p.setPen(QPen(Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap));
                   p.setBrush(Qt::NoBrush);
                   for (int r = 0; r < 3; ++r) {
                       const double d = 6 + 6 * r;
                       p.drawArc(QRectF(14 - d / 2, 24 - d / 2, d, d), 0, 90 * 16);
                   }
                   p.setPen(Qt::NoPen);
                   p.setBrush(Qt::white);
                   p.drawEllipse(QPointF(14, 24), 2.5, 2.5);
               }),
         "bmp245_channels.png");
}

void SliderImages() {
    // 205: background, black so the slider sits on the window without a seam.
    QImage background = Canvas(246, 18, Qt::black);
    Save(background, "bmp205_slider_back.png");
    // 207, 208, 209: the 2-pixel channel; a lit upper row over a dim lower one, ends fading out.
    auto channel = [](int fadeFrom) {
        QImage image = Canvas(30, 2, Qt::black);
        for (int x = 0; x < 30; ++x) {
            double k = 1.0;
            if (fadeFrom < 0 && x < 6)
                k = (x + 1) / 7.0;
            if (fadeFrom > 0 && x > 23)
                k = (30 - x) / 7.0;
            image.setPixelColor(x, 0,
                                QColor(int(kDimCyan.red() * 1.6 * k),
                                       int(kDimCyan.green() * 1.6 * k),
                                       int(kDimCyan.blue() * 1.6 * k)));
            image.setPixelColor(x, 1,
                                QColor(int(kDimCyan.red() * 0.8 * k),
                                       int(kDimCyan.green() * 0.8 * k),
                                       int(kDimCyan.blue() * 0.8 * k)));
        }
        return image;
    };
    Save(channel(0), "bmp207_slider_channel.png");
    Save(channel(-1), "bmp208_slider_left.png");
    Save(channel(1), "bmp209_slider_right.png");
    // 206: the 5 x 9 thumb, a cyan drop with a pale core.
    QImage thumb = Canvas(5, 9, Qt::black);
    const char* rows[9] = {".ccc.", "cpppc", "cpWpc", "cpWpc", "cpWpc",
                           "cpWpc", "cpppc", ".ccc.", "..c.."};
    for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 5; ++x) {
            const char c = rows[y][x];
            if (c == 'c')
                thumb.setPixelColor(x, y, kCyan);
            else if (c == 'p')
                thumb.setPixelColor(x, y, kPale);
            else if (c == 'W')
                thumb.setPixelColor(x, y, Qt::white);
            else
                thumb.setPixelColor(x, y, QColor(10, 40, 50));
        }
    }
    Save(thumb, "bmp206_slider_thumb.png");
}

void ButtonImages() {
    // 210 like, 211 dislike, 212 more: 16 x 16, frames normal then pushed.
    Save(Strip(16, 2, kKey,
               [](QPainter& p, int f) {
                   p.setPen(QPen(ButtonColour(f), 1.4));
                   p.setBrush(f ? QBrush(QColor(220, 60, 80)) : Qt::NoBrush);
                   p.drawPath(Heart(QRectF(2, 2.5 + f, 12, 11.5)));
               }),
         "bmp210_like.png");
    Save(Strip(16, 2, kKey,
               [](QPainter& p, int f) {
                   p.setPen(QPen(ButtonColour(f), 1.4));
                   p.setBrush(Qt::NoBrush);
                   p.drawPath(Heart(QRectF(2, 2.5 + f, 12, 11.5)));
                   p.setPen(QPen(ButtonColour(f), 1.6, Qt::SolidLine, Qt::RoundCap));
                   p.drawLine(QPointF(3, 13 + f), QPointF(13, 3 + f));
               }),
         "bmp211_dislike.png");
    Save(Strip(16, 2, kKey,
               [](QPainter& p, int f) {
                   p.setPen(QPen(ButtonColour(f), 1.6, Qt::SolidLine, Qt::RoundCap));
                   for (int i = 0; i < 3; ++i)
                       p.drawLine(QPointF(2, 4 + 4 * i + f),
                                  QPointF(i == 2 ? 8 : 13, 4 + 4 * i + f));
                   p.drawLine(QPointF(12, 10 + f), QPointF(12, 15 + f));
                   p.drawLine(QPointF(9.5, 12.5 + f), QPointF(14.5, 12.5 + f));
               }),
         "bmp212_more.png");
    // 213 next, 214 previous: 20 x 20, normal then pushed.
    auto skip = [](bool forward) {
        return Strip(20, 2, kKey, [forward](QPainter& p, int f) {
            p.setPen(Qt::NoPen);
            p.setBrush(ButtonColour(f));
            const double y = f;
            if (forward) {
                p.drawPath(Triangle({4, 4 + y}, {14, 10 + y}, {4, 16 + y}));
                p.drawRect(QRectF(14, 4 + y, 2.5, 12));
            } else {
                p.drawPath(Triangle({16, 4 + y}, {6, 10 + y}, {16, 16 + y}));
                p.drawRect(QRectF(3.5, 4 + y, 2.5, 12));
            }
        });
    };
    Save(skip(true), "bmp213_next.png");
    Save(skip(false), "bmp214_previous.png");
    // 215: play (frame 0) and pause (frame 1), shared by the two buttons.
    Save(Strip(20, 2, kKey,
               [](QPainter& p, int f) {
                   p.setPen(QPen(kCyan, 1.3));
                   p.setBrush(Qt::NoBrush);
                   p.drawEllipse(QRectF(1, 1, 18, 18));
                   p.setPen(Qt::NoPen);
                   p.setBrush(kCyan);
                   if (f == 0) {
                       p.drawPath(Triangle({8, 5.5}, {14.5, 10}, {8, 14.5}));
                   } else {
                       p.drawRect(QRectF(6.5, 6, 2.5, 8));
                       p.drawRect(QRectF(11, 6, 2.5, 8));
                   }
               }),
         "bmp215_play_pause.png");
    // 217: the channel button; frame 1 is its normal look and frame 0 its pushed look.
    Save(Strip(20, 2, kKey,
               [](QPainter& p, int f) {
                   const bool pushed = f == 0;
                   p.setPen(QPen(ButtonColour(pushed), 1.5, Qt::SolidLine, Qt::RoundCap));
                   p.setBrush(Qt::NoBrush);
                   const double y = pushed ? 1 : 0;
                   p.drawRoundedRect(QRectF(2.5, 5.5 + y, 15, 11), 2, 2);
                   p.drawLine(QPointF(6, 5 + y), QPointF(13, 1.5 + y));
                   p.setBrush(ButtonColour(pushed));
                   p.drawEllipse(QPointF(7, 11 + y), 2.2, 2.2);
                   p.drawLine(QPointF(11.5, 9 + y), QPointF(15, 9 + y));
                   p.drawLine(QPointF(11.5, 12.5 + y), QPointF(15, 12.5 + y));
               }),
         "bmp217_channel.png");
}

// The program's sign: radio waves around a dot, cyan on a dark rounded square.
QImage Sign(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    QLinearGradient g(0, 0, 0, 32);
    g.setColorAt(0, QColor(28, 34, 40));
    g.setColorAt(1, QColor(6, 8, 10));
    p.setPen(QPen(kDimCyan, 1));
    p.setBrush(g);
    p.drawRoundedRect(QRectF(0.5, 0.5, 31, 31), 6, 6);
    p.setPen(QPen(kCyan, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    for (int r = 0; r < 2; ++r) {
        const double d = 10 + 8 * r;
        const QRectF box(16 - d / 2, 16 - d / 2, d, d);
        p.drawArc(box, -50 * 16, 100 * 16);
        p.drawArc(box, 130 * 16, 100 * 16);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(kCyan);
    p.drawEllipse(QPointF(16, 16), 3, 3);
    return image;
}

void Icon() {
    // 128 is drawn for the desktop's icon theme only; the program's window icon uses the others.
    for (int size : {16, 32, 48, 128, 256})
        Save(Sign(size), QString("icon128_%1.png").arg(size));
}

void Pictures() {
    // album.jpg: the default cover, a record with a cyan label.
    {
        QImage image = Canvas(120, 120, QColor(12, 14, 16));
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient bg(0, 0, 120, 120);
        bg.setColorAt(0, QColor(30, 36, 42));
        bg.setColorAt(1, QColor(8, 10, 12));
        p.fillRect(image.rect(), bg);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(4, 4, 5));
        p.drawEllipse(QPointF(60, 60), 50, 50);
        p.setBrush(Qt::NoBrush);
        for (int r = 18; r < 50; r += 4) {
            p.setPen(QPen(QColor(28, 30, 34), 1));
            p.drawEllipse(QPointF(60, 60), r, r);
        }
        p.setPen(QPen(QColor(255, 255, 255, 40), 3));
        p.drawArc(QRectF(22, 22, 76, 76), 100 * 16, 50 * 16);
        QRadialGradient label(QPointF(56, 56), 18);
        label.setColorAt(0, kPale);
        label.setColorAt(1, kCyan);
        p.setPen(Qt::NoPen);
        p.setBrush(label);
        p.drawEllipse(QPointF(60, 60), 15, 15);
        p.setBrush(QColor(4, 4, 5));
        p.drawEllipse(QPointF(60, 60), 2.5, 2.5);
        p.end();
        Save(image, "album.jpg", 92);
    }
    // vol.jpg: a small speaker sign beside the volume slider.
    {
        QImage image = Canvas(16, 16, Qt::black);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(kCyan);
        QPainterPath speaker;
        speaker.moveTo(1.5, 6);
        speaker.lineTo(4.5, 6);
        speaker.lineTo(8.5, 2.5);
        speaker.lineTo(8.5, 13.5);
        speaker.lineTo(4.5, 10);
        speaker.lineTo(1.5, 10);
        speaker.closeSubpath();
        p.drawPath(speaker);
        p.setPen(QPen(kCyan, 1.2, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(6, 5, 6, 6), -60 * 16, 120 * 16);
        p.drawArc(QRectF(4, 2.5, 11, 11), -60 * 16, 120 * 16);
        p.end();
        Save(image, "vol.jpg", 95);
    }
    // fm.jpg: the login banner, 420 x 90: the name over a quiet spectrum.
    {
        QImage image = Canvas(420, 90, Qt::black);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient bg(0, 0, 0, 90);
        bg.setColorAt(0, QColor(22, 30, 38));
        bg.setColorAt(1, QColor(2, 4, 6));
        p.fillRect(image.rect(), bg);
        for (int i = 0; i < 84; ++i) {
            const double h = 6 + 26 * std::fabs(std::sin(i * 0.37) * std::cos(i * 0.11));
            p.fillRect(QRectF(i * 5, 90 - h, 4, h), QColor(30, 100, 130, 150));
        }
        p.drawImage(QRectF(24, 18, 54, 54), Sign(108));
        QFont font("DejaVu Sans");
        font.setPixelSize(30);
        font.setBold(true);
        p.setFont(font);
        p.setPen(kCyan);
        p.drawText(QRectF(92, 18, 300, 36), Qt::AlignLeft | Qt::AlignVCenter, "LantorFM");
        font.setPixelSize(13);
        font.setBold(false);
        p.setFont(font);
        p.setPen(QColor(150, 170, 180));
        p.drawText(QRectF(94, 52, 300, 20), Qt::AlignLeft | Qt::AlignVCenter, "personal radio");
        p.end();
        Save(image, "fm.jpg", 92);
    }
    // account.jpg: the account picture, a head and shoulders.
    {
        QImage image = Canvas(96, 96, QColor(240, 240, 240));
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient bg(0, 0, 0, 96);
        bg.setColorAt(0, QColor(40, 48, 56));
        bg.setColorAt(1, QColor(14, 18, 22));
        p.setPen(Qt::NoPen);
        p.setBrush(bg);
        p.drawRoundedRect(QRectF(0, 0, 96, 96), 10, 10);
        p.setBrush(kCyan);
        p.drawEllipse(QPointF(48, 36), 17, 17);
        QPainterPath body;
        body.moveTo(16, 92);
        body.cubicTo(16, 62, 80, 62, 80, 92);
        body.closeSubpath();
        p.drawPath(body);
        p.end();
        Save(image, "account.jpg", 92);
    }
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    outDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("res");
    ListImages();
    SliderImages();
    ButtonImages();
    Icon();
    Pictures();
    return 0;
}
