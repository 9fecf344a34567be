#include "bench/BenchReport.h"

#include <cmath>
#include <cstdio>
#include <string>

std::string FormatFigure(double value) {
    const double size = std::fabs(value);
    const int decimals = size >= 100 ? 0 : size >= 10 ? 1 : size >= 1 ? 2 : 3;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

namespace {

std::string WithUnit(double value, const std::string& unit) {
    return unit.empty() ? FormatFigure(value) : FormatFigure(value) + " " + unit;
}

// Targets are round numbers: no trailing zeros.
std::string Limit(double value, const std::string& unit = {}) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3g", value);
    return unit.empty() ? text : text + (" " + unit);
}

} // namespace

void ReportFigure(const BenchFigure& f) {
    using Target = BenchFigure::Target;
    const bool measured = f.ours >= 0 && (f.peer.empty() || f.peerValue >= 0);
    const bool comparable = measured && !f.peer.empty() && f.peerValue > 0;
    const double ratio = comparable ? f.ours / f.peerValue : 0;

    std::string ours = f.ours >= 0 ? WithUnit(f.ours, f.unit) : "failed";
    std::string peer = "—";
    if (!f.peer.empty())
        peer = f.peer + ": " + (f.peerValue >= 0 ? WithUnit(f.peerValue, f.unit) : "failed");
    std::string ratioText = comparable ? FormatFigure(ratio) : "—";

    std::string target = "—";
    std::string met = "—";
    auto verdict = [&](bool ok) { met = !measured ? "**failed**" : ok ? "yes" : "**no**"; };
    switch (f.target) {
    case Target::kNone:
        break;
    case Target::kOursBelow:
        target = "< " + Limit(f.limit, f.unit);
        verdict(f.ours < f.limit);
        break;
    case Target::kOursAtMost:
        target = "≤ " + Limit(f.limit, f.unit);
        verdict(f.ours <= f.limit);
        break;
    case Target::kRatioAtMost:
        target = "ratio ≤ " + Limit(f.limit);
        verdict(comparable && ratio <= f.limit);
        break;
    case Target::kRatioAtLeast:
        target = "ratio ≥ " + Limit(f.limit);
        verdict(comparable && ratio >= f.limit);
        break;
    }
    std::printf("%s| %s | %s | %s | %s | %s | %s |\n", kFigurePrefix, f.what.c_str(), ours.c_str(),
                peer.c_str(), ratioText.c_str(), target.c_str(), met.c_str());
    std::fflush(stdout);
}
