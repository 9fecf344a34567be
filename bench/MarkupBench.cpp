// MarkupDoc::Load on a 1 MB lyrics result page beside libxml2's HTML parser (recover mode) on
// the same bytes and pugixml on a well-formed copy, a bare memchr pass as the floor, and the
// growth of the load time for N nested unclosed tags. Prints the ratios at the end.
#include "bench/BenchReport.h"
#include "lyrics/markup/MarkupDoc.h"

#include <benchmark/benchmark.h>
#include <libxml/HTMLparser.h>
#include <pugixml.hpp>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

constexpr size_t kPageBytes = 1 << 20;

class Random {
public:
    std::uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }

private:
    std::uint32_t state_ = 2463534242u;
};

// GB2312 level-1 characters: lead 0xB0-0xD7, trail 0xA1-0xFE.
std::string Hanzi(Random& r, int count) {
    std::string s;
    for (int k = 0; k < count; ++k) {
        s += static_cast<char>(0xB0 + r.Below(0xD7 - 0xB0 + 1));
        s += static_cast<char>(0xA1 + r.Below(0xFE - 0xA1 + 1));
    }
    return s;
}

// A second-site style result page: a head with style and script, a menu, then items with
// title, artist, album, link and a lyrics preview. The lenient form has what real pages have:
// upper-case closing anchors, unclosed br and img, unquoted values, HTML entities.
std::string ResultPage(bool wellFormed, int* items = nullptr) {
    Random r;
    const std::string endA = wellFormed ? "</a>" : "</A>";
    const std::string br = wellFormed ? "<br/>" : "<br>";
    const std::string imgEnd = wellFormed ? "\"/>" : "\">";
    std::string page = "<html><head><title>" + Hanzi(r, 4) +
                       "</title><meta http-equiv=\"Content-Type\" content=\"text/html\"" +
                       (wellFormed ? "/>" : ">") + "<style type=\"text/css\">";
    for (int k = 0; k < 60; ++k)
        page += ".c" + std::to_string(k) + " { margin: 0 4px; color: #336699; float: left; }\n";
    page += "</style><script type=\"text/javascript\">";
    for (int k = 0; k < 60; ++k)
        page += "function f" + std::to_string(k) + "(a, b) { return a &amp;&amp; b ? a : b; }\n";
    page += "</script></head><body><div id=\"menu\"><ul>";
    for (int k = 0; k < 12; ++k)
        page += "<li><a href=\"/c/" + std::to_string(k) + "/\">" + Hanzi(r, 2) + endA + "</li>";
    page += "</ul></div><div class=\"list\"><ul>";
    int count = 0;
    while (page.size() < kPageBytes - 4096) {
        std::string id = std::to_string(100000 + r.Below(900000));
        std::string title = Hanzi(r, 2 + r.Below(5));
        page += "<li><div class=\"slmc\"><a href=\"/lrc/" + id +
                ".htm\" target=\"_blank\" title=\"" + title + "\">" + title + endA + "</div>";
        page += "<div class=\"acll\"><a href=\"/singer/" + id + "/\">" + Hanzi(r, 3) + endA +
                " &amp; <a href=\"/singer/" + id + "1/\">" + Hanzi(r, 2) + endA + "</div>";
        page += "<div class=\"slzj\">" + Hanzi(r, 2) + ": <a href=\"/album/" + id + "/\">" +
                Hanzi(r, 4) + endA + "</div>";
        page += "<div class=\"slczt\"><a href=\"/download/" + id + ".lrc?t=1&amp;src=list\">" +
                "<img src=\"/img/down.gif\" alt=\"" + Hanzi(r, 2) + imgEnd + Hanzi(r, 2) + endA +
                "</div><div class=\"slgc\">";
        for (int line = 0; line < 24; ++line)
            page += Hanzi(r, 6 + r.Below(10)) + "&nbsp;" + Hanzi(r, 4) + br + "\n";
        page += "</div><div class=\"sltj\"><span class=\"n\">" + std::to_string(r.Below(99999)) +
                "</span>" + Hanzi(r, 1) +
                " &middot; <font color=" + (wellFormed ? "\"red\"" : "red") + ">" + Hanzi(r, 1) +
                "</font></div></li>\n";
        ++count;
    }
    page += "</ul></div><div id=\"footer\">" + Hanzi(r, 20) + "</div></body></html>";
    if (items)
        *items = count;
    return page;
}

const std::string& LenientPage() {
    static const std::string page = ResultPage(false);
    return page;
}

const std::string& WellFormedPage() {
    static const std::string page = ResultPage(true);
    return page;
}

void BM_MarkupDocLoad(benchmark::State& state) {
    const std::string& page = LenientPage();
    MarkupDoc doc;
    for (auto _ : state) {
        doc.Load(std::string_view(page));
        benchmark::DoNotOptimize(doc.ElementCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
    state.counters["elements"] = doc.ElementCount();
}
BENCHMARK(BM_MarkupDocLoad)->Unit(benchmark::kMillisecond);

void BM_Libxml2HtmlRecover(benchmark::State& state) {
    const std::string& page = LenientPage();
    const int options =
        HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET;
    for (auto _ : state) {
        htmlDocPtr doc =
            htmlReadMemory(page.data(), static_cast<int>(page.size()), nullptr, nullptr, options);
        benchmark::DoNotOptimize(doc);
        xmlFreeDoc(doc);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_Libxml2HtmlRecover)->Unit(benchmark::kMillisecond);

void BM_PugixmlWellFormed(benchmark::State& state) {
    const std::string& page = WellFormedPage();
    for (auto _ : state) {
        pugi::xml_document doc;
        pugi::xml_parse_result result =
            doc.load_buffer(page.data(), page.size(), pugi::parse_default, pugi::encoding_utf8);
        if (!result)
            state.SkipWithError(result.description());
        benchmark::DoNotOptimize(doc.first_child());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_PugixmlWellFormed)->Unit(benchmark::kMillisecond);

void BM_Memchr(benchmark::State& state) {
    const std::string& page = LenientPage();
    for (auto _ : state) {
        size_t count = 0;
        for (const char* p = page.data();
             (p = static_cast<const char*>(std::memchr(p, '<', page.data() + page.size() - p)));
             ++p)
            ++count;
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page.size()));
}
BENCHMARK(BM_Memchr)->Unit(benchmark::kMillisecond);

// N unclosed nested tags closed by the end tag of the outermost one.
void BM_NestedUnclosed(benchmark::State& state) {
    std::string text = "<root>";
    for (int64_t k = 0; k < state.range(0); ++k)
        text += "<a>";
    text += "</root>";
    MarkupDoc doc;
    for (auto _ : state) {
        doc.Load(std::string_view(text));
        benchmark::DoNotOptimize(doc.ElementCount());
    }
}
BENCHMARK(BM_NestedUnclosed)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Keeps the figures of every run for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            Figures& f = figures_[run.benchmark_name()];
            f.seconds = run.GetAdjustedRealTime() / 1e3; // the benchmarks report milliseconds
            auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end())
                f.bytesPerSecond = it->second;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintSummary() const {
        double ours = Rate("BM_MarkupDocLoad");
        double libxml2 = Rate("BM_Libxml2HtmlRecover");
        double pugixml = Rate("BM_PugixmlWellFormed");
        double memchr = Rate("BM_Memchr");
        int items = 0;
        ResultPage(false, &items);
        std::printf("\nPage: %zu bytes, %d items\n", LenientPage().size(), items);
        std::printf("MarkupDoc %.0f MB/s, libxml2 %.0f MB/s, pugixml %.0f MB/s, memchr %.0f MB/s\n",
                    ours / 1e6, libxml2 / 1e6, pugixml / 1e6, memchr / 1e6);
        if (libxml2 > 0 && ours > 0)
            std::printf("MarkupDoc / libxml2: %.1f times (target: at least 10)\n", ours / libxml2);
        if (pugixml > 0 && ours > 0)
            std::printf("pugixml / MarkupDoc: %.2f times (target: at most 3)\n", pugixml / ours);
        double small = Seconds("BM_NestedUnclosed/10000");
        double large = Seconds("BM_NestedUnclosed/100000");
        if (small > 0 && large > 0)
            std::printf("Nested unclosed tags: 10,000 in %.3f ms, 100,000 in %.3f ms, growth %.1f "
                        "times (target: at most 12)\n",
                        small * 1e3, large * 1e3, large / small);

        const std::string load = "MarkupDoc::Load, 1 MB lenient lyrics result page";
        ReportFigure({.what = load,
                      .ours = ours / 1e6,
                      .unit = "MB/s",
                      .peer = "libxml2 HTML parser, recover mode",
                      .peerValue = libxml2 / 1e6,
                      .target = BenchFigure::Target::kRatioAtLeast,
                      .limit = 10});
        ReportFigure({.what = load,
                      .ours = ours / 1e6,
                      .unit = "MB/s",
                      .peer = "pugixml on a well-formed copy",
                      .peerValue = pugixml / 1e6,
                      .target = BenchFigure::Target::kRatioAtLeast,
                      .limit = 1.0 / 3});
        ReportFigure({.what = "MarkupDoc::Load, 100,000 nested unclosed tags",
                      .ours = large * 1e3,
                      .unit = "ms",
                      .peer = "MarkupDoc, 10,000 tags",
                      .peerValue = small * 1e3,
                      .target = BenchFigure::Target::kRatioAtMost,
                      .limit = 12});
    }

private:
    struct Figures {
        double seconds = 0;
        double bytesPerSecond = 0;
    };
    double Rate(const std::string& name) const {
        auto it = figures_.find(name);
        return it == figures_.end() ? 0 : it->second.bytesPerSecond;
    }
    double Seconds(const std::string& name) const {
        auto it = figures_.find(name);
        return it == figures_.end() ? 0 : it->second.seconds;
    }
    std::map<std::string, Figures> figures_;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    xmlInitParser();
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintSummary();
    benchmark::Shutdown();
    xmlCleanupParser();
    return 0;
}
