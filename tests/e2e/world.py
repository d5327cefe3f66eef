#!/usr/bin/env python3
"""Kestrune end to end in the world it meets, under Wine on Linux with real sound.

Four parts, each on its own run of Kestrune in the rig of rig.py (the one real_sound.py uses):

  handover  speech with dead air at both ends is recorded and sent; the file the mail program
            gets is G.711 µ-law (fmt of 18 bytes, fact, data), holds the recording's sound and
            plays in headless Chromium as long as the speech and its two 0.25 s margins.
  unicode   the prefix's TEMP is a folder named in Cyrillic and Chinese: the voice file is made
            there, a recording killed mid-way decodes and is offered at the next start, and Send
            hands the mail program a real path (never one with '?') to a copy of it.
  disk      the temporary folder is a small tmpfs: Record first asks whether to record in the
            little room there is, the status line counts down, the full disk ends the recording
            with a box, and the voice file decodes whole. Needs root to mount; skipped without.
  stall     the microphone stops sending (its PulseAudio sink suspended) mid-speech: the status
            line says so, the time stands, the voice file on the disk is a valid WAV of what was
            said; once it sends again the recording goes on, and Stop ends it.

Each part prints what the window showed and what the rig measured, and the seconds it took;
`--only PART` (repeatable) runs those alone. A part lists everything about Kestrune that it
found wrong before it fails; a fault of the rig itself ends the part at once.

Exit status: 0 passed, 1 failed, 77 skipped (the installed Wine is not the 8.0 that the
Wine-side fixes are made for).
"""

import argparse
import array
import glob
import os
import random
import re
import struct
import subprocess
import sys
import time

import browser_play
from handover_support import STEP, hiss, sound_steps, speech, write_wav
from real_sound import (BYTES_PER_SECOND, FINISH_LIMIT, HEADER_BYTES, IDNO, IDYES,
                        MIN_CORRELATION, RATE, best_alignment, check_left_behind,
                        check_voice_file, decode_both, expected_header, failure_text, note,
                        offer_text, pcm_of, set_up_with_mail, size_text, step, time_text)
from rig import Failure, Rig, run, unable_to_run, wait_until

IDOK = 1
SPEECH = "The meeting moved to Thursday at three. Please call me back when you can."
DEAD_AIR = 1.5  # seconds of a quiet room's hiss played before and after the speech
MARGIN = 0.25  # seconds of silence the copy keeps at each end
# The speech's length is measured on the voice file as decoded by sox's libgsm, the copy is cut
# from Wine's GSM decoder; a 20 ms step close to -45 dBFS may count on one side and not the
# other, at each end. 0.1 s is two and a half steps at each end; a margin missing or doubled is
# 0.25 s, and the dead air left in is 1.5 s.
HANDOVER_TOLERANCE = 0.1
BROWSER_TOLERANCE = 0.001  # seconds: the browser reads the copy's own header
COPY_CORRELATION = 0.95  # the copy is the decoded recording, only in µ-law
UNICODE_NAME = "Дмитрий 李雷"
DISK_BYTES = 24 * 1024  # about 14.7 s of GSM: the countdown shows from the start
PAGE = 4096  # what a tmpfs allocates at once: free space is told in these
LOW_ROOM = re.compile(r"There is room on the disk for only (\d+):(\d\d) of recording")
COUNTDOWN = re.compile(r"Recording: the disk is almost full \((\d+):(\d\d) left\)")
DISK_FULL = re.compile(r"Kestrune: The disk is full, so the recording stopped at (\d+):(\d\d)\.  "
                       r"What was recorded is kept\. Free some space on the disk to record more\.")
STALLED = "Recording: the microphone stopped sending sound"
NO_SOUND = "Recording: no sound from the microphone"
STALL_NOTICE_LIMIT = 3.5  # seconds from the last block to the notice ("about 2-3 s")
STALL_STOP_LIMIT = 1.0  # seconds from the suspend to the last block: else the rig failed
STALL_QUIET = 1.0  # seconds without a block that show the capture really stopped
RESUME_LIMIT = 3.0  # seconds for blocks, the status and the time to come back
BOX_LIMIT = 3.0  # seconds for a box that Record should bring


class Skipped(Exception):
    pass


class Part:
    """One part's run: its clock and what it found wrong with Kestrune."""

    def __init__(self, name):
        self.name = name
        self.started = time.monotonic()
        self.unmet = []
        self.last_shown = None

    def expect(self, ok, what):
        if not ok:
            self.unmet.append(what)
            print(f"  NOT MET: {what}", flush=True)
        return ok

    def clock(self):
        return time.monotonic() - self.started


def show(part, state):
    """Prints the window's state when its status line or box differ from the last printed."""
    shown = {k: state.get(k, "") for k in ("status", "time", "size", "box")}
    if part.last_shown is None or [shown[k] for k in ("status", "box")] != \
            [part.last_shown[k] for k in ("status", "box")]:
        part.last_shown = shown
        print(f"  window +{part.clock():.2f}s: " + "  ".join(f"{k}={v!r}"
                                                            for k, v in shown.items()),
              flush=True)


def window_until(s, part, predicate, timeout):
    """Reads the window (a box too) until predicate accepts it; prints each new state. Returns
    that state, or None after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        state = s.read(boxes=True)
        show(part, state)
        if predicate(state):
            return state
        if time.monotonic() > deadline:
            return None
        time.sleep(0.05)


def seconds_of(match):
    return int(match.group(1)) * 60 + int(match.group(2))


# ---------------------------------------------------------------- the set-up of each part

def use_temp(s, windows_path):
    """Points the prefix's TEMP and TMP there, for the programs started from now on."""
    if getattr(s, "temp_set", None) != windows_path:
        s.set_temp(windows_path)
        s.temp_set = windows_path


def voice_files_in(folder):
    return sorted(glob.glob(os.path.join(folder, "kes*.tmp")))


def start_fresh(s, part, folder):
    """Starts Kestrune with no recording left behind in folder (what an earlier failed run
    left there would be offered); returns the voice file it made there, or None."""
    for old in voice_files_in(folder):
        os.remove(old)  # in the rig's own prefix or tmpfs
    s.start_app()
    show(part, s.read(boxes=True))
    try:
        found = wait_until("a voice file kes*.tmp", lambda: voice_files_in(folder), 5, 0.05)
    except Failure:
        return None
    return found[0]


def start_in_user_temp(s, part):
    """Starts Kestrune with the prefix user's own TEMP; returns its voice file."""
    folder, windows = s.user_temp()
    use_temp(s, windows)
    voice = start_fresh(s, part, folder)
    if not voice:
        raise Failure(f"Kestrune made no voice file in {folder}")
    return voice


def spoken_once(s):
    """The sentence spoken by espeak-ng, made once a run."""
    if getattr(s, "spoken", None) is None:
        s.spoken = speech(s.work, "world", SPEECH)
    return s.spoken


def played_file(s, name, samples):
    """A WAV file to play into the microphone."""
    path = os.path.join(s.work, name + "-played.wav")
    write_wav(path, samples)
    return path


def end_app(s):
    """Ends a Kestrune that a failed part left running."""
    if s.app and s.app.poll() is None:
        s.end(s.app)


def forget_mail(s):
    for f in (s.mail_log, s.mail_copy):
        if os.path.exists(f):
            os.remove(f)


def send(s, part):
    """Send; returns the path xdg-email was given (as text, undecodable bytes escaped) and the
    path of the copy the fake mail program took of it (None when it could not)."""
    forget_mail(s)
    s.menu("e")
    if not window_until(s, part, lambda st: os.path.exists(s.mail_log) or st.get("box"), 15):
        raise Failure("Send: xdg-email not called within 15 s")
    if not os.path.exists(s.mail_log):
        raise Failure(f"Send: Kestrune shows a box and called no mail program: "
                      f"{s.read(boxes=True)['box']}")
    with open(s.mail_log, "rb") as f:
        args = [a.decode("utf-8", "surrogateescape") for a in f.read().split(b"\n") if a]
    if "--attach" not in args:
        raise Failure(f"Send: xdg-email got no attachment: {args}")
    attached = args[args.index("--attach") + 1]
    note("send: xdg-email --attach", attached)
    return attached, s.mail_copy if os.path.exists(s.mail_copy) else None


def record_played(s, part, played_path, seconds):
    """Records while a file plays into the microphone, then Stop."""
    s.menu("r")
    show(part, s.wait_status("Recording"))
    s.wait_state("readouts advancing", lambda st: st["size"] != "0 K", 5)
    player = s.speak(played_path)
    wait_until("the sound played", lambda: player.poll() is not None, seconds + 10, 0.05)
    show(part, s.read())
    s.menu("s")
    final = s.wait_status("", FINISH_LIMIT)
    show(part, final)


# ---------------------------------------------------------------- the mu-law copy

def playable_layout(content):
    """What is wrong with content as a WAV of G.711 µ-law, 8000 Hz mono 8-bit, made of a fmt
    chunk of 18 bytes, a fact chunk and the data, in that order: a list of faults (empty when
    none) and the data's size."""
    if content[:4] != b"RIFF" or content[8:12] != b"WAVE":
        return [f"not a RIFF WAVE file: {content[:12]!r}"], 0
    faults = []
    if struct.unpack_from("<I", content, 4)[0] != len(content) - 8:
        faults.append(f"RIFF size {struct.unpack_from('<I', content, 4)[0]} in a file of "
                      f"{len(content)} bytes")
    chunks, at = [], 12
    while at + 8 <= len(content):
        size = struct.unpack_from("<I", content, at + 4)[0]
        chunks.append((content[at:at + 4], at + 8, size))
        at += 8 + size + (size & 1)
    names = [c[0].decode("latin-1") for c in chunks]
    if names != ["fmt ", "fact", "data"]:
        return faults + [f"chunks {names}, not fmt, fact, data"], 0
    (_, fmt_at, fmt_size), (_, fact_at, fact_size), (_, data_at, data_size) = chunks
    if fmt_size != 18:
        faults.append(f"fmt chunk of {fmt_size} bytes, not 18")
    fmt = struct.unpack_from("<HHIIHHH", content, fmt_at) if fmt_size >= 18 else ()
    if fmt != (7, 1, 8000, 8000, 1, 8, 0):
        faults.append(f"format (tag, channels, rate, bytes/s, align, bits, extra) {fmt}, not "
                      "(7, 1, 8000, 8000, 1, 8, 0)")
    if fact_size != 4 or struct.unpack_from("<I", content, fact_at)[0] != data_size:
        faults.append(f"fact chunk of {fact_size} bytes does not count the data's "
                      f"{data_size} samples")
    if data_at + data_size != len(content):
        faults.append(f"data of {data_size} bytes at {data_at} in a file of {len(content)}")
    return faults, data_size


def speech_bounds(samples):
    """The recorded speech, measured here: from the start of the first 20 ms step louder than
    -45 dBFS to the end of the last, in samples."""
    loud = [i for i, sound in enumerate(sound_steps(samples)) if sound]
    if not loud:
        raise Failure("the recording has no step louder than -45 dBFS")
    return loud[0] * STEP, min((loud[-1] + 1) * STEP, len(samples))


def handover(s, part):
    step("Record speech with 1.5 s of dead air at each end, Send: the mail program gets "
         "µ-law that a browser plays, the speech and two 0.25 s margins")
    voice = start_in_user_temp(s, part)
    spoken = spoken_once(s)
    rng = random.Random(7)
    played_path = played_file(s, "handover", hiss(DEAD_AIR, rng) + spoken + hiss(DEAD_AIR, rng))
    record_played(s, part, played_path, len(spoken) / RATE + 2 * DEAD_AIR)
    data_bytes, recorded = check_voice_file(voice, s.work, "recording")
    first, end = speech_bounds(recorded)
    spoken_first, spoken_end = speech_bounds(spoken)
    speech_seconds = (end - first) / RATE
    lead = min(round(MARGIN * RATE), first)
    trail = min(round(MARGIN * RATE), len(recorded) - end)
    expected = (end - first + lead + trail) / RATE
    note("voice file (s)", round(len(recorded) / RATE, 3))
    note("speech in the voice file (s), from .. to", (round(speech_seconds, 3),
                                                      round(first / RATE, 3), round(end / RATE, 3)))
    note("speech as espeak-ng made it (s)", round((spoken_end - spoken_first) / RATE, 3))
    note("copy expected (s)", f"{expected:.3f} +- {HANDOVER_TOLERANCE}")
    # The rig's own part: the speech came through whole, with its dead air.
    if abs(speech_seconds - (spoken_end - spoken_first) / RATE) > 0.2 or \
            first / RATE < DEAD_AIR or (len(recorded) - end) / RATE < DEAD_AIR:
        raise Failure("the recording does not hold the speech whole with 1.5 s of dead air at "
                      "each end")

    attached, copy = send(s, part)
    if not copy:
        raise Failure(f"the mail program could not read {attached!r}")
    with open(copy, "rb") as f:
        content = f.read()
    with open(voice, "rb") as f:
        same = f.read() == content
    note("copy (bytes)", f"{len(content)}{', the voice file itself' if same else ''}")
    faults, data_size = playable_layout(content)
    part.expect(not faults, "the copy is µ-law 8 kHz mono, fmt (18), fact, data: " +
                "; ".join(faults))
    part.expect(attached.lower().endswith(".wav"), f"the copy's name ends in .wav: {attached}")
    if not faults:
        duration = data_size / RATE
        note("copy (s)", round(duration, 3))
        part.expect(abs(duration - expected) <= HANDOVER_TOLERANCE,
                    f"the copy lasts {duration:.3f} s, the speech and its margins "
                    f"{expected:.3f} s")
        # Where it sits in the recording: a quarter second before the speech.
        want = first - lead
        r, lag = best_alignment(pcm_of(copy), recorded,
                                lags=range(want - 2 * STEP, want + 2 * STEP + 1, 20))[:2]
        note("copy in the recording: r, starts at (s)", (round(r, 3), round(lag / RATE, 3)))
        part.expect(r >= COPY_CORRELATION and abs(lag - want) <= STEP,
                    f"the copy is the recording from {want / RATE:.3f} s (r {r:.3f} at "
                    f"{lag / RATE:.3f} s)")

    result = browser_play.load([copy], os.path.join(s.work, "browser"))[copy]
    note("Chromium", browser_play.describe(result))
    if part.expect(result["plays"], "the copy plays in Chromium"):
        found = result["duration"]
        part.expect(abs(found - expected) <= HANDOVER_TOLERANCE,
                    f"Chromium plays {found:.3f} s, the speech and its margins {expected:.3f} s")
        if not faults:
            part.expect(abs(found - data_size / RATE) <= BROWSER_TOLERANCE,
                        f"Chromium's {found:.4f} s is the copy's {data_size / RATE:.4f} s")
    s.stop_app()


# ---------------------------------------------------------------- a Unicode temporary folder

def unicode_temp(s, part):
    step(f"TEMP at ...\\Temp\\{UNICODE_NAME}: the voice file is made there, a recording killed "
         "mid-way is offered at the next start, Send hands over a real path")
    temp, windows_temp = s.user_temp()
    folder = os.path.join(temp, UNICODE_NAME)
    windows = windows_temp + "\\" + UNICODE_NAME
    os.makedirs(folder, exist_ok=True)
    use_temp(s, windows)
    try:
        unicode_recording(s, part, temp, folder, windows)
    finally:
        end_app(s)
        use_temp(s, windows_temp)


def unicode_recording(s, part, temp, folder, windows):
    # The probe started now has the environment Kestrune gets: Wine must hand over the folder.
    s.end_probe()
    s.start_probe()
    given = s.ask("temp").get("path")
    note("GetTempPathW in a program started now", given)
    if given != windows + "\\":
        raise Failure(f"Wine did not take TEMP={windows}: GetTempPathW answers {given!r}")
    voice = start_fresh(s, part, folder)
    note(f"kes*.tmp in {UNICODE_NAME}", [os.path.basename(f) for f in voice_files_in(folder)])
    note("kes*.tmp in Temp itself", [os.path.basename(f) for f in voice_files_in(temp)])
    if not part.expect(voice, f"Kestrune makes its voice file in {folder}"):
        s.menu("r")
        window_until(s, part, lambda st: st.get("box"), BOX_LIMIT)
        return

    step("Record while speech plays, end the process with TerminateProcess")
    spoken = spoken_once(s)
    played_path = played_file(s, "unicode", spoken)
    s.menu("r")
    show(part, s.wait_status("Recording"))
    s.wait_state("readouts advancing", lambda st: st["size"] != "0 K", 5)
    player = s.speak(played_path)
    wait_until("the speech played", lambda: player.poll() is not None, len(spoken) / RATE + 10,
               0.05)
    show(part, s.read())
    s.kill_app()
    written, covered = check_left_behind(voice, "killed recording")
    note("left behind: whole frames, header covers (s)",
         (round(written / BYTES_PER_SECOND, 3), round(covered / BYTES_PER_SECOND, 3)))

    step("Start again: the recording is offered; Yes opens it")
    offer = s.start_app(IDYES)
    note("offer", offer)
    part.expect(offer == offer_text(voice, written),
                f"the offer reads {offer_text(voice, written)!r}")
    state = s.wait_status("", 5)
    show(part, state)
    part.expect(state["time"] == time_text(written) and state["size"] == size_text(written),
                f"readouts {time_text(written)} {size_text(written)} for what was left behind")
    data_bytes, recorded = check_voice_file(voice, s.work, "opened recording")
    part.expect(voice_files_in(folder) == [voice],
                f"the opened recording is the one voice file: {voice_files_in(folder)}")

    step("Send")
    attached, copy = send(s, part)
    part.expect("?" not in attached, f"xdg-email's path has no '?': {attached}")
    # Wine names C: through the prefix's dosdevices link.
    inside = os.path.realpath(attached).startswith(os.path.realpath(folder) + os.sep)
    note("the path is under the Unicode folder", inside)
    if part.expect(copy, f"the mail program can read {attached}"):
        r = best_alignment(pcm_of(copy), recorded)[0]
        note("the mailed file against the recording: r", round(r, 3))
        part.expect(r >= MIN_CORRELATION, f"the mailed file holds the recording (r {r:.3f})")
    s.stop_app()
    part.expect(not os.path.exists(voice), "Close removes the voice file")


# ---------------------------------------------------------------- a full disk

def free_bytes(path):
    info = os.statvfs(path)
    return info.f_bavail * info.f_frsize


def full_disk(s, part):
    step(f"TEMP on a tmpfs of {DISK_BYTES // 1024} KB: asked before, counted down, stopped by a "
         "full disk with a box, the recording whole")
    if os.geteuid() != 0:
        raise Skipped("mounting a tmpfs needs root")
    disk = os.path.join(s.work, "small-disk")
    why = s.mount_tmpfs(disk, DISK_BYTES)
    if why:
        raise Skipped(f"mount -t tmpfs failed: {why}")
    try:
        use_temp(s, "Z:" + disk.replace("/", "\\"))
        full_disk_recording(s, part, disk)
    finally:
        end_app(s)
        s.unmount(disk)
        use_temp(s, s.user_temp()[1])


def room_seconds(file_bytes):
    """Seconds of recording that still fit beside a voice file of that size: every byte of
    the tmpfs not in the file (nothing else is there)."""
    return (DISK_BYTES - file_bytes) / BYTES_PER_SECOND


def full_disk_recording(s, part, disk):
    if os.statvfs(disk).f_blocks * os.statvfs(disk).f_frsize != DISK_BYTES:
        raise Failure(f"the tmpfs holds {os.statvfs(disk).f_blocks} blocks, not {DISK_BYTES} B")
    voice = start_fresh(s, part, disk)
    if not voice:
        raise Failure(f"Kestrune made no voice file on the tmpfs: {os.listdir(disk)}")
    room = room_seconds(HEADER_BYTES)
    note("room for recording at Record (s)", round(room, 2))
    spoken = spoken_once(s)
    played = array.array("h")
    while len(played) < (room + 5) * RATE:
        played += spoken + array.array("h", bytes(RATE))  # a breath between the sentences
    played_path = played_file(s, "disk", played)

    step("Record with room for less than a minute: a question first; No, then Yes")
    s.menu("r")
    asked = window_until(s, part, lambda st: st.get("box") or st["status"] != "", BOX_LIMIT)
    if part.expect(asked and asked.get("box"), "Record asks first when less than a minute fits"):
        low_room(s, part, asked["box"], room)
        state = s.wait_state("Ready after No", lambda st: st["status"] == "", 5)
        show(part, state)
        part.expect(state["size"] == "0 K" and os.path.getsize(voice) == 0,
                    f"No records nothing: size {state['size']}, file {os.path.getsize(voice)} B")
        s.menu("r")
        again = window_until(s, part, lambda st: st.get("box"), BOX_LIMIT)
        if part.expect(again, "Record asks again"):
            s.answer_box(IDYES)
    started = s.wait_state("recording", lambda st: st["status"].startswith("Recording"), 5)
    t_record = time.monotonic()
    player = s.speak(played_path)

    step("Record until the disk is full")
    countdown = []  # (seconds since Record, shown, room before the read, room after it)
    shown = started
    deadline = t_record + room + 10
    while not shown.get("box") and shown["status"] != "" and time.monotonic() < deadline:
        before = os.path.getsize(voice)
        shown = s.read(boxes=True)
        after = os.path.getsize(voice)
        show(part, shown)
        match = COUNTDOWN.fullmatch(shown["status"])
        if match:
            countdown.append((time.monotonic() - t_record, seconds_of(match), room_seconds(after),
                              room_seconds(before)))
        time.sleep(0.1)
    s.end(player)
    note("file when the recording ended (B)", os.path.getsize(voice))
    note("free on the tmpfs then (B)", free_bytes(disk))
    check_countdown(part, countdown)
    if part.expect(shown.get("box"), "a box says the disk is full"):
        text = shown["box"]
        stopped_at = DISK_FULL.fullmatch(text)
        part.expect(stopped_at, f"the box reads \"The disk is full, so the recording stopped at "
                    f"M:SS.\\n\\nWhat was recorded is kept. Free some space on the disk to record "
                    f"more.\": {text!r}")
        s.answer_box(IDOK)
    else:
        stopped_at = None
    final = s.wait_status("", 5)
    show(part, final)
    data_bytes, samples = check_voice_file(voice, s.work, "recording on the full disk")
    seconds = data_bytes / BYTES_PER_SECOND
    note("recording decoded by sox and ffmpeg (s)", round(seconds, 3))
    part.expect(any(sound_steps(samples)), "the recording holds the speech")
    part.expect(HEADER_BYTES + data_bytes > DISK_BYTES - PAGE,
                f"the recording filled the disk: {HEADER_BYTES + data_bytes} B of {DISK_BYTES}")
    if stopped_at:
        part.expect(abs(seconds_of(stopped_at) - seconds) <= 1,
                    f"the box's {stopped_at.group(1)}:{stopped_at.group(2)} is the recording's "
                    f"{seconds:.2f} s")
    part.expect(final["time"] == time_text(data_bytes),
                f"the time readout {final['time']} is the recording's {time_text(data_bytes)}")
    s.stop_app()


def low_room(s, part, text, room):
    note("the question", text)
    match = LOW_ROOM.search(text)
    # The free space the program can see is counted in whole tmpfs pages: up to one page
    # (2.5 s) less than what fits; a second more for a figure cut to whole seconds.
    if part.expect(match, f"the question names the room: {LOW_ROOM.pattern!r}"):
        part.expect(room - PAGE / BYTES_PER_SECOND - 1 <= seconds_of(match) <= room + 1,
                    f"the question's {match.group(1)}:{match.group(2)} is the {room:.1f} s "
                    "that fit")
    s.answer_box(IDNO)


def check_countdown(part, countdown):
    """The countdown shows from the start (less than 30 s fit), never goes up, and each figure
    is the room there was around its read: less by up to one tmpfs page, which the free space
    the program sees leaves out, and a second either way for whole seconds and a figure
    brought up to date once a second."""
    note("countdown seen (s after Record: shown, room)",
         [(round(t, 1), shown, round(low, 1)) for t, shown, low, _ in countdown])
    if not part.expect(countdown, "the status line counts down \"Recording: the disk is almost "
                       "full (M:SS left)\""):
        return
    part.expect(countdown[0][0] < 2, f"the countdown shows from the start: first seen "
                f"{countdown[0][0]:.1f} s after Record")
    shown = [c[1] for c in countdown]
    part.expect(all(a >= b for a, b in zip(shown, shown[1:])), f"the countdown never rises: "
                f"{shown}")
    wrong = [(round(t, 1), n, round(low, 1), round(high, 1)) for t, n, low, high in countdown
             if not low - PAGE / BYTES_PER_SECOND - 1 <= n <= high + 1]
    part.expect(not wrong, f"each figure is the room left: (time, shown, room after, room "
                f"before) {wrong}")


# ---------------------------------------------------------------- a microphone that stalls

def stalled_microphone(s, part):
    step("The microphone stops sending mid-speech (its sink suspended), then sends again")
    voice = start_in_user_temp(s, part)
    spoken = spoken_once(s)
    played_path = played_file(s, "stall", spoken)
    try:
        stall_and_resume(s, part, voice, spoken, played_path)
    finally:
        suspend_microphone(s, False)
        end_app(s)


def suspend_microphone(s, suspended):
    # A null sink's monitor cannot be suspended on its own (PulseAudio answers "Invalid
    # argument"); suspending the sink stops its monitor, which is the microphone.
    run(["pactl", "suspend-sink", "microphone", "1" if suspended else "0"], env=s.env,
        timeout=10)


def stall_and_resume(s, part, voice, spoken, played_path):
    s.menu("r")
    show(part, s.wait_status("Recording"))
    s.wait_state("readouts advancing", lambda st: st["size"] != "0 K", 5)
    player = s.speak(played_path)
    time.sleep(1.5)  # into the speech
    suspend_microphone(s, True)
    t_suspend = time.monotonic()

    # Until the notice shows and the file has stood still long enough to say that the capture
    # stopped, or the notice's bound has passed.
    size = os.path.getsize(voice)
    last_block = t_suspend
    noticed = at_notice = None
    while True:
        now_size = os.path.getsize(voice)
        now = time.monotonic()
        if now_size != size:
            size, last_block = now_size, now
        state = s.read()
        show(part, state)
        if state["status"] == STALLED and noticed is None:
            noticed = now
            with open(voice, "rb") as f:
                at_notice = f.read()  # the moment the notice shows
        quiet = now - last_block
        if ((noticed and quiet >= STALL_QUIET) or quiet > STALL_NOTICE_LIMIT or
                now - t_suspend > STALL_STOP_LIMIT + STALL_NOTICE_LIMIT):
            break
        time.sleep(0.02)
    note("last block after the suspend (s)", round(last_block - t_suspend, 3))
    if last_block - t_suspend > STALL_STOP_LIMIT:
        raise Failure("suspending the microphone's sink did not stop Wine's capture")
    stalled_state = state
    if part.expect(noticed, f"the status line reads {STALLED!r} within {STALL_NOTICE_LIMIT} s "
                   "of the last block"):
        note("notice after the last block (s)", round(noticed - last_block, 3))
    else:
        with open(voice, "rb") as f:
            at_notice = f.read()  # what the file is once the notice should have shown
    check_stalled_file(s, part, voice, at_notice, spoken)
    time.sleep(0.5)
    held = s.read()
    show(part, held)
    part.expect(held["time"] == stalled_state["time"], f"the time stands while nothing "
                f"arrives: {stalled_state['time']} then {held['time']}")

    suspend_microphone(s, False)
    t_resume = time.monotonic()
    wait_until("blocks again after the resume", lambda: os.path.getsize(voice) > size,
               RESUME_LIMIT, 0.01)
    note("first block after the resume (s)", round(time.monotonic() - t_resume, 3))
    back = window_until(s, part, lambda st: st["status"] in ("Recording", NO_SOUND) and
                        st["time"] != held["time"], RESUME_LIMIT)
    part.expect(back, f"the status line says Recording again and the time goes on within "
                f"{RESUME_LIMIT} s")
    wait_until("the speech played", lambda: player.poll() is not None, len(spoken) / RATE + 10,
               0.05)
    s.menu("s")
    final = s.wait_status("", FINISH_LIMIT)
    show(part, final)
    data_bytes, _ = check_voice_file(voice, s.work, "recording after the stall")
    note("recording (s)", round(data_bytes / BYTES_PER_SECOND, 3))
    s.stop_app()


def check_stalled_file(s, part, voice, content, spoken):
    """The voice file as the notice showed: a complete header for every whole frame on the
    disk, decoded by sox and ffmpeg, following the speech heard so far."""
    covered = struct.unpack_from("<I", content, 56)[0] if len(content) >= HEADER_BYTES else 0
    on_disk = (len(content) - HEADER_BYTES) // 65 * 65
    note("stalled file: header covers, whole frames on the disk (B)", (covered, on_disk))
    part.expect(content[:HEADER_BYTES] == expected_header(on_disk) and
                len(content) == HEADER_BYTES + on_disk,
                f"the header is brought up to date: it covers {covered} of {on_disk} bytes")
    copy = os.path.join(s.work, "stalled.wav")
    with open(copy, "wb") as f:
        f.write(content)
    if covered % 65 or covered > on_disk or content[:HEADER_BYTES] != expected_header(covered):
        raise Failure(f"the voice file as the notice showed is no valid WAV: "
                      f"{content[:HEADER_BYTES].hex()}")
    decoded = decode_both(copy, covered, "stalled file")
    spoken_first = speech_bounds(spoken)[0]
    heard = spoken[spoken_first:spoken_first + RATE]  # the speech's first second
    r = best_alignment(heard, decoded)[0] if len(decoded) > len(heard) // 2 else 0.0
    note("stalled file against the speech's first second: r", round(r, 3))
    part.expect(r >= MIN_CORRELATION, f"the stalled file holds what was said (r {r:.3f})")


# ---------------------------------------------------------------- the run

PARTS = {
    "handover": handover,
    "unicode": unicode_temp,
    "disk": full_disk,
    "stall": stalled_microphone,
}


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--only", action="append", choices=list(PARTS),
                        help="run this part (repeatable); all four without")
    args = parser.parse_args()
    status = unable_to_run((args.exe, args.probe), ("espeak-ng", browser_play.BROWSER))
    if status is not None:
        return status

    started = time.monotonic()
    outcomes = []
    try:
        with Rig(args.work, args.exe, args.probe) as rig:
            step("Set up: PulseAudio, Xvfb, Wine prefix")
            set_up_with_mail(rig)
            note("set-up (s)", round(time.monotonic() - started, 1))
            for name in args.only or list(PARTS):
                outcomes.append(run_part(rig, name))
    except (Failure, subprocess.CalledProcessError) as e:
        print(f"FAIL: the rig: {failure_text(e)}", flush=True)
        return 1
    print("== Parts")
    for name, outcome, seconds in outcomes:
        print(f"  {name}: {outcome} ({seconds:.1f} s)")
    note("whole run (s)", round(time.monotonic() - started, 1))
    counts = [sum(o[1].startswith(word) for o in outcomes) for word in ("PASS", "FAIL", "SKIP")]
    print(f"world: {counts[0]} passed, {counts[1]} failed, {counts[2]} skipped")
    return 1 if counts[1] else 0


def run_part(rig, name):
    """Runs one part; (name, PASS / FAIL: why / SKIP: why, seconds)."""
    part = Part(name)
    print(f"==== {name}", flush=True)
    try:
        PARTS[name](rig, part)
        outcome = "PASS" if not part.unmet else f"FAIL: {len(part.unmet)} not met"
    except Skipped as e:
        outcome = f"SKIP: {e}"
    except (Failure, subprocess.CalledProcessError, OSError) as e:
        outcome = f"FAIL: {failure_text(e)}"
        end_app(rig)
    print(f"  {name}: {outcome} ({part.clock():.1f} s)", flush=True)
    return name, outcome, part.clock()


if __name__ == "__main__":
    sys.exit(main())
