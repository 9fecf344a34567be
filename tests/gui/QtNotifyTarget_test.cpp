#include "platform/Messages.h"
#include "platform/qt/QtNotifyTarget.h"
#include "tests/support/qt/PumpUntil.h"

#include <QCoreApplication>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(QtNotifyTarget, SendFromAWorkerRunsTheHandlerOnTheUiThreadAndReturnsItsResult) {
    QThread* uiThread = QThread::currentThread();
    std::atomic<bool> onUi{false};
    QtNotifyTarget target([&](unsigned m, std::uintptr_t w, std::intptr_t l) -> std::intptr_t {
        onUi = QThread::currentThread() == uiThread;
        return static_cast<std::intptr_t>(m + w + l);
    });
    std::atomic<std::intptr_t> result{-1};
    std::thread worker([&] { result = target.Send(msg::kPlaylistArrived, 10, 5); });
    EXPECT_TRUE(PumpUntil([&] { return result != -1; }));
    worker.join();
    EXPECT_TRUE(onUi);
    EXPECT_EQ(result, static_cast<std::intptr_t>(msg::kPlaylistArrived + 15));
    // On the UI thread itself the handler runs at once.
    EXPECT_EQ(target.Send(1, 2, 3), 6);
}

TEST(QtNotifyTarget, PostQueuesUntilTheEventLoopRuns) {
    int calls = 0;
    QtNotifyTarget target([&](unsigned, std::uintptr_t, std::intptr_t) -> std::intptr_t {
        ++calls;
        return 0;
    });
    target.Post(msg::kSliderRelease, 1009, 40);
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(PumpUntil([&] { return calls == 1; }));
}

TEST(QtNotifyTarget, ClosingReleasesABlockedSenderWithoutRunningTheHandler) {
    std::atomic<int> calls{0};
    auto target = std::make_unique<QtNotifyTarget>(
        [&](unsigned, std::uintptr_t, std::intptr_t) -> std::intptr_t { return ++calls; });
    std::atomic<bool> returned{false};
    std::atomic<std::intptr_t> result{-1};
    std::thread worker([&] {
        result = target->Send(msg::kSongStarting, 0, 0);
        returned = true;
    });
    // The UI thread does not pump: it is busy closing and joining its workers.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned);
    target->BeginClosing();
    worker.join();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(target->Send(1, 0, 0), 0);
    std::thread late([&] { EXPECT_EQ(target->Send(1, 0, 0), 0); });
    late.join();
    target.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0);
}

} // namespace
