#include "app/InstanceGuard.h"
#include "tests/support/TempDir.h"
#include "tests/support/qt/PumpUntil.h"

#include <QLocalSocket>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

// Connections that never send a whole line, each dropped after its time or its 4 KiB, while a
// hand-over behind them is still served; only a whole "raise" line raises.
TEST(InstanceGuard, DropsConnectionsWithoutALineAndStillServesTheHandOver) {
    TempDir dir(true);
    InstanceGuard guard;
    ASSERT_TRUE(guard.Acquire());
    int raised = 0;
    QObject::connect(&guard, &InstanceGuard::raiseRequested, [&] { ++raised; });
    const QByteArray sent[] = {
        {},                                // silent
        QByteArray(1 << 20, 'x'),          // a line that never ends
        "raise",                           // no line feed
        "raisex\n",                        // not the line
        QByteArray(5000, ' ') + "raise\n", // past the 4 KiB
    };
    std::vector<std::unique_ptr<QLocalSocket>> peers;
    for (const QByteArray& bytes : sent) {
        peers.push_back(std::make_unique<QLocalSocket>());
        peers.back()->connectToServer(InstanceGuard::SocketName());
        ASSERT_TRUE(peers.back()->waitForConnected(5000));
        peers.back()->write(bytes);
    }
    ASSERT_TRUE(InstanceGuard().HandOver());
    EXPECT_TRUE(PumpUntil([&] { return raised > 0; }, 60000));
    for (std::size_t i = 0; i < peers.size(); ++i)
        EXPECT_TRUE(PumpUntil([&] { return peers[i]->state() == QLocalSocket::UnconnectedState; }))
            << "connection " << i << " was kept";
    EXPECT_EQ(raised, 1);
}

} // namespace
