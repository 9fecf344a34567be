// Throughput of WebClient::Get and WebClient::Download on a 4 MB body from a loopback server,
// beside the curl command-line tool fetching the same URL in the same run. Each transfer opens
// its own connection on both sides (the server closes after every answer).
#include "bench/BenchReport.h"
#include "service/WebClient.h"
#include "tests/support/TempDir.h"
#include "tools/LoopbackServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr size_t kBodyBytes = 4u << 20;
constexpr int kRounds = 5;
constexpr int kPerRound = 20;

using Clock = std::chrono::steady_clock;

double MegabytesPerSecond(double seconds, int transfers) {
    return kBodyBytes * static_cast<double>(transfers) / (1024.0 * 1024.0) / seconds;
}

// curl's own timing of each transfer (no process start-up counted), kPerRound in one run.
double CurlRound(const std::string& url, const std::string& output) {
    std::string cmd = "curl -s -H 'Connection: close' -w '%{time_total}\\n'";
    for (int i = 0; i < kPerRound; ++i)
        cmd += " -o " + output + " '" + url + "'";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) {
        std::perror("popen");
        std::exit(1);
    }
    double total = 0;
    int count = 0;
    double t;
    while (std::fscanf(p, "%lf", &t) == 1) {
        total += t;
        ++count;
    }
    if (pclose(p) != 0 || count != kPerRound) {
        std::fprintf(stderr, "curl failed\n");
        std::exit(1);
    }
    return MegabytesPerSecond(total, count);
}

} // namespace

int main() {
    const std::string body(kBodyBytes, 'x');
    LoopbackServer server{[&](LoopbackServer& s) {
        s.Get("/4mb", [&](const auto&, httplib::Response& res) {
            res.set_header("Connection", "close");
            res.set_content(body, "audio/mpeg");
        });
    }};
    TempDir cwd(true);
    cwd.MakeCacheFolders();
    const std::string url = server.Url("/4mb");
    WebClient web;

    auto getRound = [&] {
        auto start = Clock::now();
        for (int i = 0; i < kPerRound; ++i) {
            auto b = web.Get(url);
            if (!b || b->size() != kBodyBytes)
                std::exit(1);
        }
        return MegabytesPerSecond(std::chrono::duration<double>(Clock::now() - start).count(),
                                  kPerRound);
    };
    auto downloadRound = [&] {
        auto start = Clock::now();
        for (int i = 0; i < kPerRound; ++i) {
            if (web.Download(url, "bench", kCacheMusic) != kDownloadOk)
                std::exit(1);
        }
        return MegabytesPerSecond(std::chrono::duration<double>(Clock::now() - start).count(),
                                  kPerRound);
    };
    const std::string curlOut = (cwd.Path() / "curl.out").string();
    // Rounds alternate which side goes first, so that a busy moment of the machine hits both
    // alike; the in-memory pair runs before the file pair, whose written-back pages would slow
    // whatever follows.
    double get = 0, download = 0, curlNull = 0, curlFile = 0;
    for (int r = 0; r < kRounds * 2; ++r) {
        if (r % 2) {
            get = std::max(get, getRound());
            curlNull = std::max(curlNull, CurlRound(url, "/dev/null"));
        } else {
            curlNull = std::max(curlNull, CurlRound(url, "/dev/null"));
            get = std::max(get, getRound());
        }
    }
    for (int r = 0; r < kRounds * 2; ++r) {
        if (r % 2) {
            download = std::max(download, downloadRound());
            curlFile = std::max(curlFile, CurlRound(url, curlOut));
        } else {
            curlFile = std::max(curlFile, CurlRound(url, curlOut));
            download = std::max(download, downloadRound());
        }
    }

    std::printf("4 MB over loopback, best of %d rounds of %d transfers\n", kRounds * 2, kPerRound);
    std::printf("  WebClient::Get       %8.1f MB/s   curl -o /dev/null %8.1f MB/s   ratio %.2f\n",
                get, curlNull, get / curlNull);
    std::printf("  WebClient::Download  %8.1f MB/s   curl -o file      %8.1f MB/s   ratio %.2f\n",
                download, curlFile, download / curlFile);
    std::printf("  target: ratio at least 0.80\n");
    ReportFigure({.what = "WebClient::Get, 4 MB body over loopback",
                  .ours = get,
                  .unit = "MB/s",
                  .peer = "curl -o /dev/null",
                  .peerValue = curlNull,
                  .target = BenchFigure::Target::kRatioAtLeast,
                  .limit = 0.8});
    ReportFigure({.what = "WebClient::Download, 4 MB body over loopback into the cache",
                  .ours = download,
                  .unit = "MB/s",
                  .peer = "curl -o file",
                  .peerValue = curlFile,
                  .target = BenchFigure::Target::kRatioAtLeast,
                  .limit = 0.8});
    return 0;
}
