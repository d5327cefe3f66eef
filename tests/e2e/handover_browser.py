#!/usr/bin/env python3
"""What Kestrune hands over plays in a real browser, and its recording does not.

Real speech from espeak-ng with 2 s of dead air (a room's hiss, -55 dBFS) before and after it,
then a 15 ms click as Stop's, then 0.3 s more hiss; written as a voice file of GSM 6.10 by sox
(-e gsm-full-rate: the 60-byte layout that Kestrune records, which the converter checks), and
converted by ConvertToPlayable in handover_convert.exe under Wine (the build's prefix). Both
files are loaded into <audio> in headless Chromium (browser_play.py): the GSM one must fail with
media error 4, the copy must play, and the browser's duration must be the speech's own plus
its two 0.25 s margins, without the click.

The speech's own length is measured on the speech before it is coded: from the first to the
end of the last 20 ms step louder than -45 dBFS. The copy is measured on the decoded GSM, and
the codec moves a sound's edges: it spreads the first and last sounds over their 20 ms frames
and lets them ring on briefly. So the durations may differ by up to 0.1 s (2.5 steps at each
end); the click, 2 s after the speech, would add more than 2 s. The browser's duration must
also match the samples that the converter says it kept, to 1 ms.

  tests/e2e/handover_browser.py --build BUILD --tool handover_convert.exe --work DIR
"""

import argparse
import array
import math
import os
import random
import shutil
import sys

import browser_play
from handover_support import (RATE, STEP, Failure, call, hiss, sound_steps, speech,
                              windows_path, wine_run, write_wav)

SPEECH = ("Hello, this is a message from Kestrune. The meeting moved to Thursday at three. "
          "Please call me back when you can.")
DEAD_AIR = 2.0  # seconds before and after the speech
MARGIN = 0.25  # seconds kept of the dead air at each end
TOLERANCE = 0.1  # seconds: the codec's smear of the speech's edges
BROWSER_TOLERANCE = 0.001  # seconds: the browser reads the copy's own header
NOT_SUPPORTED = 4  # MEDIA_ERR_SRC_NOT_SUPPORTED


def click():
    """15 ms: six whole cycles of a loud 400 Hz tone, adding up to nothing. A burst whose samples
    add up to an offset (broadband noise, say) leaves one in GSM's input filter, which lets it
    die away with a time constant of 125 ms; decoded, that tail counts as sound for up to half
    a second (measured with libgsm), too long for Stop's click."""
    return array.array("h", (round(16000 * math.sin(2 * math.pi * 400 * i / RATE))
                             for i in range(120)))


def speech_seconds(spoken):
    """From the start of the first step louder than -45 dBFS to the end of the last."""
    steps = sound_steps(spoken)
    loud = [i for i, s in enumerate(steps) if s]
    if not loud:
        raise Failure("espeak-ng's speech has no step louder than -45 dBFS")
    end = min((loud[-1] + 1) * STEP, len(spoken))
    return (end - loud[0] * STEP) / RATE


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="the build folder (its Wine prefix)")
    parser.add_argument("--tool", required=True, help="handover_convert.exe")
    parser.add_argument("--work", required=True, help="a folder inside the build folder")
    args = parser.parse_args()
    missing = [t for t in ("espeak-ng", "sox", browser_play.BROWSER) if not shutil.which(t)]
    if missing:
        print(f"FAIL: missing {', '.join(missing)} (scripts/install-deps.sh installs them)")
        return 1
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    try:
        rng = random.Random(1)
        spoken = speech(work, "speech", SPEECH)
        # The speech starts on a step's edge, as the converter's steps count from the start.
        recording = hiss(DEAD_AIR, rng) + spoken + hiss(DEAD_AIR, rng)
        click_at = len(recording)
        recording += click() + hiss(0.3, rng)
        pcm_path = os.path.join(work, "recording-pcm.wav")
        voice = os.path.join(work, "voice.wav")
        copy = os.path.join(work, "copy.wav")
        write_wav(pcm_path, recording)
        call(["sox", pcm_path, "-e", "gsm-full-rate", voice])
        # The click is there to be left out: it must still sound in the voice file.
        decoded = array.array("h")
        decoded.frombytes(call(["sox", voice, "-t", "raw", "-e", "signed", "-b", "16", "-"]).stdout)
        if not any(sound_steps(decoded[click_at:click_at + 5 * STEP])):
            raise Failure("the click does not sound in the voice file")
        answer = wine_run(args.build, args.tool, windows_path(args.build, voice),
                          windows_path(args.build, copy))
        print(f"handover_convert: {answer.strip()}")
        fields = dict(f.split("=", 1) for f in answer.split() if "=" in f)
        if fields.get("result") != "0":
            raise Failure(f"the conversion failed: {answer.strip()}")
        kept = (int(fields["end"]) - int(fields["first"])) / RATE
        expected = speech_seconds(spoken) + 2 * MARGIN

        results = browser_play.load([voice, copy], os.path.join(work, "browser"))
        for path, result in results.items():
            print(f"{os.path.basename(path)}: {browser_play.describe(result)}")
        original, converted = results[voice], results[copy]
        print(f"speech {expected - 2 * MARGIN:.3f} s, expected copy {expected:.3f} s "
              f"(+-{TOLERANCE} s), kept {kept:.3f} s of {int(fields['recorded']) / RATE:.3f} s")
        if original["plays"] or original["error"] != NOT_SUPPORTED:
            raise Failure(f"the GSM voice file should fail with media error {NOT_SUPPORTED}: "
                          f"{browser_play.describe(original)}")
        if not converted["plays"]:
            raise Failure(f"the copy does not play: {browser_play.describe(converted)}")
        if abs(converted["duration"] - kept) > BROWSER_TOLERANCE:
            raise Failure(f"the browser found {converted['duration']:.4f} s in a copy of "
                          f"{kept:.4f} s")
        if abs(converted["duration"] - expected) > TOLERANCE:
            raise Failure(f"the copy lasts {converted['duration']:.3f} s, not the speech and "
                          f"its margins, {expected:.3f} s")
    except (Failure, RuntimeError, OSError) as e:
        print(f"FAIL: {e}")
        return 1
    print("PASS")
    return 0


if __name__ == "__main__":
    sys.exit(main())
