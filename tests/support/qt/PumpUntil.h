#pragma once
#include <QApplication>
#include <QElapsedTimer>

// Runs the UI thread's event loop until done() holds or ms have passed; done()'s last answer.
// Workers report through queued calls, so a test must pump while it waits for them.
template <typename Pred> bool PumpUntil(Pred done, int ms = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}
