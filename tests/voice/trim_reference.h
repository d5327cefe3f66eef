// The dead-air rule worked out the plain way, over a whole recording at once, in decibels: the
// reference that the streaming tracker and the converter are checked against.
#pragma once
#include <cstddef>
#include <vector>

struct ReferenceTrim {
    std::vector<bool> sound;  // per 20 ms step (the last may be shorter): louder than -45 dBFS
    bool anySound = false;    // a step of sound other than the final click
    size_t firstSound = 0;    // where the first step of sound starts
    size_t first = 0;         // the part to keep: its first sample
    size_t end = 0;           // and one past its last
};

ReferenceTrim ReferenceKept(const std::vector<short>& pcm);
