#!/usr/bin/env python3
"""The hand-over's conversion against sox converting the same voice file.

  python3 bench/handover_vs_sox.py [--build build/x64] [--rounds 7] [--minutes 10]

Makes, once, in <build>/bench/handover/, a voice file of real speech: espeak-ng reads a text,
sox resamples it to 8 kHz mono 16-bit, repeats it to the length with 1 s of silence at each
end, and writes it as GSM 6.10 with -e gsm-full-rate (the 60-byte layout that Kestrune
records; the bench checks it). Then rounds, in alternating order: handover_bench.exe under Wine
(cmake/wine-run.sh, the build's own prefix), whose figure is the median of its own 3
conversions (performance counter, inside the process), and `sox VOICE -e u-law OUT`, timed
from the start to the end of its process. Prints each round, both medians and their ratio,
the sizes of a one-minute message as recorded and as handed over, what the window's thread
spends on a hand-over (the private copy of the voice file; the conversion runs on a worker),
and whether the copy holds byte for byte the µ-law that sox writes without dither (-D) for the
part kept.

Build first: cmake --build --preset x64 --target handover_bench
"""

import argparse
import os
import statistics
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from handover_support import (RATE, Failure, call, speech, windows_path, wine_run,  # noqa: E402
                              write_wav)

TEXT = ("Hello, this is a message from Kestrune. I am calling about the meeting on Thursday "
        "afternoon. Could you please bring the quarterly figures and the printed agenda? If "
        "anything changes, just send me a short note. Thanks a lot, and talk to you soon.")
MU_LAW_HEADER = 58


def make_voice_file(folder, minutes):
    voice = os.path.join(folder, f"speech-{minutes:g}min-gsm.wav")
    if os.path.exists(voice):
        return voice
    spoken = speech(folder, "speech", TEXT)
    seconds = minutes * 60
    once = len(spoken) / RATE
    pcm = os.path.join(folder, "speech-once.wav")
    write_wav(pcm, spoken)
    long = os.path.join(folder, "speech-long.wav")
    call(["sox", pcm, long, "repeat", str(int(seconds / once) + 1), "trim", "0", str(seconds - 2),
         "pad", "1", "1"])
    call(["sox", long, "-t", "wav", "-e", "gsm-full-rate", voice + ".part"])
    os.replace(voice + ".part", voice)
    return voice


def bench_round(build, exe, voice_win, copy_win):
    """The exe's median of its own conversions and the whole run's wall time; its output."""
    started = time.perf_counter()
    out = wine_run(build, exe, voice_win, "3", copy_win)
    wall = time.perf_counter() - started
    for line in out.splitlines():
        if line.startswith("conversion median:"):
            return float(line.split()[2]), wall, out
    raise Failure(f"handover_bench printed no median:\n{out}")


def sox_round(voice, out):
    started = time.perf_counter()
    call(["sox", voice, "-e", "u-law", out])
    return time.perf_counter() - started


def field(out, label):
    for line in out.splitlines():
        if line.startswith(label):
            return line[len(label):].strip()
    raise Failure(f"handover_bench printed no {label!r}:\n{out}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "x64"))
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--minutes", type=float, default=10)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    exe = os.path.join(build, "bench", "handover_bench.exe")
    if not os.path.exists(exe):
        print(f"{exe} is not built: cmake --build --preset x64 --target handover_bench")
        return 1
    folder = os.path.join(build, "bench", "handover")
    os.makedirs(folder, exist_ok=True)
    try:
        voice = make_voice_file(folder, args.minutes)
        copy = os.path.join(folder, "copy-mu-law.wav")
        by_sox = os.path.join(folder, "sox-mu-law.wav")
        voice_win, copy_win = windows_path(build, voice), windows_path(build, copy)
        ours, walls, theirs = [], [], []
        out = ""
        for round_number in range(args.rounds):
            # Alternate who goes first, so that neither always meets a warm or a cold cache.
            order = ("bench", "sox") if round_number % 2 == 0 else ("sox", "bench")
            for who in order:
                if who == "bench":
                    seconds, wall, out = bench_round(build, exe, voice_win, copy_win)
                    ours.append(seconds)
                    walls.append(wall)
                else:
                    theirs.append(sox_round(voice, by_sox))
            print(f"round {round_number + 1}: handover {ours[-1]:.4f} s (its process "
                  f"{walls[-1]:.2f} s under Wine), sox {theirs[-1]:.4f} s", flush=True)

        # The same decoder (libgsm) behind both: the copy is sox's undithered µ-law of the part
        # kept.
        call(["sox", "-D", voice, "-e", "u-law", by_sox])
        with open(copy, "rb") as f:
            copy_bytes = f.read()
        with open(by_sox, "rb") as f:
            sox_bytes = f.read()
        kept = field(out, "handed over:").split("samples ")[1].split()
        first, end = int(kept[0]), int(kept[2])
        ours_data = copy_bytes[MU_LAW_HEADER:MU_LAW_HEADER + end - first]
        theirs_data = sox_bytes[MU_LAW_HEADER + first:MU_LAW_HEADER + end]
        same = ours_data == theirs_data and len(ours_data) == end - first
    except Failure as e:
        print(f"FAIL: {e}")
        return 1

    ours_median, sox_median = statistics.median(ours), statistics.median(theirs)
    print(f"voice file:          {field(out, 'voice file:')}")
    print(f"handed over:         {field(out, 'handed over:')}")
    print(f"handover median:     {ours_median:.4f} s (conversion inside the process; the whole "
          f"process under Wine {statistics.median(walls):.2f} s)")
    print(f"sox median:          {sox_median:.4f} s (its whole process)")
    print(f"ratio:               {ours_median / sox_median:.2f} (goal: at most 1.5)")
    print(f"one minute recorded: {field(out, 'one minute recorded:')}")
    print(f"one minute handed:   {field(out, 'one minute handed:')}")
    window = field(out, "window's thread:")
    print(f"window's thread:     {window}")
    print(f"copy against sox -D: {'the same bytes' if same else 'DIFFERENT'} over the "
          f"{(end - first) / RATE:.2f} s kept")
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
