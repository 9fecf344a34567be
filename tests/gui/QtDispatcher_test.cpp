#include "platform/qt/QtDispatcher.h"
#include "tests/support/qt/PumpUntil.h"

#include <QCoreApplication>
#include <QThread>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

namespace {

// Tasks posted from the UI thread and from a worker run later on the UI thread, in order; after
// Close, neither the queued ones nor later ones run.
TEST(QtDispatcher, RunsPostedTasksLaterOnItsThreadInOrderAndNoneAfterClose) {
    for (const bool closeFirst : {false, true}) {
        SCOPED_TRACE(closeFirst);
        QtDispatcher dispatcher;
        QThread* ui = QThread::currentThread();
        std::vector<int> ran; // UI thread only
        bool offThread = false;
        auto post = [&](int n) {
            dispatcher.Post([&, n] {
                offThread |= QThread::currentThread() != ui;
                ran.push_back(n);
            });
        };
        post(1);
        std::thread worker([&] {
            for (int n = 2; n <= 100; ++n)
                post(n);
        });
        worker.join();
        EXPECT_TRUE(ran.empty()); // never inside Post
        if (closeFirst) {
            dispatcher.Close();
            post(101);
            QCoreApplication::processEvents();
            EXPECT_TRUE(ran.empty());
            continue;
        }
        ASSERT_TRUE(PumpUntil([&] { return ran.size() == 100; }));
        for (int n = 1; n <= 100; ++n)
            ASSERT_EQ(ran[static_cast<std::size_t>(n - 1)], n);
        EXPECT_FALSE(offThread);
    }
}

} // namespace
