#!/usr/bin/env python3
"""Kestrune end to end with real sound, under Wine on Linux.

The set-up (rig.py): a private PulseAudio with a "microphone" and a "speaker", Xvfb, a Wine
prefix of its own, and Kestrune.exe, the release build with the Wine-side winmm.dll and
mapi32.dll beside it. Kestrune is driven through X like a person would (menu keys); a small
separate Windows program (kestrune_probe.exe) reads the readouts and the status line from
outside.

Exit status: 0 passed, 1 failed, 77 skipped (the installed Wine is not the 8.0 that the
Wine-side fixes are made for, which scripts/install-deps.sh cannot change).
"""

import argparse
import array
import itertools
import math
import os
import random
import re
import shutil
import struct
import subprocess
import sys
import time

from handover_support import STEP, sound_steps
from rig import Failure, Rig, run, unable_to_run, wait_until

RATE = 8000
HEADER_BYTES = 60
BYTES_PER_SECOND = 1625
DRAIN_LIMIT = 0.7  # eight 130-byte buffers are 0.64 s of sound
FINISH_LIMIT = 5  # Stop to Ready: slower than this is a recording that does not end
ENVELOPE_WINDOW = 160  # 20 ms at 8 kHz
MIN_CORRELATION = 0.8
GAP_LIMIT = 0.25  # a late buffer or two under load, not a choppy stream
NOTICE_SLACK = 2  # seconds past the 3 s of silence before the notice must show
KILL_EARLIEST, KILL_LATEST = 1.5, 6.0  # seconds into a recording that a kill may come
COVERAGE_LIMIT = BYTES_PER_SECOND  # a file cut off loses at most the last second
IDYES, IDNO, IDCANCEL = 6, 7, 2
MU_LAW_HEADER = 58
MARGIN = 2000  # samples of silence the copy handed over keeps at each end: 0.25 s
CLICK_STEPS, CLICK_QUIET_STEPS = 5, 25  # a last sound under 0.1 s after 0.5 s of silence
SPEECH = ("Kestrune records a short spoken message. It is played back, paused, "
          "and sent by mail, one two three four five.")

figures = []  # (name, value) reported at the end


def note(name, value):
    figures.append((name, value))
    print(f"  {name}: {value}", flush=True)


def step(text):
    print(f"== {text}", flush=True)


# ---------------------------------------------------------------- sound analysis

def pcm_of(path):
    """16-bit mono 8 kHz samples of any file sox reads."""
    raw = run(["sox", path, "-t", "raw", "-e", "signed", "-b", "16", "-c", "1", "-r", str(RATE),
               "-"]).stdout
    samples = array.array("h")
    samples.frombytes(raw[:len(raw) // 2 * 2])
    return samples


def energy_sums(samples):
    return list(itertools.accumulate((s * s for s in samples), initial=0))


def envelope(sums, offset, count):
    """RMS of count 20 ms windows starting at sample offset."""
    w = ENVELOPE_WINDOW
    return [math.sqrt((sums[offset + (k + 1) * w] - sums[offset + k * w]) / w)
            for k in range(count)]


def pearson(x, y):
    n = len(x)
    mx, my = sum(x) / n, sum(y) / n
    sxy = sum((a - mx) * (b - my) for a, b in zip(x, y))
    sxx = sum((a - mx) ** 2 for a in x)
    syy = sum((b - my) ** 2 for b in y)
    return sxy / math.sqrt(sxx * syy) if sxx > 0 and syy > 0 else 0.0


def best_alignment(reference, recorded, step_samples=20, lags=None):
    """Where the reference sound sits in the recording: (r, offset in the recording in
    samples; negative when the recording missed the reference's start) maximising the
    correlation of 20 ms loudness envelopes over the part both hold."""
    ref_sums, rec_sums = energy_sums(reference), energy_sums(recorded)
    w = ENVELOPE_WINDOW
    best = (-2.0, 0, [], [])
    if lags is None:
        lags = range(-len(reference) // 2, len(recorded) - len(reference) // 2, step_samples)
    for lag in lags:
        ref_off, rec_off = max(0, -lag), max(0, lag)
        count = min(len(reference) - ref_off, len(recorded) - rec_off) // w
        if count < 25:
            continue
        x, y = envelope(ref_sums, ref_off, count), envelope(rec_sums, rec_off, count)
        r = pearson(x, y)
        if r > best[0]:
            best = (r, lag, x, y)
    return best


def correlate(reference, recorded):
    """How well the recording follows the reference sound, in 20 ms loudness envelopes.
    Returns (r at the one best offset, r with each second aligned on its own, offset of
    the reference in the recording in seconds, gaps: seconds of sound lost or inserted).
    A late buffer under load shifts everything after it; the second figure still shows
    whether the sound itself came through."""
    r, lag = best_alignment(reference, recorded)[:2]
    xs, ys, lags = [], [], []
    for start in range(0, len(reference) - RATE // 2, RATE):
        piece = reference[start:start + RATE]
        reach = range(lag + start - 2400, lag + start + 2401, 20)  # +-0.3 s
        piece_r, piece_lag, x, y = best_alignment(piece, recorded, lags=reach)
        if x:
            xs += x
            ys += y
            lags.append(piece_lag - start)
    gaps = sum(abs(b - a) for a, b in zip(lags, lags[1:]) if abs(b - a) > 40) / RATE
    return r, pearson(xs, ys) if xs else 0.0, lag / RATE, gaps


# ---------------------------------------------------------------- the voice file

def expected_header(data_bytes):
    return (b"RIFF" + struct.pack("<I", data_bytes + 52) + b"WAVEfmt " + struct.pack("<I", 20) +
            struct.pack("<HHIIHHHH", 0x31, 1, 8000, 1625, 65, 0, 2, 320) +
            b"fact" + struct.pack("<II", 4, int(data_bytes * 320 / 65 + 0.5)) +
            b"data" + struct.pack("<I", data_bytes))


def decode_both(path, data_bytes, label):
    """sox and ffmpeg each decode exactly the whole frames of data_bytes; returns sox's
    samples."""
    samples = pcm_of(path)
    ffmpeg_raw = run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", "1", "-ar",
                      str(RATE), "-"]).stdout
    frames = data_bytes // 65 * 320
    if len(samples) != frames or len(ffmpeg_raw) // 2 != frames:
        raise Failure(f"{label}: decoded {len(samples)} samples (sox) and "
                      f"{len(ffmpeg_raw) // 2} (ffmpeg), expected {frames}")
    return samples


def check_voice_file(path, work, label):
    """The file of a completed recording; returns (data bytes, decoded samples)."""
    with open(path, "rb") as f:
        content = f.read()
    if len(content) < HEADER_BYTES:
        raise Failure(f"{label}: voice file has {len(content)} bytes, not even a header")
    data_bytes = struct.unpack_from("<I", content, 56)[0]
    if content[:HEADER_BYTES] != expected_header(data_bytes):
        raise Failure(f"{label}: header is not that of a completed recording of {data_bytes} "
                      f"bytes: {content[:HEADER_BYTES].hex()}")
    if len(content) != HEADER_BYTES + data_bytes:
        raise Failure(f"{label}: file length {len(content)} != 60 + data size {data_bytes}")
    if data_bytes == 0 or data_bytes % 65:
        raise Failure(f"{label}: data size {data_bytes} is not a positive number of 65-byte "
                      "GSM frames")
    return data_bytes, decode_both(path, data_bytes, label)


def check_left_behind(path, label):
    """The file of a Kestrune that died while recording: its header is a completed one for
    whole frames it holds, no more than a second behind them, and sox and ffmpeg decode just
    that. Returns (bytes of whole frames written, bytes the header covers)."""
    with open(path, "rb") as f:
        content = f.read()
    if len(content) < HEADER_BYTES:
        raise Failure(f"{label}: the file left behind has {len(content)} bytes, not a header")
    written = (len(content) - HEADER_BYTES) // 65 * 65
    covered = struct.unpack_from("<I", content, 56)[0]
    if content[:HEADER_BYTES] != expected_header(covered):
        raise Failure(f"{label}: the header left behind is not a completed one: "
                      f"{content[:HEADER_BYTES].hex()}")
    if covered % 65 or covered > written or written - covered > COVERAGE_LIMIT:
        raise Failure(f"{label}: the header covers {covered} bytes of the {written} written "
                      f"(at most {COVERAGE_LIMIT} may be missing)")
    decode_both(path, covered, label)
    return written, covered


# ---------------------------------------------------------------- what is handed over

def mu_law_data(path, label):
    """The data of the copy Send and Copy hand over, after checking its header: RIFF/WAVE, a
    fmt chunk of 18 bytes for G.711 µ-law at 8000 Hz mono 8-bit, fact with the sample count,
    data, and a pad byte after an odd count."""
    with open(path, "rb") as f:
        content = f.read()
    if len(content) < MU_LAW_HEADER:
        raise Failure(f"{label}: {len(content)} bytes, not even a µ-law WAV's header")
    samples = struct.unpack_from("<I", content, MU_LAW_HEADER - 4)[0]
    want = (b"RIFF" + struct.pack("<I", MU_LAW_HEADER - 8 + samples + samples % 2) +
            b"WAVEfmt " + struct.pack("<IHHIIHHH", 18, 7, 1, RATE, RATE, 1, 8, 0) +
            b"fact" + struct.pack("<II", 4, samples) + b"data" + struct.pack("<I", samples))
    if content[:MU_LAW_HEADER] != want or len(content) != MU_LAW_HEADER + samples + samples % 2:
        raise Failure(f"{label}: not a µ-law WAV of its {samples} samples: "
                      f"{content[:MU_LAW_HEADER].hex()} in {len(content)} bytes")
    return content[MU_LAW_HEADER:MU_LAW_HEADER + samples]


def kept_part(samples):
    """The samples the copy must hold, first and end: from 0.25 s before the first 20 ms step
    louder than -45 dBFS to 0.25 s after the last, where a last sound shorter than 0.1 s after
    at least 0.5 s of silence is Stop's click; all of it when nothing is louder."""
    runs = []
    for at, sound in enumerate(sound_steps(samples)):
        if sound and runs and runs[-1][1] == at:
            runs[-1][1] = at + 1
        elif sound:
            runs.append([at, at + 1])
    if runs:
        start, end = runs[-1]
        quiet = start - (runs[-2][1] if len(runs) > 1 else 0)
        if end - start < CLICK_STEPS and quiet >= CLICK_QUIET_STEPS:
            runs.pop()
    if not runs:
        return 0, len(samples)
    return max(0, runs[0][0] * STEP - MARGIN), min(len(samples), runs[-1][1] * STEP + MARGIN)


def check_handed_over(path, voice_file, label):
    """What Send or Copy handed over: a µ-law WAV that sox and ffmpeg decode, holding the
    recording's sound from 0.25 s before its first sound to 0.25 s after its last, µ-law for
    µ-law as sox writes it from the voice file (the same libgsm decodes both)."""
    data = mu_law_data(path, label)
    by_sox = len(pcm_of(path))
    by_ffmpeg = len(run(["ffmpeg", "-v", "error", "-i", path, "-f", "s16le", "-ac", "1", "-ar",
                         str(RATE), "-"]).stdout) // 2
    if by_sox != len(data) or by_ffmpeg != len(data):
        raise Failure(f"{label}: sox decodes {by_sox} samples, ffmpeg {by_ffmpeg}, of its "
                      f"{len(data)}")
    recorded = pcm_of(voice_file)
    first, end = kept_part(recorded)
    whole = run(["sox", "-D", voice_file, "-t", "raw", "-e", "u-law", "-b", "8", "-"]).stdout
    note(f"{label}: µ-law kept (s), of the recording's (s)",
         (round(len(data) / RATE, 3), round(len(recorded) / RATE, 3)))
    note(f"{label}: kept from .. to (s)", (round(first / RATE, 3), round(end / RATE, 3)))
    if data != whole[first:end]:
        found = whole.find(data)
        raise Failure(f"{label}: not the recording's sound from {first / RATE:.3f} s to "
                      f"{end / RATE:.3f} s in µ-law (the copy's {len(data)} samples "
                      f"{'are at ' + str(found) if found >= 0 else 'are not in it'})")
    if first == 0:
        raise Failure(f"{label}: the rig recorded no dead air before the speech to leave out")


def time_text(data_bytes):
    seconds = data_bytes // BYTES_PER_SECOND
    return f"{seconds // 60}:{seconds % 60 // 10}{seconds % 10}"


def size_text(data_bytes):
    return f"{data_bytes // 1024} K"


# ---------------------------------------------------------------- the mail program

def fake_mail(rig):
    """A mail program first on the PATH that notes what it was given."""
    bin_dir = os.path.join(rig.work, "bin")
    os.makedirs(bin_dir, exist_ok=True)
    rig.mail_log = os.path.join(rig.work, "xdg-email.log")
    rig.mail_copy = os.path.join(rig.work, "xdg-email-attachment")
    for f in (rig.mail_log, rig.mail_copy):
        if os.path.exists(f):
            os.remove(f)
    fake = os.path.join(bin_dir, "xdg-email")
    with open(fake, "w") as f:
        f.write("#!/bin/sh\n"
                "# Stands for the user's mail program: notes its arguments and the attachment.\n"
                "prev=\n"
                "for a in \"$@\"; do\n"
                f"  [ \"$prev\" = --attach ] && cp \"$a\" '{rig.mail_copy}'\n"
                "  prev=$a\n"
                "done\n"
                f"printf '%s\\n' \"$@\" >'{rig.mail_log}.part'\n"
                f"mv '{rig.mail_log}.part' '{rig.mail_log}'\n")
    os.chmod(fake, 0o755)
    rig.env["PATH"] = bin_dir + os.pathsep + rig.env.get("PATH", "")


# ---------------------------------------------------------------- the scenario

def make_speech(work):
    wav = os.path.join(work, "speech-22k.wav")
    speech = os.path.join(work, "speech.wav")
    run(["espeak-ng", "-s", "165", "-w", wav, SPEECH])
    run(["sox", wav, "-r", str(RATE), "-c", "1", "-b", "16", "-e", "signed", speech])
    return speech, pcm_of(speech)


def record_speech(s, speech_path, speech):
    step("Record while the speech plays into the microphone, then Stop")
    s.menu("r")
    t_rec = time.monotonic()
    s.wait_status("Recording")
    # Speak once the device really delivers (the first kilobyte is in).
    s.wait_state("readouts advancing", lambda st: st["size"] != "0 K", 5)
    player = s.speak(speech_path)
    # The meter follows the speech: its highest reading while the speech plays.
    loudest = 0
    deadline = time.monotonic() + len(speech) / RATE + 10
    while player.poll() is None and time.monotonic() < deadline:
        loudest = max(loudest, int(s.read()["meter"]))
        time.sleep(0.05)
    wait_until("speech played", lambda: player.poll() is not None, 1)
    note("recording: highest meter reading during the speech", loudest)
    if loudest <= 30:
        raise Failure(f"the level meter reached only {loudest} of 60 while the speech played")
    s.menu("s")
    t_stop = time.monotonic()
    # How long the drain takes depends on the machine's load: a figure, not a check. How much
    # it drains is checked below by the data size.
    final = s.wait_status("", FINISH_LIMIT)
    drain = time.monotonic() - t_stop

    files = s.voice_files()
    if len(files) != 1:
        raise Failure(f"expected one voice file kes*.tmp, found {files}")
    data_bytes, recorded = check_voice_file(files[0], s.work, "recording")
    duration = data_bytes / BYTES_PER_SECOND
    speech_len = len(speech) / RATE
    r_whole, r, offset, gaps = correlate(speech, recorded)
    tail = duration - (offset + speech_len)
    note("recording: data bytes", data_bytes)
    note("recording: duration (s)", round(duration, 3))
    note("speech: duration (s)", round(speech_len, 3))
    note("recording: speech starts at (s)", round(offset, 3))
    note("recording: after the speech (s)", round(tail, 3))
    note("recording: Stop to Ready, wall clock (s)", round(drain, 3))
    note("recording: Record to Stop, wall clock (s)", round(t_stop - t_rec, 3))
    note("recording: envelope correlation r (one offset)", round(r_whole, 3))
    note("recording: envelope correlation r (each second aligned)", round(r, 3))
    note("recording: sound lost or inserted (s)", round(gaps, 3))
    if r < MIN_CORRELATION or gaps > GAP_LIMIT:
        raise Failure(f"recording does not follow the speech: r = {r:.3f}, {gaps:.3f} s of "
                      "sound lost or inserted")
    if offset < -0.1:
        raise Failure(f"recording missed the start of the speech ({offset:.3f} s)")
    # Everything after the speech is the Stop keys' way plus the drain.
    if not (0 <= tail <= (t_stop - t_rec) - (offset + speech_len) + DRAIN_LIMIT + 0.1 and
            duration <= t_stop - t_rec + DRAIN_LIMIT + 0.1):
        raise Failure(f"recording of {duration:.3f} s does not match the speech "
                      f"({speech_len:.3f} s from {offset:.3f} s) and a drain within "
                      f"{DRAIN_LIMIT} s")
    if final["time"] != time_text(data_bytes) or final["size"] != size_text(data_bytes):
        raise Failure(f"readouts {final['time']!r} {final['size']!r} after recording "
                      f"{data_bytes} bytes")
    return files[0], data_bytes, recorded


def play_to_end(s, data_bytes, recorded):
    step("Play to the end while the speaker is recorded")
    capture = os.path.join(s.work, "speaker.raw")
    parec = s.capture_speaker(capture)
    s.menu("p")
    s.wait_status("Playing")
    t_play = time.monotonic()
    slider_seen = s.wait_state("slider following the playback", lambda st: int(st["slider"]) > 0,
                               data_bytes / BYTES_PER_SECOND + 5)["slider"]
    final = s.wait_status("", data_bytes / BYTES_PER_SECOND + 5)
    played = time.monotonic() - t_play
    # Let the last sound reach the capture: 0.5 s more of it.
    size_at_end = os.path.getsize(capture)
    wait_until("speaker capture after the end", lambda: os.path.getsize(capture) >=
               size_at_end + RATE, 5)
    s.end(parec)
    heard = array.array("h")
    with open(capture, "rb") as f:
        raw = f.read()
    heard.frombytes(raw[:len(raw) // 2 * 2])
    r_whole, r, offset, gaps = correlate(recorded, heard)
    note("playback: Playing to Ready, wall clock (s)", round(played, 3))
    note("playback: envelope correlation r, speaker vs file (one offset)", round(r_whole, 3))
    note("playback: envelope correlation r, speaker vs file (each second aligned)", round(r, 3))
    note("playback: sound lost or inserted (s)", round(gaps, 3))
    note("playback: first slider position seen", slider_seen)
    if r < MIN_CORRELATION or gaps > GAP_LIMIT:
        raise Failure(f"the speaker did not play the recording: r = {r:.3f}, {gaps:.3f} s of "
                      "sound lost or inserted")
    if (final["time"] != time_text(data_bytes) or final["size"] != size_text(data_bytes) or
            final["slider"] != "0"):
        raise Failure(f"after playback: time {final['time']!r} (want {time_text(data_bytes)!r}),"
                      f" size {final['size']!r} (want {size_text(data_bytes)!r}),"
                      f" slider {final['slider']} (want 0)")
    if played < data_bytes / BYTES_PER_SECOND - 0.3:
        raise Failure(f"playback of {data_bytes / BYTES_PER_SECOND:.2f} s ended after "
                      f"{played:.2f} s")


def stays(s, what, field, seconds=0.5):
    """The readout does not change for a while (a paused device)."""
    first = s.read()[field]
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        now = s.read()[field]
        if now != first:
            raise Failure(f"{what}: {field} moved from {first!r} to {now!r} while paused")
        time.sleep(0.05)
    return first


def settled(s, field, quiet=0.3, timeout=3):
    """Waits until a readout stops changing (the partly filled buffer came back)."""
    last = [s.read()[field], time.monotonic()]

    def check():
        now = s.read()[field]
        if now != last[0]:
            last[:] = [now, time.monotonic()]
        return time.monotonic() - last[1] >= quiet
    wait_until(f"{field} readout settling", check, timeout)
    return last[0]


def record_with_pauses(s, speech_path, speech):
    step("Record with Pause, resume, Pause and Stop while paused")
    s.menu("r")
    s.wait_status("Recording")
    player = s.speak(speech_path)
    s.wait_state("a second recorded", lambda st: st["time"] != "0:00", 5)
    s.menu("a")
    s.wait_status("Recording / Paused")
    t_pause = time.monotonic()
    paused_size = settled(s, "size")
    stays(s, "recording paused", "size")
    s.menu("a")
    s.wait_status("Recording")
    paused_for = time.monotonic() - t_pause
    s.wait_state("recording resumed", lambda st: st["size"] != paused_size, 3)
    s.menu("a")
    s.wait_status("Recording / Paused")
    s.menu("s")
    t_stop = time.monotonic()
    final = s.wait_status("", 5)
    note("paused recording: Stop (while paused) to Ready (s)", round(time.monotonic() - t_stop, 3))
    note("paused recording: first pause lasted (s)", round(paused_for, 3))
    data_bytes, _ = check_voice_file(s.voice_files()[0], s.work, "paused recording")
    note("paused recording: duration (s)", round(data_bytes / BYTES_PER_SECOND, 3))
    if final["size"] != size_text(data_bytes):
        raise Failure(f"size readout {final['size']!r} for {data_bytes} bytes")
    wait_until("speech played", lambda: player.poll() is not None, len(speech) / RATE + 10)
    return data_bytes


def play_with_pauses(s, data_bytes):
    step("Play with Pause, resume, Pause and Stop while paused")
    s.menu("p")
    s.wait_status("Playing")
    s.wait_state("slider moving", lambda st: int(st["slider"]) > 0, 5)
    s.menu("a")
    s.wait_status("Playing / Paused")
    settled(s, "slider")
    position = stays(s, "playback paused", "slider")
    s.menu("a")
    s.wait_status("Playing")
    s.wait_state("playback resumed", lambda st: st["slider"] != position, 5)
    s.menu("a")
    s.wait_status("Playing / Paused")
    s.menu("s")
    t_stop = time.monotonic()
    final = s.wait_status("", 5)
    note("paused playback: Stop (while paused) to Ready (s)", round(time.monotonic() - t_stop, 3))
    if final["slider"] != "0" or final["time"] != time_text(data_bytes):
        raise Failure(f"after a stopped playback: slider {final['slider']}, time "
                      f"{final['time']!r} (want 0 and {time_text(data_bytes)!r})")


def send(s, voice_file):
    step("Send to the mail program")
    s.menu("e")
    sent_at = time.time()
    wait_until("xdg-email called", lambda: os.path.exists(s.mail_log), 15, 0.05)
    with open(s.mail_log) as f:
        args = f.read().splitlines()
    if "--attach" not in args:
        raise Failure(f"xdg-email got no attachment: {args}")
    attached = args[args.index("--attach") + 1]
    name = os.path.basename(attached)
    note("send: attachment name", name)
    match = re.fullmatch(r"voice-message-((Sun|Mon|Tue|Wed|Thu|Fri|Sat)_(Jan|Feb|Mar|Apr|May|"
                         r"Jun|Jul|Aug|Sep|Oct|Nov|Dec)_\d\d_\d\d-\d\d-\d\d_\d{4})\.wav", name)
    if not match:
        raise Failure(f"attachment name {name!r} is not voice-message-Www_Mmm_DD_hh-mm-ss_YYYY.wav")
    stamp = time.mktime(time.strptime(match.group(1), "%a_%b_%d_%H-%M-%S_%Y"))
    if abs(stamp - sent_at) > 60:
        raise Failure(f"attachment name {name!r} is not the time of the Send")
    check_handed_over(s.mail_copy, voice_file, "send")


def copy_as_file(s, voice_file):
    """Ctrl+C puts the recording converted, as Send hands it over, on the clipboard as a file:
    under Wine the desktop sees it as a text/uri-list naming that copy."""
    import urllib.parse
    step("Copy as a file: the desktop's clipboard offers a text/uri-list")
    if not shutil.which("xclip"):
        raise Failure("xclip is missing: run scripts/install-deps.sh")

    def uri_list():
        try:
            r = subprocess.run(["xclip", "-selection", "clipboard", "-o", "-t", "text/uri-list"],
                               env=s.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               timeout=5)
        except subprocess.TimeoutExpired:
            return ""
        return r.stdout.decode(errors="replace").strip() if r.returncode == 0 else ""

    s.keys("ctrl+c")
    text = wait_until("a text/uri-list on the clipboard", uri_list, 15, 0.1)
    uris = [line for line in text.splitlines() if line and not line.startswith("#")]
    if len(uris) != 1 or not uris[0].startswith("file://"):
        raise Failure(f"the clipboard's text/uri-list is not one file: {text!r}")
    path = urllib.parse.unquote(urllib.parse.urlparse(uris[0]).path)
    name = os.path.basename(path)
    note("copy: file on the clipboard", name)
    if os.path.basename(os.path.dirname(path)) != "Kestrune" or not re.fullmatch(
            r"voice-message-\w{3}_\w{3}_\d\d_\d\d-\d\d-\d\d_\d{4}(-\d+)?\.wav", name):
        raise Failure(f"the clipboard names {path}, not a copy in the Kestrune temporary folder")
    check_handed_over(path, voice_file, "copy")


def close_window(s, _):
    step("Close the window")
    voice_files = s.voice_files()
    s.stop_app()
    left = [f for f in voice_files if os.path.exists(f)]
    if left:
        raise Failure(f"the voice file is still there: {left}")


def starts_empty(s, _):
    step("Start: empty readouts and one empty voice file")
    first = s.read()
    if first["status"] != "" or first["time"] != "0:00" or first["size"] != "0 K":
        raise Failure(f"Kestrune did not start empty: {first}")
    if len(s.voice_files()) != 1:
        raise Failure(f"expected one empty voice file, found {s.voice_files()}")


def silence_brings_the_notice(s, _):
    step("Record in silence: after 3 s the status line says no sound arrives")
    s.menu("r")
    s.wait_state("recording under way", lambda st: st["size"] != "0 K", 5)
    silent = s.wait_state("the notice of no sound", lambda st: st["status"] ==
                          "Recording: no sound from the microphone", 3 + NOTICE_SLACK)
    note("silence: meter with the notice", silent["meter"])
    if int(silent["meter"]) > 5:
        raise Failure(f"the meter reads {silent['meter']} in silence")
    s.menu("s")
    s.wait_status("", FINISH_LIMIT)


def recording_and_playback(s, speech):
    voice_file, data_bytes, recorded = record_speech(s, *speech)
    play_to_end(s, data_bytes, recorded)
    send(s, voice_file)
    copy_as_file(s, voice_file)
    paused_bytes = record_with_pauses(s, *speech)
    play_with_pauses(s, paused_bytes)


def killed_while_recording(s, speech_path, moment, label):
    """Records while the speech plays and ends the process with TerminateProcess `moment`
    seconds after the status line said Recording; checks the file it leaves behind. Returns
    (its path, bytes of whole frames written, bytes its header covers)."""
    s.menu("r")
    s.wait_status("Recording")
    t_rec = time.monotonic()
    player = s.speak(speech_path)
    time.sleep(max(0.0, moment - (time.monotonic() - t_rec)))
    s.kill_app()
    s.end(player)
    files = s.voice_files()
    if len(files) != 1:
        raise Failure(f"{label}: expected the one voice file left behind, found {files}")
    written, covered = check_left_behind(files[0], label)
    return files[0], written, covered


def offer_text(path, data_bytes):
    """The offer for a file left behind as the probe reads it (line ends become spaces). Wine
    here speaks US English, whose short date and time read 3/7/2026 2:05 PM."""
    made_at = time.localtime(os.path.getmtime(path))
    hour = made_at.tm_hour % 12 or 12
    made = (f"{made_at.tm_mon}/{made_at.tm_mday}/{made_at.tm_year} {hour}:{made_at.tm_min:02d} "
            f"{'PM' if made_at.tm_hour >= 12 else 'AM'}")
    return (f"Kestrune: Kestrune found a recording that was left behind ({time_text(data_bytes)} "
            f"long, made {made}).  Open it? No deletes it; Cancel keeps it for later.")


def offered_back(s, path, data_bytes, label):
    """Starts Kestrune, which must offer the file left behind; answers Yes and checks that it
    is the recording now: Ready, its readouts, the file repaired, and no other voice file.
    Returns the decoded samples."""
    want = offer_text(path, data_bytes)
    offer = s.start_app(IDYES)
    if offer != want:
        raise Failure(f"{label}: the offer reads {offer!r}, not {want!r}")
    state = s.wait_status("", 5)
    if state["time"] != time_text(data_bytes) or state["size"] != size_text(data_bytes):
        raise Failure(f"{label}: readouts {state['time']!r} {state['size']!r} for the "
                      f"{data_bytes} bytes offered back")
    if s.voice_files() != [path]:
        raise Failure(f"{label}: voice files {s.voice_files()}, not just the one opened")
    repaired, samples = check_voice_file(path, s.work, label)
    if repaired != data_bytes:
        raise Failure(f"{label}: repaired to {repaired} bytes, not the {data_bytes} it held")
    return samples


def killed_and_offered_back(s, speech):
    moment = s.rng.uniform(KILL_EARLIEST, KILL_LATEST)
    step(f"Record and end the process with TerminateProcess {moment:.3f} s in; start again and"
         " open what was left")
    s.start_app()
    path, written, covered = killed_while_recording(s, speech[0], moment, "killed recording")
    note("kill: seconds into the recording", round(moment, 3))
    note("kill: whole frames written (s)", round(written / BYTES_PER_SECOND, 3))
    note("kill: header covers, decoded by sox and ffmpeg (s)", round(covered / BYTES_PER_SECOND,
                                                                   3))
    samples = offered_back(s, path, written, "killed recording")
    play_to_end(s, written, samples)
    close_window(s, speech)


def logged_off(s, speech):
    step("Log-off while recording: WM_QUERYENDSESSION, then WM_ENDSESSION(TRUE), sent from "
         "another process")
    s.start_app()
    s.menu("r")
    s.wait_status("Recording")
    player = s.speak(speech[0])
    s.wait_state("two seconds recorded", lambda st: st["time"] not in ("0:00", "0:01"), 5)
    query = s.session_message("query")
    note("log-off: WM_QUERYENDSESSION answer while recording", query["answer"])
    if query["answer"] != "0":
        raise Failure(f"WM_QUERYENDSESSION during a recording answered {query['answer']}")
    s.wait_status("Recording", 2)  # the recording goes on
    end = s.session_message("endsession")
    note("log-off: WM_ENDSESSION handled in (ms)", end["ms"])
    if end["sent"] != "1":
        raise Failure(f"WM_ENDSESSION was not handled within 5 s: {end}")
    # Windows ends the process soon after; Kestrune ends it itself.
    wait_until("Kestrune ending after WM_ENDSESSION", lambda: s.app.poll() is not None, 5, 0.02)
    s.end(player)
    files = s.voice_files()
    if len(files) != 1:
        raise Failure(f"expected the recording kept after the log-off, found {files}")
    data_bytes, _ = check_voice_file(files[0], s.work, "logged-off recording")
    note("log-off: recording kept, decoded by sox and ffmpeg (s)",
         round(data_bytes / BYTES_PER_SECOND, 3))
    step("Next start offers it: Cancel keeps it, the start after offers it again, No deletes it")
    want = offer_text(files[0], data_bytes)
    for answer in (IDCANCEL, IDNO):
        offer = s.start_app(answer)
        if offer != want:
            raise Failure(f"the offer reads {offer!r}, not {want!r}")
        state = s.read()
        if state["status"] != "" or state["time"] != "0:00" or state["size"] != "0 K":
            raise Failure(f"after the offer Kestrune did not start empty: {state}")
        kept = os.path.exists(files[0])
        if kept != (answer == IDCANCEL) or len(s.voice_files()) != 1 + kept:
            raise Failure(f"after {'Cancel' if kept else 'No'}: voice files {s.voice_files()}")
        if answer == IDCANCEL:
            query = s.session_message("query")
            if query["answer"] != "1":
                raise Failure(f"WM_QUERYENDSESSION with nothing recording answered {query}")
        s.stop_app()
    if s.voice_files():
        raise Failure(f"voice files left after No and Close: {s.voice_files()}")


# Each check takes the rig with Kestrune running and (path, samples) of the speech; they run
# in this order. The first two leave Kestrune running; the rest start and end it themselves.
CHECKS = [
    starts_empty,
    recording_and_playback,
    silence_brings_the_notice,
    close_window,
    killed_and_offered_back,
    logged_off,
]


def set_up_with_mail(rig):
    """PulseAudio, Xvfb and the prefix (its creation timed the first time), and the fake mail
    program."""
    prefix_took = rig.set_up()
    if prefix_took:
        note("prefix creation (s)", round(prefix_took, 1))
    fake_mail(rig)


def failure_text(e):
    """A failure as one line, with what a failed program printed on its error output."""
    detail = e.stderr.decode(errors="replace") if isinstance(e, subprocess.CalledProcessError) \
        and e.stderr else ""
    return f"{e} {detail}".rstrip()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--exe", required=True)
    parser.add_argument("--probe", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--seed", type=int, default=None,
                        help="the seed of the kill's moment (printed by every run)")
    args = parser.parse_args()
    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1 << 32)
    print(f"kill seed: {seed} (--seed {seed} repeats it)", flush=True)

    status = unable_to_run((args.exe, args.probe), ("espeak-ng",))
    if status is not None:
        return status

    started = time.monotonic()
    try:
        with Rig(args.work, args.exe, args.probe) as rig:
            step("Set up: PulseAudio, Xvfb, Wine prefix, Kestrune")
            set_up_with_mail(rig)
            rig.rng = random.Random(seed)
            speech = make_speech(rig.work)
            rig.start_app()
            for check in CHECKS:
                check(rig, speech)
    except (Failure, subprocess.CalledProcessError) as e:
        print(f"FAIL: {failure_text(e)}", flush=True)
        return 1
    note("whole run (s)", round(time.monotonic() - started, 1))
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
