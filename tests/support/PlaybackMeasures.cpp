#include "tests/support/PlaybackMeasures.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <mpg123.h>
#include <thread>
#include <vector>

namespace PlaybackMeasures {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double BareDecodeCpuPerSecond(const std::string& path) {
    mpg123_init();
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(mh);
    mpg123_format(mh, 44100, MPG123_STEREO, MPG123_ENC_SIGNED_16);
    if (mpg123_open(mh, path.c_str()) != MPG123_OK)
        return -1;
    std::vector<unsigned char> buffer(1024 * 4);
    const auto period = std::chrono::duration_cast<Clock::duration>(1024.0s / 44100.0);
    const double cpu0 = ProcessCpuSeconds();
    const auto t0 = Clock::now();
    auto next = t0;
    size_t done = 0;
    for (;;) {
        const int result = mpg123_read(mh, buffer.data(), buffer.size(), &done);
        if (result != MPG123_OK && result != MPG123_NEW_FORMAT)
            break;
        next += period;
        std::this_thread::sleep_until(next);
    }
    const double cpu = ProcessCpuSeconds() - cpu0;
    const double played = std::chrono::duration<double>(Clock::now() - t0).count();
    mpg123_close(mh);
    mpg123_delete(mh);
    return cpu / played;
}

double PrintLatency(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("  %-36s median %6.2f ms   max %6.2f ms\n", what, ms[ms.size() / 2], ms.back());
    return ms[ms.size() / 2];
}

} // namespace PlaybackMeasures
