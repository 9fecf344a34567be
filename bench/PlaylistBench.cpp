// AppendFromReply of a 1,000-song reply beside a bare jsoncpp parse of the same text, and of a
// 100,000-song reply, of which only the first 500 are kept.
#include "bench/BenchReport.h"
#include "service/SongList.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <json/json.h>
#include <string>

namespace {

std::string MakeReply(int songs) {
    std::string text = "{\"r\":0,\"is_show_quick_start\":0,\"song\":[";
    for (int i = 0; i < songs; ++i) {
        std::string n = std::to_string(i);
        text += (i ? "," : "");
        text += "{\"album\":\"/subject/" + n + "/\",\"picture\":\"http://127.0.0.1/pic/" + n +
                ".jpg\",\"ssid\":\"" + n + "\",\"artist\":\"\xE5\x91\xA8\xE6\x9D\xB0 / Band " + n +
                "\",\"url\":\"http://127.0.0.1/media/" + n +
                ".mp3\",\"company\":\"EMI\",\"title\":\"\xE6\x99\xB4\xE5\xA4\xA9 Song " + n +
                "\",\"rating_avg\":" + std::to_string(1.5 + (i % 7) * 0.5) +
                ",\"length\":245,\"subtype\":\"\",\"public_time\":\"2003\",\"sid\":\"" +
                std::to_string(100000 + i) + "\",\"aid\":\"" + std::to_string(2000 + i) +
                "\",\"sha256\":\"abcdef0123456789\",\"kbps\":\"64\",\"albumtitle\":\"\xE5\x8F\xB6"
                "\xE6\x83\xA0\xE7\xBE\x8E\",\"like\":" +
                std::to_string(i % 3 == 0) + "}";
    }
    return text + "]}";
}

template <typename F> double MinSeconds(int rounds, F f) {
    double best = 1e9;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        f();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, s);
    }
    return best;
}

} // namespace

int main() {
    const int kSongs = 1000;
    std::string reply = MakeReply(kSongs);
    double parse = MinSeconds(30, [&] {
        Json::Value root;
        Json::Reader reader;
        reader.parse(reply, root, false);
    });
    double append = MinSeconds(30, [&] {
        SongList list;
        list.AppendFromReply(reply, nullptr);
    });
    std::printf("reply: %zu bytes, %d songs\n", reply.size(), kSongs);
    std::printf("bare jsoncpp parse:  %8.2f us/song\n", parse * 1e6 / kSongs);
    std::printf("AppendFromReply:     %8.2f us/song\n", append * 1e6 / kSongs);
    std::printf("ratio: %.2f (target <= 1.5)\n", append / parse);
    ReportFigure({.what = "SongList::AppendFromReply, 1,000-song reply",
                  .ours = append * 1e6 / kSongs,
                  .unit = "µs/song",
                  .peer = "bare jsoncpp parse",
                  .peerValue = parse * 1e6 / kSongs,
                  .target = BenchFigure::Target::kRatioAtMost,
                  .limit = 1.5});
    const std::string huge = MakeReply(100000);
    const double hugeParse = MinSeconds(3, [&] {
        Json::Value root;
        Json::Reader reader;
        reader.parse(huge, root, false);
    });
    const double hugeAppend = MinSeconds(3, [&] {
        SongList list;
        list.AppendFromReply(huge, nullptr);
    });
    std::printf("100,000-song reply (%zu bytes): AppendFromReply %.1f ms, bare parse %.1f ms\n",
                huge.size(), hugeAppend * 1e3, hugeParse * 1e3);
    ReportFigure({.what = "SongList::AppendFromReply, 100,000-song reply (500 kept)",
                  .ours = hugeAppend * 1e3,
                  .unit = "ms",
                  .peer = "bare jsoncpp parse",
                  .peerValue = hugeParse * 1e3,
                  .target = BenchFigure::Target::kRatioAtMost,
                  .limit = 0.2});
    return 0;
}
