#!/usr/bin/env python3
"""Whether a real browser plays WAV files: each is loaded into an <audio> element of a page in
headless Chromium (Debian's chromium), served from a loopback HTTP server on a free port.

  tests/e2e/browser_play.py --work DIR FILE.wav [FILE.wav ...]

Prints a line for each file: "plays" with the duration the browser found and the media events
seen (loadedmetadata, canplay, playing), or "fails" with the media error code (4 is
MEDIA_ERR_SRC_NOT_SUPPORTED), or "no answer". Exit status 0 when every file plays, 1 when one
does not, 2 when the browser could not be asked. The browser's profile, the served copies and
its log stay in DIR. Everything started here ends here: the server with the run, the browser
and every process of its session after it answers or after the time limit.
"""

import argparse
import html
import http.server
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time

from rig import _group_alive  # whether a process group still has a process

BROWSER = "chromium"
BUDGET_MS = 20000  # virtual time the page may take: loading is quick, this only bounds it
TIME_LIMIT = 60  # seconds of real time for the browser to answer
END_WAIT = 5  # seconds each for a process to end after TERM, and after KILL

PAGE = """<!doctype html>
<meta charset="utf-8">
<title>Kestrune hand-over</title>
<pre id="out">not run</pre>
<script>
const files = FILES;
const results = {};
function show() {
  document.getElementById("out").textContent = JSON.stringify(results);
}
for (const file of files) {
  const audio = document.createElement("audio");
  const result = {events: [], duration: null, error: null};
  results[file] = result;
  audio.preload = "auto";
  for (const name of ["loadedmetadata", "canplay", "playing"]) {
    audio.addEventListener(name, () => {
      result.events.push(name);
      result.duration = audio.duration;
      if (name === "canplay") {
        audio.play().catch(e => { result.events.push("play refused: " + e.name); show(); });
      }
      show();
    });
  }
  audio.addEventListener("error", () => {
    result.events.push("error");
    result.error = audio.error ? audio.error.code : 0;
    show();
  });
  audio.src = file;
  document.body.appendChild(audio);
}
show();
</script>
"""


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def serve(folder):
    """A loopback HTTP server for the folder on a free port, answering from a thread."""
    handler = lambda *a, **kw: Quiet(*a, directory=folder, **kw)  # noqa: E731
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    return server, thread


def end_group(group):
    """Ends every process of the browser's session: TERM, then KILL, each wait bounded."""
    for sig in (signal.SIGTERM, signal.SIGKILL):
        if not _group_alive(group):
            return
        try:
            os.killpg(group, sig)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + END_WAIT
        while _group_alive(group) and time.monotonic() < deadline:
            time.sleep(0.05)


def ask_browser(url, work):
    """The page as Chromium left it, once its scripts ran; raises RuntimeError when the
    browser gave no page in time."""
    command = [BROWSER, "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic",
               "--no-first-run", "--disable-background-networking", "--disable-component-update",
               "--disable-sync", "--mute-audio", "--autoplay-policy=no-user-gesture-required",
               "--user-data-dir=" + os.path.join(work, "profile"),
               f"--virtual-time-budget={BUDGET_MS}", "--dump-dom", url]
    with open(os.path.join(work, "browser.log"), "wb") as log:
        browser = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=log,
                                   stdin=subprocess.DEVNULL, start_new_session=True)
        try:
            page, _ = browser.communicate(timeout=TIME_LIMIT)
        except subprocess.TimeoutExpired:
            page = None
        finally:
            # Its helpers (zygote, renderer) are in its session: none outlives the run.
            end_group(browser.pid)
            try:
                browser.wait(END_WAIT)
            except subprocess.TimeoutExpired:
                pass
    if page is None:
        raise RuntimeError(f"{BROWSER} gave no page within {TIME_LIMIT} s "
                           f"(its log: {os.path.join(work, 'browser.log')})")
    return page.decode(errors="replace")


def load(files, work):
    """Loads each file into an <audio> element; a dictionary of the results by the path given:
    {"plays": bool, "duration": seconds or None, "error": code or None, "events": [...]}."""
    work = os.path.abspath(work)
    site = os.path.join(work, "site")
    os.makedirs(site, exist_ok=True)
    names = {}
    for index, path in enumerate(files):
        name = f"{index}-{os.path.basename(path)}"
        shutil.copyfile(path, os.path.join(site, name))
        names[name] = path
    with open(os.path.join(site, "index.html"), "w", encoding="utf-8") as f:
        f.write(PAGE.replace("FILES", json.dumps(list(names))))
    server, thread = serve(site)
    try:
        page = ask_browser(f"http://127.0.0.1:{server.server_address[1]}/index.html", work)
    finally:
        server.shutdown()
        server.server_close()
        thread.join(END_WAIT)
    found = re.search(r'<pre id="out">(.*?)</pre>', page, re.S)
    if not found or not found.group(1).startswith("{"):
        raise RuntimeError(f"the page did not run its script: {page[:300]!r}")
    answers = json.loads(html.unescape(found.group(1)))
    results = {}
    for name, path in names.items():
        answer = answers.get(name, {"events": [], "duration": None, "error": None})
        events = answer["events"]
        results[path] = {
            "plays": "loadedmetadata" in events and "canplay" in events and "error" not in events,
            "duration": answer["duration"], "error": answer["error"], "events": events}
    return results


def describe(result):
    if result["plays"]:
        return (f"plays, {result['duration']:.3f} s ({', '.join(result['events'])})")
    if result["error"] is not None:
        return f"fails, media error {result['error']}"
    return f"no answer ({', '.join(result['events']) or 'no events'})"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--work", required=True, help="folder for the profile and the copies")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    if not shutil.which(BROWSER):
        print(f"no {BROWSER} (scripts/install-deps.sh installs it)")
        return 2
    try:
        results = load(args.files, args.work)
    except RuntimeError as e:
        print(e)
        return 2
    for path, result in results.items():
        print(f"{path}: {describe(result)}")
    return 0 if all(r["plays"] for r in results.values()) else 1


if __name__ == "__main__":
    sys.exit(main())
