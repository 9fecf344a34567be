#pragma once
#include <string>

// Figures the playback benchmarks share.
namespace PlaybackMeasures {

// CPU seconds this process has used so far.
double ProcessCpuSeconds();

// CPU seconds per second of playback when libmpg123 alone decodes the file, 1024 frames every
// 23.2 ms as an output would pull them: the floor any player is measured against. -1 when the
// file does not open.
double BareDecodeCpuPerSecond(const std::string& path);

} // namespace PlaybackMeasures
