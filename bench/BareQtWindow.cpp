// The peer of the whole program's figures: a bare Qt 6 Widgets window of the main window's
// size with a line of text, nothing else. Prints "shown" once it has painted, then runs until
// it is closed or terminated.
#include <QApplication>
#include <QPainter>
#include <QWidget>
#include <cstdio>

namespace {

class BareWindow : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("bare Qt 6 window"));
        if (!painted_) {
            painted_ = true;
            std::printf("shown\n");
            std::fflush(stdout);
        }
    }

private:
    bool painted_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    BareWindow window;
    window.setWindowTitle(QStringLiteral("bare"));
    window.resize(471, 559); // the main window's size at 96 dpi
    window.show();
    return app.exec();
}
