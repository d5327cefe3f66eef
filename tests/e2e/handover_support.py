"""What the hand-over's browser test, its benchmark driver and world.py share: speech made by
espeak-ng at Kestrune's 8 kHz, a quiet room's hiss, WAV files written from samples, and Windows
programs of a build run under Wine in the build's own prefix (cmake/wine-run.sh)."""

import array
import math
import os
import subprocess
import wave

from rig import Failure, run

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
RATE = 8000
STEP = 160  # 20 ms
SILENT_DBFS = -45.0


def call(cmd, **kw):
    """Runs a program to its end, within rig.run's time limit; a Failure that says what it
    printed when it fails."""
    try:
        return run(cmd, **kw)
    except subprocess.CalledProcessError as e:
        raise Failure(f"{' '.join(e.cmd)} ended with {e.returncode}: "
                      f"{(e.stdout + e.stderr).decode(errors='replace').strip()}") from None


def speech(work, name, text):
    """The text spoken by espeak-ng, as 16-bit samples at 8 kHz mono."""
    spoken = os.path.join(work, name + "-espeak.wav")
    call(["espeak-ng", "-s", "165", "-w", spoken, text])
    raw = call(["sox", spoken, "-t", "raw", "-r", str(RATE), "-c", "1", "-b", "16", "-e",
                "signed", "-"]).stdout
    samples = array.array("h")
    samples.frombytes(raw[:len(raw) // 2 * 2])
    return samples


def hiss(seconds, rng):
    """A quiet room's dead air: about -55 dBFS, under the -45 dBFS that counts as sound."""
    return array.array("h", (rng.randint(-100, 100) for _ in range(round(seconds * RATE))))


def write_wav(path, samples):
    """16-bit mono 8 kHz PCM."""
    with wave.open(path, "wb") as f:
        f.setnchannels(1)
        f.setsampwidth(2)
        f.setframerate(RATE)
        f.writeframes(samples.tobytes())


def sound_steps(samples):
    """Per 20 ms step (the last may be shorter): louder than -45 dBFS, RMS against 32768."""
    steps = []
    for at in range(0, len(samples), STEP):
        part = samples[at:at + STEP]
        mean_square = sum(s * s for s in part) / len(part)
        steps.append(mean_square > 0 and 10 * math.log10(mean_square / 32768 ** 2) >= SILENT_DBFS)
    return steps


def wine_run(build, exe, *args):
    """Runs a Windows program of the build (x64) under Wine in the build's prefix; its output
    as text."""
    return call(["bash", os.path.join(ROOT, "cmake", "wine-run.sh"), exe, *args], cwd=build,
                env=dict(os.environ, KESTRUNE_BUILD_DIR=build)).stdout.decode(errors="replace")


def windows_path(build, path):
    """The path as a Windows program under Wine sees it."""
    return wine_run(build, "winepath.exe", "-w", os.path.abspath(path)).strip()
