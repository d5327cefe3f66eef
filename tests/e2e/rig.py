"""Kestrune under Wine with real sound: the set-up that the end-to-end suite, the benchmarks
and the soak script share.

A private PulseAudio offers a "microphone" (a null sink whose monitor is the default source)
and a "speaker" (the default sink), each kept clocked by a silence feeder. An Xvfb display, a
Wine prefix of the rig's own, Kestrune.exe with the Wine-side winmm.dll and mapi32.dll beside
it, and kestrune_probe.exe, which reads the window's state from outside.

Everything the rig starts ends with it, also when the program using it is killed: the
children die with it (parent-death signal) and a watchdog in a session of its own ends the
rest (the rig's process group and every process of the prefix) once the rig's end of a pipe
closes. Every call to another program has a time limit.
"""

import ctypes
import glob
import os
import select
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
CALL_LIMIT = 120  # seconds; any single call to another program (wineboot is the slowest)
PROBE_LIMIT = 10  # one answer of the probe (each of its reads gives up after 2 s)
STEADY_LIMIT = 3  # the probe found no two equal reads in a row: ask again for this long
PR_SET_PDEATHSIG = 1
SKIP = 77  # CTest's skip status for the end-to-end tests


class Failure(Exception):
    pass


def run(cmd, timeout=CALL_LIMIT, **kw):
    """Runs a program to its end; fails when it fails or takes longer than timeout."""
    try:
        return subprocess.run(cmd, check=True, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=timeout, **kw)
    except subprocess.TimeoutExpired:
        raise Failure(f"{' '.join(cmd)}: no end within {timeout:g} s") from None


def quiet(cmd, timeout=CALL_LIMIT, **kw):
    """Runs a program whose failure is only a fact: its exit status, or None if it hung."""
    try:
        return subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout, **kw).returncode
    except subprocess.TimeoutExpired:
        return None


def wait_until(what, predicate, timeout, interval=0.02):
    """Polls predicate() until it returns something true; fails after timeout seconds."""
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result:
            return result
        if time.monotonic() > deadline:
            raise Failure(f"{what}: not within {timeout:g} s")
        time.sleep(interval)


def wine64():
    """Wine's 64-bit loader, from the one place that names it."""
    out = run(["bash", "-c", f"source '{ROOT}/scripts/wine-env.sh' && printf %s \"$WINE64\""],
              timeout=10).stdout.decode()
    if not out:
        raise Failure("scripts/wine-env.sh names no WINE64")
    return out


def ours(function, path, *within):
    """Runs a function of scripts/ours.sh, the one place that tells whether a folder is ours
    (our marker in it, or inside a Kestrune build folder or one of within): kestrune_new_folder
    makes and marks a folder, kestrune_remove_ours deletes one only when it is ours."""
    result = subprocess.run(["bash", "-c", f"source '{ROOT}/scripts/ours.sh' && {function} \"$@\"",
                             function, path, *within], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, timeout=60)
    if result.returncode != 0:
        raise Failure(result.stderr.decode().strip() or f"{function} {path} failed")


def _die_with_parent():
    # Runs in the child between fork and exec: SIGKILL once the rig's process is gone.
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def ticks_of(pid):
    """utime + stime of a process in clock ticks (10 ms), from /proc; None when it is gone."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
    except OSError:
        return None
    return int(fields[11]) + int(fields[12])


def prefix_processes(prefix):
    """Ids of the processes running in this Wine prefix: its wineserver and every Wine process,
    also those Wine starts in sessions of their own (services.exe, explorer.exe ...)."""
    mark = ("WINEPREFIX=" + prefix).encode()
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit() and int(entry) != os.getpid():
            try:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if mark in f.read().split(b"\0"):
                        found.append(int(entry))
            except OSError:
                pass
    return found


def end_prefix(prefix):
    """Stops the prefix's wineserver with its clients, then kills any Wine process of the prefix
    that outlived it (a client whose server died can wait for it for good)."""
    if prefix_processes(prefix):
        quiet(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=prefix), timeout=15)
    deadline = time.monotonic() + 3
    while prefix_processes(prefix) and time.monotonic() < deadline:
        time.sleep(0.05)
    for pid in prefix_processes(prefix):
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


class Rig:
    """Everything started for one run, torn down in reverse order by close()."""

    def __init__(self, work, exe=None, probe=None):
        self.work = os.path.abspath(work)
        os.makedirs(self.work, exist_ok=True)
        self.exe = os.path.abspath(exe) if exe else None
        self.probe_exe = os.path.abspath(probe) if probe else None
        self.wine = wine64()
        self.processes = []
        self.group = 0  # the process group of everything spawned, once there is one
        # English in the C locale's UTF-8 charset, whatever the caller's: the texts and the
        # dates the tests expect are Kestrune's English ones (M/D/YYYY), and names in other
        # scripts need a UTF-8 charset on the Linux side.
        self.env = dict(os.environ, WINELOADER=self.wine, LC_ALL="C.UTF-8")
        self.env.pop("LANGUAGE", None)
        self.app = self.probe = self.window = None
        self.mounts = []
        self._probe_buffer = b""
        self._watchdog = subprocess.Popen(
            [sys.executable, os.path.abspath(__file__), "--watchdog"], stdin=subprocess.PIPE,
            stdout=subprocess.DEVNULL, start_new_session=True)

    def _tell_watchdog(self, line):
        try:
            self._watchdog.stdin.write((line + "\n").encode())
            self._watchdog.stdin.flush()
        except OSError:
            raise Failure("the rig's watchdog ended") from None

    def spawn(self, cmd, **kw):
        """Starts a program in the rig's process group; it dies with this process."""
        kw.setdefault("stdout", subprocess.DEVNULL)
        kw.setdefault("stderr", subprocess.DEVNULL)
        p = subprocess.Popen(cmd, env=kw.pop("env", self.env), process_group=self.group,
                             preexec_fn=_die_with_parent, **kw)
        if not self.group:
            self.group = p.pid
            self._tell_watchdog(f"group {p.pid}")
        self.processes.append(p)
        return p

    def end_probe(self):
        """Asks the probe to quit; the rig's close ends it should it not."""
        if self.probe and self.probe.poll() is None:
            try:
                self.probe.stdin.write(b"quit\n")
                self.probe.stdin.flush()
                self.probe.wait(5)
            except (OSError, subprocess.TimeoutExpired):
                pass

    def close(self):
        """Ends everything: the probe, Kestrune, Wine, the feeders, PulseAudio, Xvfb; then
        unmounts what the rig mounted."""
        self.end_probe()
        for p in reversed(self.processes):
            if p.poll() is None:
                p.terminate()
                try:
                    p.wait(5)
                except subprocess.TimeoutExpired:
                    p.kill()
                    p.wait(5)
            if p.stdin:
                p.stdin.close()
            if p.stdout:
                p.stdout.close()
        if "WINEPREFIX" in self.env:
            end_prefix(self.env["WINEPREFIX"])
        for path in list(self.mounts):
            self.unmount(path)
        # The watchdog checks that the group is empty and ends.
        try:
            self._watchdog.stdin.close()
            self._watchdog.wait(15)
        except (OSError, subprocess.TimeoutExpired):
            self._watchdog.kill()
            self._watchdog.wait(5)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # --- PulseAudio with a microphone and a speaker
    def start_pulse(self):
        pulse = os.path.join(self.work, "pulse")
        ours("kestrune_remove_ours", pulse)
        ours("kestrune_new_folder", pulse)
        os.makedirs(os.path.join(pulse, "run"))
        os.makedirs(os.path.join(pulse, "state"))
        socket = os.path.join(pulse, "native")
        config = os.path.join(pulse, "default.pa")
        with open(config, "w") as f:
            f.write(f"load-module module-native-protocol-unix auth-anonymous=1 socket={socket}\n"
                    "load-module module-null-sink sink_name=microphone rate=8000 channels=1 "
                    "format=s16le\n"
                    "load-module module-null-sink sink_name=speaker rate=8000 channels=1 "
                    "format=s16le\n"
                    "set-default-source microphone.monitor\n"
                    "set-default-sink speaker\n")
        self.env.update(PULSE_RUNTIME_PATH=os.path.join(pulse, "run"),
                        PULSE_STATE_PATH=os.path.join(pulse, "state"),
                        PULSE_SERVER=f"unix:{socket}")
        self.env.pop("PULSE_COOKIE", None)
        self.spawn(["pulseaudio", "-n", "-F", config, "--daemonize=no", "--exit-idle-time=-1",
                    "--log-target=file:" + os.path.join(pulse, "log")])
        wait_until("PulseAudio answering", lambda: quiet(["pactl", "info"], env=self.env,
                                                         timeout=5) == 0, 10, 0.05)
        # Idle null-sink monitors deliver late; silence keeps both clocked.
        for sink in ("microphone", "speaker"):
            self.spawn(["pacat", "--playback", "-d", sink, "--latency-msec=20", "--rate=8000",
                        "--channels=1", "--format=s16le", "/dev/zero"])

    # --- X server
    def start_x(self):
        read_end, write_end = os.pipe()
        with open(os.path.join(self.work, "xvfb.log"), "wb") as log:
            self.spawn(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "800x600x24",
                        "-nolisten", "tcp"], pass_fds=(write_end,), stderr=log)
        os.close(write_end)
        # The number may come in pieces: read up to its newline, or Xvfb fails writing the rest.
        answer = b""
        deadline = time.monotonic() + 15
        while not answer.endswith(b"\n") and time.monotonic() < deadline:
            if not select.select([read_end], [], [], max(0, deadline - time.monotonic()))[0]:
                break
            chunk = os.read(read_end, 64)
            if not chunk:
                break
            answer += chunk
        os.close(read_end)
        display = answer.decode().strip() if answer.endswith(b"\n") else ""
        if not display:
            raise Failure("Xvfb did not start within 15 s")
        self.env["DISPLAY"] = ":" + display
        # Without a display that answers, Wine's first window fails with no word of why.
        wait_until("X display answering", lambda: quiet(["xdotool", "getdisplaygeometry"],
                                                        env=self.env, timeout=5) == 0, 15, 0.05)

    # --- Wine prefix of the rig's own, sound through PulseAudio
    def prepare_prefix(self):
        """Creates the prefix the first time; returns the seconds that took (0 when reused)."""
        prefix = os.path.join(self.work, "prefix")
        self.env.update(WINEPREFIX=prefix, WINEDEBUG=os.environ.get("KESTRUNE_WINEDEBUG", "-all"), WINEDLLOVERRIDES="mscoree,mshtml=")
        self._tell_watchdog(f"prefix {prefix}")
        end_prefix(prefix)  # what a killed earlier run may have left
        stamp = os.path.join(prefix, ".kestrune-e2e")
        took = 0
        if not os.path.exists(stamp):
            ours("kestrune_remove_ours", prefix)
            ours("kestrune_new_folder", prefix)
            started = time.monotonic()
            run([self.wine, "wineboot.exe", "-i"], env=self.env)
            run([self.wine, "reg.exe", "add", r"HKCU\Software\Wine\Drivers", "/v", "Audio", "/d",
                 "pulse", "/f"], env=self.env)
            run(["wineserver", "-w"], env=self.env)
            open(stamp, "w").close()
            took = time.monotonic() - started
        for temp in self.temp_dirs():
            for old in glob.glob(os.path.join(temp, "*")):
                if os.path.isdir(old) and not os.path.islink(old):
                    ours("kestrune_remove_ours", old, prefix)
                else:
                    os.remove(old)
        # The fixes beside the exe, picked for this program only.
        self.env["WINEDLLOVERRIDES"] = "winmm,mapi32=n,b;mscoree,mshtml="
        # One server for the whole run, so that every start finds it running. It returns once
        # the server answers (a Wine program started earlier would start a second one); the
        # watchdog ends it with the prefix.
        if quiet(["wineserver", "-p"], env=self.env, timeout=30) != 0:
            raise Failure("wineserver -p failed or took more than 30 s")
        return took

    def temp_dirs(self):
        prefix = self.env["WINEPREFIX"]
        return [d for d in glob.glob(os.path.join(prefix, "drive_c", "users", "*", "Temp"))
                + glob.glob(os.path.join(prefix, "drive_c", "users", "*", "AppData", "Local",
                                         "Temp")) if os.path.isdir(d)]

    def user_temp(self):
        """The prefix user's own temporary folder: (Linux path, Windows path)."""
        users = os.path.join(self.env["WINEPREFIX"], "drive_c", "users")
        names = [n for n in os.listdir(users) if n != "Public" and
                 os.path.isdir(os.path.join(users, n, "Temp"))]
        if len(names) != 1:
            raise Failure(f"expected one user with a Temp folder in {users}, found {names}")
        return os.path.join(users, names[0], "Temp"), f"C:\\users\\{names[0]}\\Temp"

    def set_temp(self, windows_path):
        """TEMP and TMP of the prefix's user (HKCU\\Environment), which every Wine program
        started afterwards takes."""
        for name in ("TEMP", "TMP"):
            # Not run(): the first Wine program of a server starts its services, which keep
            # any pipe they inherit open for good.
            status = quiet([self.wine, "reg.exe", "add", r"HKCU\Environment", "/v", name, "/d",
                            windows_path, "/f"], env=self.env, timeout=30)
            if status != 0:
                raise Failure(f"reg add {name}={windows_path} ended with {status}")

    def mount_tmpfs(self, path, size):
        """Mounts a tmpfs of size bytes on the folder path (made here); the watchdog unmounts
        it should this process die. Returns None, or why it could not be mounted."""
        if os.path.ismount(path):
            self.unmount(path)  # left by a run that was killed before its watchdog ran
        os.makedirs(path, exist_ok=True)
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size}", "tmpfs", path],
                                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=30)
        if result.returncode != 0:
            return result.stdout.decode(errors="replace").strip() or f"status {result.returncode}"
        self.mounts.append(path)
        self._tell_watchdog(f"mount {path}")
        return None

    def unmount(self, path):
        """Unmounts a tmpfs mount_tmpfs made once nothing holds a file on it any more."""
        unmount(path)
        if path in self.mounts:
            self.mounts.remove(path)

    def voice_files(self):
        return sorted(f for d in self.temp_dirs() for f in glob.glob(os.path.join(d, "kes*.tmp")))

    def set_up(self):
        """PulseAudio, Xvfb and the prefix; returns the seconds the prefix took to create."""
        self.start_pulse()
        self.start_x()
        return self.prepare_prefix()

    # --- Wine programs
    def start_wine(self, exe, args=(), **kw):
        """Starts an x64 Windows program, from its own folder when given a Linux path."""
        return self.spawn([self.wine, exe, *args], cwd=os.path.dirname(exe) or None, **kw)

    def wineserver(self):
        """The id of the prefix's wineserver, or None."""
        for pid in prefix_processes(self.env["WINEPREFIX"]):
            try:
                with open(f"/proc/{pid}/comm") as f:
                    if f.read().startswith("wineserver"):
                        return pid
            except OSError:
                pass
        return None

    def visible_windows(self, title):
        """X ids of the visible windows whose name matches the regular expression title."""
        try:
            out = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", title],
                                 env=self.env, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                 text=True, timeout=10).stdout
        except subprocess.TimeoutExpired:
            raise Failure("xdotool search: no answer within 10 s") from None
        return out.split()

    def launch_time(self, exe, title, timeout=30):
        """Seconds from starting a program to its window being visible on the display; the
        program keeps running."""
        started = time.monotonic()
        p = self.start_wine(exe)
        wait_until(f"window {title!r} visible", lambda: self.visible_windows(title), timeout,
                   0.01)
        return time.monotonic() - started, p

    def start_probe(self):
        if not self.probe or self.probe.poll() is not None:
            self.probe = self.start_wine(self.probe_exe, stdin=subprocess.PIPE,
                                         stdout=subprocess.PIPE)
            self._probe_buffer = b""

    def start_app(self, answer=None):
        """Starts Kestrune and the probe; waits until its window is on the display. With an
        answer (IDYES, IDNO, IDCANCEL), it must first offer a recording left behind: the
        button is clicked and the offer's text returned."""
        for dll in ("winmm.dll", "mapi32.dll"):
            if not os.path.exists(os.path.join(os.path.dirname(self.exe), dll)):
                raise Failure(f"{dll} is missing beside {self.exe}")
        with open(os.path.join(self.work, "kestrune.log"), "wb") as log:
            self.app = self.start_wine(self.exe, stderr=log)
        self.start_probe()
        wait_until("Kestrune's window", lambda: self.read(boxes=True)["found"] == "1", 30, 0.1)
        offer = self.answer_box(answer) if answer else None
        # The box bears the window's title too: only the window is left once it is answered.
        self.window = wait_until("Kestrune's window on the X display",
                                 lambda: self.visible_windows("^Kestrune$"), 10, 0.1)[0]
        return offer

    def wait_box(self, timeout=10):
        """Waits for a message box of Kestrune's; returns its caption and text."""
        return wait_until("a message box of Kestrune's",
                          lambda: self.read(boxes=True).get("box"), timeout, 0.05)

    def answer_box(self, button, timeout=10):
        """Waits for a message box, clicks its button (IDYES 6, IDNO 7, IDCANCEL 2 ...) and
        waits until it has gone; returns the box's caption and text."""
        text = self.wait_box(timeout)
        point = self.ask(f"boxpoint {button}")
        if point.get("found") != "1":
            raise Failure(f"the box {text!r} has no button {button}")
        self.click_at(int(point["x"]), int(point["y"]))
        def answered():
            state = self.read(boxes=True)
            return state["found"] == "1" and not state.get("box")
        wait_until(f"the box {text!r} answered", answered, timeout, 0.05)
        return text

    def kill_app(self, timeout=10):
        """Ends Kestrune as a crash or End task does: TerminateProcess, from the probe."""
        line = self._probe_answer("kill")
        if "ended=1" not in line:
            raise Failure(f"TerminateProcess did not end Kestrune: {line}")
        wait_until("Kestrune's process gone", lambda: self.app.poll() is not None, timeout,
                   0.02)

    def session_message(self, request):
        """WM_QUERYENDSESSION ("query") or WM_ENDSESSION ("endsession") sent by the probe as
        Windows sends it at a log-off; returns the probe's answer as a dictionary."""
        answer = self.ask(request)
        if answer.get("found") != "1":
            raise Failure(f"the probe found no window to send {request} to: {answer}")
        return answer

    def stop_app(self, timeout=15):
        """Closes Kestrune's window as a user would and waits for the process to end."""
        self.keys("alt+F4")
        wait_until("Kestrune ending", lambda: self.app.poll() is not None, timeout, 0.05)

    # --- reading the window
    def _probe_answer(self, request):
        try:
            self.probe.stdin.write(request.encode() + b"\n")
            self.probe.stdin.flush()
        except OSError:
            raise Failure("the probe ended") from None
        deadline = time.monotonic() + PROBE_LIMIT
        fd = self.probe.stdout.fileno()
        while b"\n" not in self._probe_buffer:
            left = deadline - time.monotonic()
            ready = select.select([fd], [], [], max(0, left))[0] if left > 0 else []
            if not ready:
                raise Failure(f"the probe did not answer within {PROBE_LIMIT} s")
            chunk = os.read(fd, 4096)
            if not chunk:
                raise Failure("the probe ended")
            self._probe_buffer += chunk
        line, self._probe_buffer = self._probe_buffer.split(b"\n", 1)
        return line.decode(errors="replace").rstrip("\r")

    def ask(self, request):
        """One request to the probe; its answer's fields as a dictionary."""
        line = self._probe_answer(request)
        return dict(field.split("=", 1) for field in line.split("\t") if "=" in field)

    def read(self, boxes=False):
        """One moment of Kestrune's window: the probe reads everything until two reads in a
        row agree, so no field comes from another moment than the rest. A message box fails
        the read unless boxes is true: no box is left unanswered."""
        deadline = time.monotonic() + STEADY_LIMIT
        while True:
            if self.app and self.app.poll() is not None:
                raise Failure(f"Kestrune ended unexpectedly (status {self.app.returncode})")
            state = self.ask("read")
            if state.get("box") and not boxes:
                raise Failure(f"Kestrune shows a message: {state['box']}")
            if state.get("steady", "1") == "1":
                state.pop("steady", None)
                return state
            if time.monotonic() > deadline:
                raise Failure(f"Kestrune's window never held still for two reads: {state}")

    def button_point(self, slot):
        """Screen position of the middle of a bar button (0 Play ... 3 Record, 4 Send)."""
        answer = self.ask(f"point {slot}")
        if answer.get("found") != "1":
            raise Failure(f"the probe found no bar button {slot}")
        return int(answer["x"]), int(answer["y"])

    def process_figures(self):
        """Kestrune's memory and handles as the probe reads them (Windows' own view)."""
        return self.ask("process")

    def wait_state(self, what, predicate, timeout):
        """Waits for a state of the window that predicate accepts; returns that state."""
        seen = []  # the distinct states on the way, for the failure message

        def check():
            state = self.read()
            if not seen or seen[-1][1] != state:
                seen.append((time.monotonic(), state))
            return predicate(state)
        started = time.monotonic()
        try:
            wait_until(what, check, timeout)
        except Failure as e:
            history = "; ".join(f"+{t - started:.2f}s {st}" for t, st in seen[-6:])
            raise Failure(f"{e}; seen: {history}") from None
        return dict(seen[-1][1])

    def wait_status(self, status, timeout=10):
        return self.wait_state(f'status line "{status}"', lambda s: s["status"] == status,
                               timeout)

    # --- driving the window
    def xdotool(self, *args):
        run(["xdotool", *args], env=self.env, timeout=15)

    def keys(self, *keys):
        """Types keys into Kestrune's window: real X key events, as from a keyboard."""
        self.focus()
        self.xdotool("key", "--clearmodifiers", "--delay", "30", *keys)

    def focus(self):
        """Gives Kestrune's window the keyboard (xdotool's own --sync can wait for good)."""
        def focused():
            self.xdotool("windowfocus", self.window)
            out = run(["xdotool", "getwindowfocus"], env=self.env, timeout=15).stdout
            return out.decode().strip() == self.window
        wait_until("Kestrune's window focused", focused, 5, 0.05)

    def menu(self, mnemonic):
        """A command from the Action menu by its mnemonic."""
        self.keys("alt+a", mnemonic)

    def pointer_to(self, x, y):
        """Moves the pointer to a point of the screen."""
        # Not --sync: it waits for good when the pointer is there already.
        self.xdotool("mousemove", str(x), str(y))

    def click_at(self, x, y):
        """Clicks there and leaves the pointer resting on the spot, as a person's hand does."""
        self.pointer_to(x, y)
        self.xdotool("click", "1")

    # --- sound
    def speak(self, path):
        """Plays a file into the microphone; returns the running player."""
        return self.spawn(["pacat", "--playback", "-d", "microphone", "--latency-msec=20",
                           "--file-format=wav", path])

    def capture_speaker(self, path):
        out = open(path, "wb")
        p = self.spawn(["parec", "-d", "speaker.monitor", "--latency-msec=20", "--rate=8000",
                        "--channels=1", "--format=s16le", "--raw"], stdout=out)
        out.close()
        wait_until("speaker capture running", lambda: os.path.getsize(path) > 0, 5)
        return p

    def end(self, p, timeout=5):
        """Ends one process the rig started."""
        if p.poll() is None:
            p.terminate()
            try:
                p.wait(timeout)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait(timeout)


def unmount(path):
    """Unmounts path, waiting up to 5 s for the last handle on it to close (a Wine process
    that just ended); detaches it lazily should one still be open then."""
    deadline = time.monotonic() + 5
    while os.path.ismount(path):
        if quiet(["umount", path], timeout=30) == 0:
            return
        if time.monotonic() > deadline:
            if quiet(["umount", "-l", path], timeout=30) != 0:
                raise Failure(f"cannot unmount {path}")
            return
        time.sleep(0.1)


def missing_tools():
    return [tool for tool in ("wineserver", "Xvfb", "xdotool", "pulseaudio", "pactl", "pacat",
                              "parec", "sox", "ffmpeg") if not shutil.which(tool)]


def wine_version():
    return run([wine64(), "--version"], timeout=30).stdout.decode().strip()


def unable_to_run(programs, tools=()):
    """Prints why an end-to-end test cannot run here and returns its exit status (1: a tool
    or a program is missing, SKIP: not the Wine 8.0 the Wine-side fixes are for); None when
    it can run."""
    missing = missing_tools() + [t for t in tools if not shutil.which(t)]
    if missing:
        print("FAIL: missing " + ", ".join(missing) + ": run scripts/install-deps.sh")
        return 1
    version = wine_version()
    if not version.startswith("wine-8.0"):
        print(f"SKIP: the Wine-side fixes are for Wine 8.0; this is {version}")
        return SKIP
    for path in programs:
        if not os.path.exists(path):
            print(f"FAIL: {path} is not built")
            return 1
    return None


# ---------------------------------------------------------------- the watchdog

def _group_alive(group):
    try:
        os.killpg(group, 0)
        return True
    except (ProcessLookupError, PermissionError):
        return False


def watchdog():
    """Waits until the rig's end of stdin closes (orderly or because the rig died), then ends
    whatever of the rig's process group and the prefix's wineserver is left, and unmounts
    what the rig mounted."""
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    signal.signal(signal.SIGHUP, signal.SIG_IGN)
    group, prefix, mounts = 0, None, []
    for line in sys.stdin:
        word, _, value = line.strip().partition(" ")
        if word == "group":
            group = int(value)
        elif word == "prefix":
            prefix = value
        elif word == "mount":
            mounts.append(value)
    if group and _group_alive(group):
        os.killpg(group, signal.SIGTERM)
        deadline = time.monotonic() + 3
        while _group_alive(group) and time.monotonic() < deadline:
            time.sleep(0.05)
        if _group_alive(group):
            os.killpg(group, signal.SIGKILL)
    if prefix:
        end_prefix(prefix)
    # Once nothing of the rig holds a file there.
    for path in mounts:
        try:
            unmount(path)
        except Failure:
            pass


if __name__ == "__main__" and sys.argv[1:] == ["--watchdog"]:
    watchdog()
