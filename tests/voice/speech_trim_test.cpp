// The dead-air rule on synthesized recordings: random layouts of silence, speech and clicks,
// fed to the tracker in pieces of any size, against the rule worked out plainly
// (trim_reference.h). The first layouts are the ones a user meets most: silence at both ends,
// a click after the last word, silence throughout, speech to the very edges, a lone click;
// then the click rule's edges.
#include "voice/speech_trim.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tests/voice/trim_reference.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

enum class Part { kSilence, kHiss, kJustQuiet, kJustLoud, kSpeech, kClick };

// Appends `count` samples of one kind of sound.
void Append(std::vector<short>* pcm, Part part, size_t count, std::mt19937* random) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double hertz = 100 + 2900 * unit(*random);
    const double peak = 300 + 29000 * unit(*random);         // RMS at least 212: -43.8 dBFS
    const int hiss = static_cast<int>(150 * unit(*random));  // RMS under 87: -51.5 dBFS
    for (size_t i = 0; i < count; ++i) {
        short sample = 0;
        switch (part) {
            case Part::kSilence:
                break;
            case Part::kHiss:
                sample =
                    static_cast<short>(std::uniform_int_distribution<int>(-hiss, hiss)(*random));
                break;
            case Part::kJustQuiet:  // RMS 184: -45.01 dBFS
                sample = static_cast<short>(i % 2 != 0 ? 184 : -184);
                break;
            case Part::kJustLoud:  // RMS 185: -44.97 dBFS
                sample = static_cast<short>(i % 2 != 0 ? 185 : -185);
                break;
            case Part::kSpeech:
                sample =
                    static_cast<short>(std::lround(peak * std::sin(2 * kPi * hertz * i / 8000)));
                break;
            case Part::kClick:
                sample =
                    static_cast<short>(std::uniform_int_distribution<int>(-32768, 32767)(*random));
                break;
        }
        pcm->push_back(sample);
    }
}

struct Layout {
    std::vector<short> pcm;
    std::string parts;  // for the failure message
};

struct Run {
    Part part;
    size_t samples;
};

// The fixed layouts; none past them.
std::vector<Run> FixedRuns(int number) {
    switch (number) {
        case 0:  // silence at both ends, a pause inside the message
            return {{Part::kHiss, 8000},
                    {Part::kSpeech, 9600},
                    {Part::kSilence, 2400},
                    {Part::kSpeech, 6400},
                    {Part::kHiss, 12000}};
        case 1:  // a click 0.7 s after the last word
            return {{Part::kSilence, 4000},
                    {Part::kSpeech, 8000},
                    {Part::kHiss, 5600},
                    {Part::kClick, 320},
                    {Part::kSilence, 2400}};
        case 2:  // silence throughout
            return {{Part::kHiss, 7000}, {Part::kJustQuiet, 3000}, {Part::kSilence, 6000}};
        case 3:  // speech to the very edges
            return {{Part::kSpeech, 12000}, {Part::kJustLoud, 1000}, {Part::kSpeech, 3001}};
        case 4:  // only the click: silence throughout
            return {{Part::kSilence, 8000}, {Part::kClick, 480}, {Part::kHiss, 4000}};
        case 5:  // a click only 0.4 s after the last word is not Stop's
            return {{Part::kSpeech, 8000},
                    {Part::kSilence, 3200},
                    {Part::kClick, 320},
                    {Part::kSilence, 4000}};
        case 6:  // a click after exactly 0.5 s of silence is Stop's; after 0.48 s it is not
            return {{Part::kSpeech, 8000},
                    {Part::kSilence, 4000},
                    {Part::kClick, 320},
                    {Part::kSilence, 800}};
        case 7:
            return {{Part::kSpeech, 8000},
                    {Part::kSilence, 3840},
                    {Part::kClick, 320},
                    {Part::kSilence, 800}};
        case 8:  // two clicks 20 ms apart are one sound of their own, not a lone click
            return {{Part::kSpeech, 8000}, {Part::kSilence, 4000}, {Part::kClick, 320},
                    {Part::kSilence, 160}, {Part::kClick, 320},    {Part::kSilence, 1000}};
        default:
            return {};
    }
}

// Layout `number`: the fixed ones first, then random runs of every kind.
Layout MakeLayout(int number, std::mt19937* random) {
    std::vector<Run> runs = FixedRuns(number);
    if (runs.empty()) {
        const int count = std::uniform_int_distribution<int>(1, 8)(*random);
        for (int i = 0; i < count; ++i) {
            const Part part = static_cast<Part>(std::uniform_int_distribution<int>(0, 5)(*random));
            const size_t longest = part == Part::kClick ? 1000 : 20000;
            size_t samples = std::uniform_int_distribution<size_t>(1, longest)(*random);
            // Half of them in whole steps, where the rule's edges are met exactly.
            if (std::uniform_int_distribution<int>(0, 1)(*random) == 1) {
                samples = (samples + kStepSamples - 1) / kStepSamples * kStepSamples;
            }
            runs.push_back({part, samples});
        }
    }
    Layout layout;
    const char* names[] = {"silence", "hiss", "just quiet", "just loud", "speech", "click"};
    for (const Run& run : runs) {
        Append(&layout.pcm, run.part, run.samples, random);
        layout.parts += std::string(names[static_cast<int>(run.part)]) + " " +
                        std::to_string(run.samples) + ", ";
    }
    return layout;
}

TEST(SpeechTrimTest, RandomLayoutsKeepWhatTheRuleKeeps) {
    constexpr int kLayouts = 400;
    for (int number = 0; number < kLayouts; ++number) {
        std::mt19937 random(static_cast<unsigned>(number) + 1);
        const Layout layout = MakeLayout(number, &random);
        const ReferenceTrim expected = ReferenceKept(layout.pcm);
        SCOPED_TRACE("layout " + std::to_string(number) + ": " + layout.parts);

        // The first step of sound, a final click included: what streaming sees first.
        size_t firstLoudStep = expected.sound.size();
        for (size_t step = 0; step < expected.sound.size(); ++step) {
            if (expected.sound[step]) {
                firstLoudStep = step;
                break;
            }
        }

        SpeechTrim trim;
        StartSpeechTrim(&trim);
        for (size_t fed = 0; fed < layout.pcm.size();) {
            size_t piece = std::uniform_int_distribution<size_t>(1, 5000)(random);
            piece = std::min(piece, layout.pcm.size() - fed);
            FeedSpeechTrim(&trim, layout.pcm.data() + fed, static_cast<DWORD>(piece));
            fed += piece;
            // Known as soon as its step is complete, and not before.
            DWORD first = 0;
            const bool complete = (firstLoudStep + 1) * kStepSamples <= fed;
            ASSERT_EQ(FirstSoundSoFar(&trim, &first), complete) << "after " << fed;
            if (complete) {
                ASSERT_EQ(first, firstLoudStep * kStepSamples) << "after " << fed;
            }
        }
        const KeptPart kept = FinishSpeechTrim(&trim);
        ASSERT_EQ(kept.first, expected.first);
        ASSERT_EQ(kept.end, expected.end);

        // Never an empty file; nothing louder left out but one final click.
        ASSERT_EQ(kept.first < kept.end, !layout.pcm.empty());
        if (expected.anySound) {
            std::vector<size_t> after;
            for (size_t step = 0; step < expected.sound.size(); ++step) {
                ASSERT_FALSE(expected.sound[step] && step * kStepSamples < expected.first)
                    << "step " << step;
                if (expected.sound[step] && step * kStepSamples >= expected.end) {
                    after.push_back(step);
                }
            }
            ASSERT_LT(after.size(), kClickSteps);
            ASSERT_TRUE(after.empty() || after.back() - after.front() + 1 == after.size());
        }
    }
}

}  // namespace
