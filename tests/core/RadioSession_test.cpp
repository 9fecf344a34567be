// The session's sign-in and its back-off, on a clock the test moves, against the demo station.
#include "platform/Dispatcher.h"
#include "session/FolderSettings.h"
#include "session/RadioSession.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestStation.h"
#include "tests/support/WaitUntil.h"
#include "tools/DemoCatalog.h"

#include <gtest/gtest.h>

#include <deque>
#include <mutex>

namespace {

using namespace std::chrono_literals;

class ManualClock : public SessionClock {
public:
    struct Timer : SessionTimer {
        ManualClock& clock;
        std::function<void()> fire;
        std::int64_t due = -1; // -1: stopped
        Timer(ManualClock& c, std::function<void()> f) : clock(c), fire(std::move(f)) {}
        void Start(int ms) override { due = clock.now + ms; }
        void Stop() override { due = -1; }
        bool Active() const override { return due >= 0; }
    };
    std::int64_t NowMs() const override { return now; }
    std::unique_ptr<SessionTimer> MakeTimer(std::function<void()> fire) override {
        auto timer = std::make_unique<Timer>(*this, std::move(fire));
        timers.push_back(timer.get());
        return timer;
    }
    // Moves time on, firing what falls due.
    void Advance(std::int64_t ms) {
        now += ms;
        for (Timer* timer : timers)
            if (timer->due >= 0 && timer->due <= now) {
                timer->due = -1;
                timer->fire();
            }
    }
    std::int64_t now = 0;
    std::vector<Timer*> timers;
};

class ManualDispatcher : public Dispatcher {
public:
    void Post(std::function<void()> task) override {
        std::lock_guard<std::mutex> guard(lock);
        if (!closed)
            tasks.push_back(std::move(task));
    }
    void Close() override {
        std::lock_guard<std::mutex> guard(lock);
        closed = true;
        tasks.clear();
    }
    void Run() {
        for (;;) {
            std::function<void()> task;
            {
                std::lock_guard<std::mutex> guard(lock);
                if (closed || tasks.empty())
                    return;
                task = std::move(tasks.front());
                tasks.pop_front();
            }
            task();
        }
    }
    std::mutex lock;
    std::deque<std::function<void()>> tasks;
    bool closed = false;
};

// The empty folder's settings, on the station.
struct StationSettings : FolderSettings {
    std::string base;
    std::string ServiceBase() override { return base; }
};

using SignIn = RadioSession::SignIn;

TEST(RadioSession, SignsInTriesAgainOnTheBackOffAndNeverAfterARefusal) {
    TempDir dir(true);
    DemoStation station(TestStationOptions(1));
    ASSERT_TRUE(station.Start(0));
    const struct {
        std::string password;
        bool down;    // the station is down for the first three tries (which it does not log)
        bool held;    // the password comes later, empty
        SignIn state; // in the end
        std::size_t requests;
        std::string reason;
    } rows[] = {
        {DemoCatalog::kPassword, false, false, SignIn::kReady, 1, ""},
        {DemoCatalog::kPassword, true, false, SignIn::kReady, 1, ""},
        {"wrong password", false, false, SignIn::kFailed, 1, "wrong_password"},
        {std::string(1100, 'p'), false, false, SignIn::kFailed, 0, ""}, // cannot be sent
        {"", false, true, SignIn::kFailed, 0, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.password.substr(0, 20));
        station.ClearLog();
        station.SetFault(row.down ? StationFault::Down : StationFault::None);
        ManualClock clock;
        ManualDispatcher dispatcher;
        StationSettings settings;
        settings.base = station.BaseUrl();
        RadioSession session(dispatcher, clock, settings);
        std::vector<SessionEvent> events;
        session.Subscribe([&](const SessionEvent& e) { events.push_back(e); });
        session.SetCredentials(DemoCatalog::kEmail, row.password);
        if (row.held)
            session.HoldSignIn();
        session.Open();
        if (row.held)
            session.ResumeSignIn("");
        const auto settled = [&] {
            return WaitUntil(
                [&] {
                    dispatcher.Run();
                    return session.Snap().signIn != SignIn::kSigningIn || clock.timers[0]->Active();
                },
                20s);
        };
        for (std::size_t tries = 1; row.down && tries <= 3; ++tries) {
            ASSERT_TRUE(settled());
            // Not a moment before the back-off's step.
            clock.Advance(Backoff::kDelaysMs[tries - 1] - 1);
            EXPECT_TRUE(clock.timers[0]->Active()) << tries;
            if (tries == 3)
                station.ClearFault();
            clock.Advance(1);
        }
        ASSERT_TRUE(settled());
        EXPECT_EQ(session.Snap().signIn, row.state);
        clock.Advance(60'000); // a refusal is never tried again
        EXPECT_EQ(station.RequestsTo("/j/app/login").size(), row.requests);
        const auto told = [&](SessionEvent::Kind kind) {
            return std::find_if(events.begin(), events.end(),
                                [kind](const SessionEvent& e) { return e.kind == kind; });
        };
        EXPECT_EQ(told(SessionEvent::Kind::kSignedIn) != events.end(), row.state == SignIn::kReady);
        const auto failed = told(SessionEvent::Kind::kSignInFailed);
        ASSERT_EQ(failed != events.end(), row.state == SignIn::kFailed);
        if (failed != events.end()) {
            EXPECT_EQ(failed->text, row.reason);
            EXPECT_EQ(session.Snap().status, RadioSession::Status::kSignInFailed);
        }
    }
}

} // namespace
