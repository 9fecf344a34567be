#include "platform/audio/SpectrumAnalyzer.h"

#include <cmath>
#include <numbers>

#include "platform/OutOfMemory.h"

SpectrumAnalyzer::SpectrumAnalyzer()
    : window_(kSize), config_(kiss_fftr_alloc(kSize, 0, nullptr, nullptr)), input_(kSize),
      output_(kBins + 1) {
    if (!config_)
        ExitOutOfMemory();
    for (size_t i = 0; i < kSize; ++i)
        window_[i] = static_cast<float>(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kSize));
}

SpectrumAnalyzer::~SpectrumAnalyzer() {
    kiss_fftr_free(config_);
}

void SpectrumAnalyzer::Analyze(const float* samples, float* bins) {
    // A sine of amplitude A puts A/2 into its bin, times the window's sum N/2: scale by 4/N.
    constexpr float kScale = 4.0f / kSize;
    std::lock_guard lock(mutex_);
    for (size_t i = 0; i < kSize; ++i)
        input_[i] = samples[i] * window_[i];
    kiss_fftr(config_, input_.data(), output_.data());
    for (size_t k = 0; k < kBins; ++k) // no hypot: these never come near overflow, and it is slow
        bins[k] = std::sqrt(output_[k].r * output_[k].r + output_[k].i * output_[k].i) * kScale;
}
