#pragma once
#include <kissfft/kiss_fftr.h>

#include <cstddef>
#include <mutex>
#include <vector>

// Magnitude spectrum of 1024 mono samples in -1..1: Hann window, real FFT, 512 bins from DC
// upwards on a linear scale, where a full-scale sine centred on a bin reads 1.0 in that bin.
class SpectrumAnalyzer {
public:
    static constexpr size_t kSize = 1024;
    static constexpr size_t kBins = kSize / 2;

    SpectrumAnalyzer();
    ~SpectrumAnalyzer();
    SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
    SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

    // Thread-safe. samples: kSize values, oldest first; bins: room for kBins values.
    void Analyze(const float* samples, float* bins);

private:
    std::vector<float> window_; // constant after construction

    std::mutex mutex_;
    // Guarded by mutex_ (kissfft keeps its scratch space in the configuration).
    kiss_fftr_cfg config_ = nullptr;
    std::vector<kiss_fft_scalar> input_;
    std::vector<kiss_fft_cpx> output_;
};
