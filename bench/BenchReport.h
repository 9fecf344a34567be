#pragma once
#include <string>

// One row of the performance report: our figure beside the peer's, measured in the same run,
// and the target it is held to. Every benchmark prints its rows with ReportFigure; scripts/bench
// gathers the lines that start with kFigurePrefix into one table.
struct BenchFigure {
    enum class Target {
        kNone,
        kOursBelow,    // ours < limit
        kOursAtMost,   // ours <= limit
        kRatioAtMost,  // ours / peer <= limit
        kRatioAtLeast, // ours / peer >= limit
    };

    std::string what = {}; // what was measured, with the conditions that matter
    double ours = 0;
    std::string unit = {}; // of ours and the peer's figure
    std::string peer = {}; // what the peer is; empty when there is none
    double peerValue = 0;  // in unit
    Target target = Target::kNone;
    double limit = 0;
};

inline constexpr const char* kFigurePrefix = "figure: ";

// Prints the row as a Markdown table line after kFigurePrefix: what | ours | peer | ratio |
// target | met. A figure below zero counts as a failed measurement.
void ReportFigure(const BenchFigure& figure);

// A value with as many decimals as its size calls for (3 significant digits, none dropped
// before the point).
std::string FormatFigure(double value);
