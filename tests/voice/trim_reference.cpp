#include "tests/voice/trim_reference.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {
constexpr size_t kStep = 160;     // 20 ms at 8 kHz
constexpr size_t kMargin = 2000;  // 0.25 s
}  // namespace

ReferenceTrim ReferenceKept(const std::vector<short>& pcm) {
    ReferenceTrim trim;
    for (size_t at = 0; at < pcm.size(); at += kStep) {
        const size_t end = at + kStep < pcm.size() ? at + kStep : pcm.size();
        double power = 0;
        for (size_t i = at; i < end; ++i) {
            power += static_cast<double>(pcm[i]) * pcm[i];
        }
        const double rms = std::sqrt(power / static_cast<double>(end - at));
        trim.sound.push_back(rms > 0 && 20 * std::log10(rms / 32768) >= -45);
    }
    // The runs of sound, as [first step, one past the last step).
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t step = 0; step < trim.sound.size(); ++step) {
        if (trim.sound[step] && (step == 0 || !trim.sound[step - 1])) {
            runs.push_back({step, step + 1});
        } else if (trim.sound[step]) {
            runs.back().second = step + 1;
        }
    }
    // A last run under 0.1 s after at least 0.5 s of silence is the click of Stop.
    if (!runs.empty()) {
        const size_t quietBefore =
            runs.size() > 1 ? runs.back().first - runs[runs.size() - 2].second : runs.back().first;
        if (runs.back().second - runs.back().first < 5 && quietBefore >= 25) {
            runs.pop_back();
        }
    }
    trim.end = pcm.size();
    if (runs.empty()) {
        return trim;
    }
    trim.anySound = true;
    trim.firstSound = runs.front().first * kStep;
    const size_t soundEnd = std::min(runs.back().second * kStep, pcm.size());
    trim.first = trim.firstSound > kMargin ? trim.firstSound - kMargin : 0;
    trim.end = std::min(soundEnd + kMargin, pcm.size());
    return trim;
}
