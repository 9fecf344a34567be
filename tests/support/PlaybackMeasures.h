#pragma once
#include <string>
#include <vector>

// Figures the playback benchmarks share.
namespace PlaybackMeasures {

// CPU seconds this process has used so far.
double ProcessCpuSeconds();

// CPU seconds per second of playback when libmpg123 alone decodes the file, 1024 frames every
// 23.2 ms as an output would pull them: the floor any player is measured against. -1 when the
// file does not open.
double BareDecodeCpuPerSecond(const std::string& path);

// One line: what, the median and the maximum of the times in milliseconds (not empty). Returns
// the median.
double PrintLatency(const char* what, std::vector<double> ms);

} // namespace PlaybackMeasures
