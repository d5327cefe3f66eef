#!/usr/bin/env python3
"""Soak: many real Record, Stop, Play, Stop cycles of one Kestrune under Wine with real sound
(the end-to-end rig). Not part of the tests; prints figures.

  tools/soak.py [--build build/x64] [--cycles 50] [--record-seconds 1.5] [--play-seconds 0.5]
  tools/soak.py --kill N [--seed S]

Each recording is checked as the end-to-end suite checks one (header, size, decoded by sox
and by ffmpeg to the expected number of samples). Prints how many decoded, the median and
longest Stop to Ready time, and Kestrune's memory and handles at the start and the end, as
Windows lists them for every process (NtQuerySystemInformation, read by the probe: the handle
count is the wineserver's, the memory Wine's reading of /proc) and as Linux sees the Wine
process (VmRSS from /proc).

--kill N instead: N recordings of speech, each ended by TerminateProcess at a random moment
(1.5 to 6 s in, from a printed seed), each followed by a start that must offer the file left
behind and opens it (Yes). Prints how many came back whole: the file left behind decoded by sox
and ffmpeg up to at most a second before its end, then Ready with the right readouts and the
file repaired to every whole frame it held.
"""

import argparse
import os
import random
import shutil
import statistics
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from rig import Failure, Rig, missing_tools  # noqa: E402
from real_sound import (BYTES_PER_SECOND, IDNO, KILL_EARLIEST, KILL_LATEST,  # noqa: E402
                        check_voice_file, killed_while_recording, make_speech, offered_back)


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


def recover(rig):
    """After a failed kill round: a fresh Kestrune, every offer answered No."""
    if rig.app and rig.app.poll() is None:
        rig.end(rig.app)
    rig.start_app()
    quiet_until = time.monotonic() + 3
    while time.monotonic() < quiet_until:
        if rig.read(boxes=True).get("box"):
            rig.answer_box(IDNO)
            quiet_until = time.monotonic() + 3
        time.sleep(0.1)


def kill_soak(rig, kills, seed):
    """kills rounds of record, kill, start and open; returns 0 when every file came back."""
    rng = random.Random(seed)
    speech_path = make_speech(rig.work)[0]
    whole, problems, lags, moments = 0, [], [], []
    rig.start_app()
    for n in range(1, kills + 1):
        moment = rng.uniform(KILL_EARLIEST, KILL_LATEST)
        moments.append(moment)
        label = f"kill {n} at {moment:.3f} s"
        try:
            path, written, covered = killed_while_recording(rig, speech_path, moment, label)
            offered_back(rig, path, written, label)
            whole += 1
            lags.append((written - covered) / BYTES_PER_SECOND)
            print(f"{label}: {written / BYTES_PER_SECOND:.2f} s written, header "
                  f"{covered / BYTES_PER_SECOND:.2f} s, opened", flush=True)
        except Failure as e:
            problems.append(str(e))
            print(f"{label}: {e}", flush=True)
            recover(rig)
    rig.stop_app()
    print(f"kills: {kills} (seed {seed}); came back whole (decoded by sox and ffmpeg, Ready "
          f"with the right readouts): {whole}")
    for problem in problems[:5]:
        print(f"  {problem}")
    if lags:
        print(f"header behind the data at the kill: median {statistics.median(lags):.2f} s, "
              f"most {max(lags):.2f} s; kills {min(moments):.2f} to {max(moments):.2f} s in")
    return 0 if whole == kills else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "x64"))
    parser.add_argument("--work", default=None)
    parser.add_argument("--cycles", type=int, default=50)
    parser.add_argument("--record-seconds", type=float, default=1.5)
    parser.add_argument("--play-seconds", type=float, default=0.5)
    parser.add_argument("--kill", type=int, default=0, metavar="N")
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 32)
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
    if args.kill:
        print(f"kill seed: {seed}", flush=True)
        with Rig(args.work or os.path.join(build, "soak"), exe, probe) as rig:
            rig.set_up()
            status = kill_soak(rig, args.kill, seed)
        print(f"load average: {load:.2f} at the start, {os.getloadavg()[0]:.2f} at the end")
        return status
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
