#!/usr/bin/env python3
"""Soak: many real Record, Stop, Play, Stop cycles of one Kestrune under Wine with real sound
(the end-to-end rig). Not part of the tests; prints figures.

  tools/soak.py [--build build/x64] [--cycles 50] [--record-seconds 1.5] [--play-seconds 0.5]

Each recording is checked as the end-to-end suite checks one (header, size, decoded by sox
and by ffmpeg to the expected number of samples). Prints how many decoded, the median and
longest Stop to Ready time, and Kestrune's memory and handles at the start and the end, as
Windows lists them for every process (NtQuerySystemInformation, read by the probe: the handle
count is the wineserver's, the memory Wine's reading of /proc) and as Linux sees the Wine
process (VmRSS from /proc).
"""

import argparse
import os
import shutil
import statistics
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from rig import Failure, Rig, missing_tools  # noqa: E402
from real_sound import check_voice_file  # noqa: E402


def vm_rss_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return None


def figures(rig):
    probe = rig.process_figures()
    if probe.get("found") != "1" or "handles" not in probe:
        raise Failure(f"the probe could not read Kestrune's process: {probe}")
    return (int(probe["workingset"]) // 1024, int(probe["private"]) // 1024,
            int(probe["handles"]), vm_rss_kb(rig.app.pid))


def cycle(rig, record_seconds, play_seconds, copy):
    """One Record, Stop, Play, Stop; returns the Stop to Ready time of the recording."""
    rig.menu("r")
    rig.wait_state("recording under way", lambda st: st["status"] == "Recording" and
                   st["size"] != "0 K", 10)
    time.sleep(record_seconds)
    rig.menu("s")
    stopped = time.monotonic()
    rig.wait_status("", 5)
    stop_to_ready = time.monotonic() - stopped
    files = rig.voice_files()
    if len(files) != 1:
        raise Failure(f"expected one voice file, found {files}")
    shutil.copyfile(files[0], copy)
    rig.menu("p")
    rig.wait_status("Playing", 5)
    time.sleep(play_seconds)
    rig.menu("s")
    rig.wait_status("", 5)
    return stop_to_ready


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "x64"))
    parser.add_argument("--work", default=None)
    parser.add_argument("--cycles", type=int, default=50)
    parser.add_argument("--record-seconds", type=float, default=1.5)
    parser.add_argument("--play-seconds", type=float, default=0.5)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    exe = os.path.join(build, "Kestrune.exe")
    probe = os.path.join(build, "tests", "e2e", "kestrune_probe.exe")
    for path in (exe, probe, os.path.join(build, "winmm.dll"), os.path.join(build, "mapi32.dll")):
        if not os.path.exists(path):
            print(f"soak: {path} is not built")
            return 1
    if missing_tools():
        print("soak: missing " + ", ".join(missing_tools()))
        return 1

    load = os.getloadavg()[0]
    times, decoded, problems = [], 0, []
    with Rig(args.work or os.path.join(build, "soak"), exe, probe) as rig:
        rig.set_up()
        rig.start_app()
        start = figures(rig)
        copy = os.path.join(rig.work, "recording.wav")
        for n in range(1, args.cycles + 1):
            times.append(cycle(rig, args.record_seconds, args.play_seconds, copy))
            try:
                check_voice_file(copy, rig.work, f"cycle {n}")
                decoded += 1
            except Failure as e:
                problems.append(str(e))
            if n == 1:
                first = figures(rig)  # the codec and the sound connection are loaded by now
            if n % 10 == 0:
                print(f"cycle {n}: Stop to Ready {times[-1]:.3f} s", flush=True)
        end = figures(rig)
        rig.stop_app()

    print(f"cycles: {args.cycles}; recordings decoded by sox and ffmpeg: {decoded}")
    for problem in problems[:5]:
        print(f"  {problem}")
    print(f"Stop to Ready: median {statistics.median(times):.3f} s, longest {max(times):.3f} s")
    for label, (ws, private, handles, rss) in (("start", start), ("after cycle 1", first),
                                               ("end", end)):
        print(f"{label}: working set {ws} KB, private {private} KB, handles {handles} "
              f"(system process list, as Windows reports it); VmRSS {rss} KB (/proc)")
    print(f"load average: {load:.2f} at the start, {os.getloadavg()[0]:.2f} at the end")
    return 0 if decoded == args.cycles else 1


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failure as e:
        print(f"soak: {e}")
        sys.exit(1)
