#!/usr/bin/env python3
"""What recording costs Kestrune against a bare capture loop, and how long it takes to show its
window against Wine's notepad, under Wine with real sound (the end-to-end rig).

  bench/capture_cost.py [--build build/x64] [--rounds 3] [--seconds 20] [--pointer button|away]
                        [--before OTHER/Kestrune.exe] [--launches 5] [--dialog]
                        [--without-meter OTHER/Kestrune.exe] [--file-cost] [--foreign 100]

Start-up is also set against the launch floor (build/launch_floor.exe): a dialog with one
slider and exactly Kestrune's imports and manifest, which does nothing else before it shows.
--rounds 0 measures only the launches.

Cost: clock ticks (10 ms of utime + stime, from /proc) of the program and of the prefix's
wineserver together, over the same stretch of a running recording. Kestrune starts recording
with a click on its Record button (--pointer button: the pointer then rests there) or from the
menu with the pointer off the window (--pointer away). Start: seconds from starting the program
to its window being visible on the X display, in each capture round and then in a series of
--launches starts of each program, alternately. Rounds alternate the order of the two programs;
judge only the medians. Prints every round, then the medians side by side. --before adds an
earlier build (its DLLs beside it) to every round, for before and after figures of one run.
--dialog adds the bare loop run as a modal dialog box: what Wine's dialog manager costs.
--without-meter adds a build without the level meter (its DLLs beside it) to every round and
prints the meter's own row: what the meter adds to a recorded minute, from the same rounds.
--file-cost adds two rows of the bare loop that also store every block in a voice file: "file"
appends only, "keep" also runs Kestrune's own header refresh and flush after each block;
their difference is what keeping the header true costs. --foreign N adds to the launch series
starts of Kestrune with N foreign kes*.tmp files (not voice files) in the temporary folder,
made for each start and removed after it.
"""

import argparse
import os
import random
import select
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

from rig import Failure, Rig, missing_tools, ticks_of, wait_until  # noqa: E402

RECORD_SLOT = 3
SETTLE = 1.0  # seconds of recording before the count starts


def cost(rig, pid, seconds):
    """Ticks of the process and the wineserver over the next seconds."""
    server = rig.wineserver()
    before = (ticks_of(pid), ticks_of(server))
    time.sleep(seconds)
    after = (ticks_of(pid), ticks_of(server))
    if None in before + after:
        raise Failure("a measured process ended while it was measured")
    return after[0] - before[0], after[1] - before[1]


def bare_round(rig, exe, seconds, args=(), inner=None):
    """Ticks of the capture loop over seconds; with a list for inner, the loop's last
    "stored" line (blocks, microseconds writing, microseconds keeping the header true) is
    appended to it."""
    loop = rig.start_wine(exe, args, stdout=subprocess.PIPE)
    try:
        ready = select.select([loop.stdout], [], [], 20)[0]
        line = loop.stdout.readline().decode().strip() if ready else ""
        if line != "recording":
            raise Failure(f"capture loop: {line or 'no buffer within 20 s'}")
        time.sleep(SETTLE)
        return cost(rig, loop.pid, seconds)
    finally:
        rig.end(loop)
        if inner is not None:
            rest = b""
            while select.select([loop.stdout], [], [], 2)[0]:
                chunk = os.read(loop.stdout.fileno(), 65536)
                if not chunk:
                    break
                rest += chunk
            stored = [line.split() for line in rest.decode().splitlines()
                      if line.startswith("stored ")]
            inner.append(tuple(int(v) for v in stored[-1][1:]) if stored else None)


def kestrune_round(rig, pointer, seconds):
    """Starts Kestrune, records, measures, stops and closes it; returns (launch, ticks)."""
    launched, app = rig.launch_time(rig.exe, "^Kestrune$")
    rig.app = app
    rig.start_probe()
    wait_until("Kestrune's window", lambda: rig.read()["found"] == "1", 30, 0.1)
    rig.window = rig.visible_windows("^Kestrune$")[0]
    if pointer == "button":
        rig.click_at(*rig.button_point(RECORD_SLOT))
    else:
        rig.pointer_to(0, 0)
        rig.menu("r")
    rig.wait_state("recording under way", lambda st: st["status"].startswith("Recording") and
                   st["size"] != "0 K", 10)
    time.sleep(SETTLE)
    ticks = cost(rig, app.pid, seconds)
    rig.menu("s")
    rig.wait_status("", 5)
    rig.stop_app()
    return launched, ticks


def closed_launch(rig, exe, title):
    """Seconds to a visible window of a program that is then ended."""
    launched, program = rig.launch_time(exe, title)
    rig.end(program)
    wait_until(f"{title} ending", lambda: not rig.visible_windows(title), 10, 0.05)
    return launched


def notepad_launch(rig):
    return closed_launch(rig, "notepad.exe", "Notepad$")


FLOOR_TITLE = "^Kestrune floor$"
def make_foreign(rig, count):
    """count kes*.tmp files that are not Kestrune's (another program's WAV, random bytes) in
    the temporary folder; returns {path: content}, to check and remove them afterwards."""
    temp = rig.temp_dirs()[0]
    made = {}
    rng = random.Random(count)
    for n in range(count):
        if n % 2:
            content = bytes(rng.randrange(256) for _ in range(rng.randrange(100, 2000)))
        else:
            pcm = bytes(rng.randrange(256) for _ in range(800))
            content = (b"RIFF" + (36 + len(pcm)).to_bytes(4, "little") + b"WAVEfmt " +
                       bytes.fromhex("10000000010001001f0000003e0000020010006461746120030000") +
                       pcm)
        path = os.path.join(temp, f"kesf{n:03x}.tmp")
        if os.path.exists(path):
            raise Failure(f"{path} is there already: not ours to overwrite")
        with open(path, "wb") as f:
            f.write(content)
        made[path] = content
    return made


def remove_foreign(made):
    """Removes the files make_foreign made; fails if Kestrune changed or removed any."""
    touched = []
    for path, content in made.items():
        try:
            with open(path, "rb") as f:
                same = f.read() == content
        except OSError:
            same = False
        if not same:
            touched.append(os.path.basename(path))
        if os.path.exists(path):
            os.remove(path)
    if touched:
        raise Failure(f"Kestrune changed foreign files: {touched[:5]}")


def median(values):
    return statistics.median(values)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "x64"))
    parser.add_argument("--exe", default=None, help="another Kestrune.exe, its DLLs beside it")
    parser.add_argument("--before", default=None, help="an earlier Kestrune.exe to compare")
    parser.add_argument("--work", default=None)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--pointer", choices=("button", "away"), default="button")
    parser.add_argument("--launches", type=int, default=5)
    parser.add_argument("--dialog", action="store_true")
    parser.add_argument("--without-meter", default=None,
                        help="a Kestrune.exe built without the level meter, to compare")
    parser.add_argument("--file-cost", action="store_true")
    parser.add_argument("--foreign", type=int, default=0)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    exe = os.path.abspath(args.exe) if args.exe else os.path.join(build, "Kestrune.exe")
    loop_exe = os.path.join(build, "capture_loop.exe")
    probe = os.path.join(build, "tests", "e2e", "kestrune_probe.exe")
    floor_exe = os.path.join(build, "launch_floor.exe")
    for path in (exe, loop_exe, probe, floor_exe, os.path.join(build, "winmm.dll")):
        if not os.path.exists(path):
            print(f"capture_cost: {path} is not built (cmake --build --preset x64; the e2e "
                  "tests build winmm.dll)")
            return 1
    if missing_tools():
        print("capture_cost: missing " + ", ".join(missing_tools()))
        return 1

    kestrunes = [("Kestrune", exe)]
    if args.before:
        kestrunes.append(("before", os.path.abspath(args.before)))
    if args.without_meter:
        kestrunes.append(("without meter", os.path.abspath(args.without_meter)))
    load = os.getloadavg()[0]
    rows = []
    with Rig(args.work or os.path.join(build, "bench", "capture_cost"), exe, probe) as rig:
        rig.set_up()
        # The first start of each program in a fresh server loads more from disk than the rest.
        notepad_launch(rig)
        closed_launch(rig, floor_exe, FLOOR_TITLE)
        for _, path in kestrunes:
            rig.end(rig.launch_time(path, "^Kestrune$")[1])
        print(f"{args.seconds:g} s of recording per round, pointer {args.pointer}; ticks are "
              "program + wineserver", flush=True)
        stores = ["file", "keep"] if args.file_cost else []
        inner = {}  # per store row: (blocks, us writing, us keeping the header true) a round
        programs = (["bare"] + (["dialog"] if args.dialog else []) + stores +
                    [n for n, _ in kestrunes])
        for i in range(args.rounds):
            row = {}
            for which in programs[i % len(programs):] + programs[:i % len(programs)]:
                if which == "bare":
                    row["bare"] = bare_round(rig, loop_exe, args.seconds)
                    row["notepad"] = notepad_launch(rig)
                elif which == "dialog":
                    row["dialog"] = bare_round(rig, loop_exe, args.seconds, ("dialog",))
                elif which in stores:
                    row[which] = bare_round(rig, loop_exe, args.seconds, (which,),
                                            inner.setdefault(which, []))
                else:
                    rig.exe = dict(kestrunes)[which]
                    row[which + " start"], row[which] = kestrune_round(rig, args.pointer,
                                                                       args.seconds)
            rows.append(row)
            text = f"round {i + 1}: bare {sum(row['bare'])} ({row['bare'][0]}+{row['bare'][1]})"
            for name in ["dialog"] * args.dialog + stores + [n for n, _ in kestrunes]:
                k = row[name]
                text += (f", {name} {sum(k)} ({k[0]}+{k[1]}) {sum(k) / max(1, sum(row['bare'])):.2f}"
                         f"x")
            text += f"; start: notepad {row['notepad']:.3f} s"
            for name, _ in kestrunes:
                text += f", {name} {row[name + ' start']:.3f} s"
            print(text, flush=True)
        foreign = f"Kestrune, {args.foreign} foreign files"
        starts = {name: [] for name in ["notepad", "floor"] + [n for n, _ in kestrunes] +
                  [foreign] * bool(args.foreign)}
        for i in range(args.launches):
            names = list(starts)
            for name in names[i % len(names):] + names[:i % len(names)]:
                if name == "notepad":
                    starts[name].append(notepad_launch(rig))
                elif name == "floor":
                    starts[name].append(closed_launch(rig, floor_exe, FLOOR_TITLE))
                else:
                    made = make_foreign(rig, args.foreign) if name == foreign else {}
                    launched, app = rig.launch_time(dict(kestrunes).get(name, exe), "^Kestrune$")
                    starts[name].append(launched)
                    rig.app = app
                    rig.window = rig.visible_windows("^Kestrune$")[0]
                    rig.stop_app()
                    remove_foreign(made)
        if args.launches:
            print("starts (s): " + "; ".join(
                f"{name} " + " ".join(f"{t:.3f}" for t in times) for name, times in starts.items()))
    if args.launches:
        floor = median(starts["floor"])
        print(f"median start of {args.launches} alternating launches: notepad "
              f"{median(starts['notepad']):.3f} s, launch floor {floor:.3f} s, " +
              ", ".join(f"{name} {median(starts[name]):.3f} s ({median(starts[name]) / floor:.3f}x"
                        " the floor)" for name, _ in kestrunes))
    if not rows:
        print(f"load average: {load:.2f} at the start, {os.getloadavg()[0]:.2f} at the end")
        return 0
    bare = median(sum(r["bare"]) for r in rows)
    notepad = median(r["notepad"] for r in rows)
    if args.dialog:
        dialog = median(sum(r["dialog"]) for r in rows)
        print(f"bare loop as a modal dialog: median ticks {dialog:g}, ratio "
              f"{dialog / max(1, bare):.2f}")
    if stores:
        file, keep = (median(sum(r[name]) for r in rows) for name in stores)
        print(f"voice file rows: median ticks over {args.seconds:g} s: bare loop {bare:g}, "
              f"appending {file:g}, appending with refresh and flush {keep:g}; refresh and "
              f"flush cost {keep - file:+g} ticks ({(keep - file) / max(1, file) * 100:+.1f}% of"
              f" appending), {(keep - file) * 60 / args.seconds:+.1f} ticks per recorded minute")
        for name in stores:
            got = [v for v in inner.get(name, []) if v]
            if got:
                per_minute = [(w * 750 / b, k * 750 / b) for b, w, k in got]  # 750 blocks a min
                print(f"  {name}: inside the loop per recorded minute (wall time of the calls, "
                      f"medians of {len(got)}): writing {median(w for w, _ in per_minute) / 1000:.1f}"
                      f" ms, header refresh and flush {median(k for _, k in per_minute) / 1000:.1f}"
                      " ms")
    if args.foreign and args.launches:
        none, many = median(starts["Kestrune"]), median(starts[foreign])
        print(f"start with {args.foreign} foreign kes*.tmp files: median {many:.3f} s against "
              f"{none:.3f} s with none ({many - none:+.3f} s)")
    for name, path in kestrunes:
        kes = median(sum(r[name]) for r in rows)
        launch = median(r[name + " start"] for r in rows)
        print(f"{name} ({path}):")
        print(f"  median ticks: bare loop {bare:g}, Kestrune {kes:g}, ratio "
              f"{kes / max(1, bare):.2f}")
        print(f"  median start in the capture rounds: notepad {notepad:.3f} s, Kestrune "
              f"{launch:.3f} s, ratio {launch / notepad:.2f}")
        if args.launches:
            np, ks = median(starts["notepad"]), median(starts[name])
            print(f"  median start of {args.launches} alternating launches: notepad {np:.3f} s,"
                  f" Kestrune {ks:.3f} s, ratio {ks / np:.2f}")
    if args.without_meter:
        with_meter = median(sum(r["Kestrune"]) for r in rows)
        without = median(sum(r["without meter"]) for r in rows)
        print(f"level meter: median ticks with {with_meter:g}, without {without:g}: "
              f"{100 * (with_meter - without) / max(1, without):+.1f}% CPU (goal: at most +5%)")
    print(f"load average: {load:.2f} at the start, {os.getloadavg()[0]:.2f} at the end")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failure as e:
        print(f"capture_cost: {e}")
        sys.exit(1)
