// The µ-law encoder against G.711's own table of decision values, over every 16-bit sample,
// and encoder and header byte for byte against WAVs that sox wrote (mu_law_fixtures.rc).
#include "voice/mu_law.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// The resource as bytes; empty, with a failure, when it is missing.
std::vector<BYTE> Fixture(int id) {
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RCDATA
    HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
    const BYTE* bytes =
        loaded != nullptr ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (bytes == nullptr) {
        ADD_FAILURE() << "no fixture " << id << " in the test exe";
        return {};
    }
    return std::vector<BYTE>(bytes, bytes + SizeofResource(nullptr, found));
}

// G.711's µ-law decision values on its 14-bit scale (a 16-bit sample is 4 units of it): the
// lower edge of each of the 128 magnitude intervals. Segment 0 has 16 intervals of 2 (the
// first only 1 wide), segment s>0 has 16 of 2^(s+1) from 31, 95, 223, 479, 991, 2015, 4063;
// above 8159 everything falls into the last interval.
std::vector<int> DecisionValues() {
    const int starts[8] = {-1, 31, 95, 223, 479, 991, 2015, 4063};
    std::vector<int> lower(128);
    for (int segment = 0; segment < 8; ++segment) {
        for (int step = 0; step < 16; ++step) {
            lower[segment * 16 + step] = starts[segment] + step * (2 << segment);
        }
    }
    lower[0] = 0;
    return lower;
}

TEST(MuLawTest, EverySampleFallsInTheIntervalOfItsCode) {
    const std::vector<int> lower = DecisionValues();
    for (int sample = -32768; sample <= 32767; ++sample) {
        // The interval whose lower edge is the last one at or below the magnitude.
        const int magnitude = std::abs(sample);
        int interval = 127;
        while (4 * lower[interval] > magnitude) {
            --interval;
        }
        // Positive codes count down from 0xFF, negative ones from 0x7F.
        const BYTE expected = static_cast<BYTE>((sample < 0 ? 0x7F : 0xFF) - interval);
        ASSERT_EQ(MuLawFromLinear(static_cast<short>(sample)), expected) << "sample " << sample;
    }
    // The landmarks: silence, the smallest step each way, both ends of the range.
    EXPECT_EQ(MuLawFromLinear(0), 0xFF);
    EXPECT_EQ(MuLawFromLinear(-1), 0x7F);
    EXPECT_EQ(MuLawFromLinear(4), 0xFE);
    EXPECT_EQ(MuLawFromLinear(32767), 0x80);
    EXPECT_EQ(MuLawFromLinear(-32768), 0x00);
}

TEST(MuLawTest, RampAndHeaderMatchWhatSoxWrites) {
    std::vector<short> ramp;
    for (int sample = -32768; sample < 32768; sample += 4) {
        ramp.push_back(static_cast<short>(sample));
    }
    const std::vector<BYTE> sox = Fixture(1);
    ASSERT_EQ(sox.size(), kMuLawHeaderBytes + ramp.size());

    std::vector<BYTE> ours(kMuLawHeaderBytes + ramp.size());
    BuildMuLawHeader(ours.data(), static_cast<DWORD>(ramp.size()));
    EncodeMuLaw(ramp.data(), static_cast<DWORD>(ramp.size()), ours.data() + kMuLawHeaderBytes);
    EXPECT_EQ(ours, sox);

    // Three samples: an odd data size, whose pad byte the RIFF size counts.
    const std::vector<BYTE> odd = Fixture(2);
    ASSERT_EQ(odd.size(), kMuLawHeaderBytes + 4);
    BYTE header[kMuLawHeaderBytes];
    BuildMuLawHeader(header, 3);
    EXPECT_EQ(std::vector<BYTE>(header, header + kMuLawHeaderBytes),
              std::vector<BYTE>(odd.begin(), odd.begin() + kMuLawHeaderBytes));
}

}  // namespace
