#include "scrobble/ScrobbleClock.h"

#include <chrono>

namespace {

class SystemClock final : public ScrobbleClock {
public:
    std::int64_t SteadyMs() const override {
        using namespace std::chrono;
        return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    }
    std::int64_t UtcSeconds() const override {
        using namespace std::chrono;
        return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
    }
};

} // namespace

const ScrobbleClock& ScrobbleClock::System() {
    static const SystemClock clock;
    return clock;
}
