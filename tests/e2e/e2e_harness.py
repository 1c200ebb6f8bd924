"""What the end-to-end tests share: the Wine prefix, the loopback download
server, the driver that acts on windows, and the program under test.

Everything here is bounded in time and ends what it started by its id: the
server and the driver by their Unix pids, the program and the fake clients by
their Windows pids through the driver.
"""
import json
import os
import re
import selectors
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(os.path.dirname(HERE))


def setting(name, default=None):
    value = os.environ.get(name, default)
    if value is None:
        raise unittest.SkipTest(f"{name} is not set; run these tests through ctest")
    return value


PORT = int(os.environ.get("TARNKIT_E2E_PORT", "18765"))
PHONE = os.environ.get("TARNKIT_E2E_PHONE", "02-2700-1234")
GSN_PROXY = os.environ.get("TARNKIT_E2E_GSN_PROXY", "gsn-proxy.e2e.test")
RUSTDESK_HOST = os.environ.get("TARNKIT_E2E_RUSTDESK", "rd.e2e.test")
WEB_HOST = f"127.0.0.1:{PORT}"

MAIN_TITLE = "遠端維修"
REMINDER_TITLE = "小森遠端協助"
BOX_TITLE = "tarn-kit"
SHORT_REMINDER = "請 (聯絡小森) 告知您的 ID"
ANYDESK_REMINDER = f"請 (聯絡小森 {PHONE}) 告知您的 ID"
IDOK, IDCANCEL, IDYES, IDNO = 1, 2, 6, 7

# The user's AppData for the program: a blank, an ampersand and Chinese
# letters, which the clean and delete commands must survive inside quotes.
APPDATA_WIN = "C:\\e2e\\使用者 資料 & 設定"

# The work folders that start-up makes.
WORK_FOLDERS = ("c:\\temp", "c:\\temp\\AnyDesk", "c:\\temp\\RustDesk", "c:\\temp\\Aweray", "c:\\temp\\AeroAdmin")

# The file names the download server serves the fake client under.
CLIENT_NAMES = ("AnyDesk.exe", "Aweray.exe", "RustDesk.exe", "AeroAdmin.exe")


DESKTOP = "1280x1024"


def main():
    """Runs the calling test module, under a virtual X server of fixed size
    when there is no display."""
    if not os.environ.get("DISPLAY"):
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", f"-screen 0 {DESKTOP}x24",
                               sys.executable] + sys.argv)
    unittest.main(module="__main__")


def wine_env():
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix()
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    env["WINEDEBUG"] = "-all"
    return env


_prefix = None


def prefix():
    """The prefix from TARNKIT_WINEPREFIX, made from the template when absent."""
    global _prefix
    if _prefix is None:
        path = os.environ.get("TARNKIT_WINEPREFIX") or os.path.join(SOURCE, "build", "e2e-wineprefix")
        if not os.path.isfile(os.path.join(path, "system.reg")):
            scripts = os.environ.get("TARNKIT_E2E_SCRIPTS", os.path.join(SOURCE, "scripts"))
            subprocess.run([os.path.join(scripts, "wine-prefix.sh"), path], check=True, timeout=180)
        _prefix = path
    return _prefix


def unix_path(win_path):
    """The Unix path of a C: path in the prefix, matched without regard to
    letter case as Windows does; missing parts keep the given spelling."""
    assert win_path[:3].lower() == "c:\\", win_path
    current = os.path.join(prefix(), "drive_c")
    for part in [p for p in win_path[3:].split("\\") if p]:
        match = None
        if os.path.isdir(current):
            for entry in os.listdir(current):
                if entry.lower() == part.lower():
                    match = entry
                    break
        current = os.path.join(current, match or part)
    return current


def remove(win_path):
    path = unix_path(win_path)
    if os.path.isdir(path) and not os.path.islink(path):
        shutil.rmtree(path)
    elif os.path.lexists(path):
        os.remove(path)


def write_file(win_path, data):
    path = unix_path(win_path)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def read_file(win_path):
    with open(unix_path(win_path), "rb") as f:
        return f.read()


def exists(win_path):
    return os.path.exists(unix_path(win_path))


def wait_until(predicate, timeout, interval=0.1):
    """Polls predicate until it returns something true or timeout seconds
    pass; returns the last value."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def unrunnable_program():
    """Well-formed PE32 headers, whole by their own account, so a download
    passes every program-file check with or without a length; but with no
    section alignment no Windows, and no Wine, can map it. (A bare "MZ"
    followed by junk is not enough under Wine, which hands such a file to its
    DOS loader and so starts it.)"""
    coff = struct.pack("<HHIIIHH", 0x14C, 0, 0, 0, 0, 0xE0, 0x0102)
    optional = bytearray(0xE0)
    struct.pack_into("<H", optional, 0, 0x10B)  # PE32, every alignment and size left 0
    struct.pack_into("<I", optional, 60, 0x200)  # SizeOfHeaders: the whole file
    struct.pack_into("<I", optional, 92, 16)  # NumberOfRvaAndSizes
    head = b"MZ" + b"\0" * 58 + struct.pack("<I", 64) + b"PE\0\0" + coff + bytes(optional)
    return head + b"\0" * (0x200 - len(head))


class Server:
    """tests/support/http_server.py on 127.0.0.1 at the fixed port, serving the
    fake client under the clients' names from a folder of its own, or, given
    files, that folder as it is."""

    def __init__(self, client_exe, lifetime=480, server_args=(), files=None):
        self.root = tempfile.mkdtemp(prefix="tarn-e2e-root-")
        self.log = os.path.join(self.root, "requests.log")
        self.files = files or os.path.join(self.root, "files")
        with open(client_exe, "rb") as f:
            self.client = f.read()
        if not files:
            os.makedirs(self.files)
            for name in CLIENT_NAMES:
                self.serve(name, self.client)
            self.serve("tarn-ie11.exe", unrunnable_program())
        script = setting("TARNKIT_E2E_SERVER", os.path.join(SOURCE, "tests", "support", "http_server.py"))
        self.proc = subprocess.Popen(
            [sys.executable, script, "--root", self.files, "--port", str(PORT),
             "--lifetime", str(lifetime), "--log", self.log, *server_args],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        sel = selectors.DefaultSelector()
        sel.register(self.proc.stdout, selectors.EVENT_READ)
        line = self.proc.stdout.readline() if sel.select(10) else b""
        sel.close()
        if not line.startswith(b"PORT"):
            self.stop()
            raise RuntimeError(f"download server did not start on port {PORT}: "
                               f"{self.proc.stderr.read().decode(errors='replace')}")

    def serve(self, name, data):
        with open(os.path.join(self.files, name), "wb") as f:
            f.write(data)

    def withdraw(self, name):
        path = os.path.join(self.files, name)
        if os.path.exists(path):
            os.remove(path)

    def requests(self):
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="utf-8") as f:
            return [line.rstrip("\n") for line in f]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)
        self.proc.stdout.close()
        self.proc.stderr.close()
        shutil.rmtree(self.root, ignore_errors=True)


_TRACE = re.compile(r'^([0-9a-f]+):[0-9a-f]+:trace:process:CreateProcessInternalW app .*? cmdline L"(.*)"$')
_ESCAPE = re.compile(r'\\(\\|"|n|r|t|[0-9a-fA-F]{4})')


def _unescape(text):
    simple = {"\\": "\\", '"': '"', "n": "\n", "r": "\r", "t": "\t"}
    return _ESCAPE.sub(lambda m: simple.get(m.group(1)) or chr(int(m.group(1), 16)), text)


class Driver:
    """tests/e2e/driver.cpp under Wine: one command line in, one JSON line out.
    Its Unix stderr receives the Wine debug output of every program it starts
    (their traces of the processes they start)."""

    _desktops = 0

    def __init__(self, driver_exe):
        fd, self.trace_path = tempfile.mkstemp(prefix="tarn-e2e-trace-", suffix=".log")
        self._trace = os.fdopen(fd, "wb")
        # Inside a Wine virtual desktop of the X screen's size, Wine draws
        # every window frame itself (there is no window manager on the
        # virtual X server) and the geometry does not depend on the host.
        # It is this process's desktop only; the prefix is left as it is.
        # A desktop of its own name: one left by the previous session, still
        # closing on a loaded machine, would take this driver down with it.
        Driver._desktops += 1
        desktop = f"tarn-e2e-{os.getpid()}-{Driver._desktops}"
        self.proc = subprocess.Popen(["wine", "explorer", f"/desktop={desktop},{DESKTOP}", driver_exe],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=self._trace, env=wine_env())
        self._sel = selectors.DefaultSelector()
        self._sel.register(self.proc.stdout, selectors.EVENT_READ)
        self._buffer = b""

    def call(self, *fields, timeout=30):
        line = "\t".join(str(f) for f in fields) + "\n"
        self.proc.stdin.write(line.encode("utf-8"))
        self.proc.stdin.flush()
        deadline = time.monotonic() + timeout
        while b"\n" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not self._sel.select(left):
                raise TimeoutError(f"driver did not answer {fields[0]} within {timeout} s")
            chunk = os.read(self.proc.stdout.fileno(), 65536)
            if not chunk:
                raise RuntimeError(f"driver ended while answering {fields[0]}")
            self._buffer += chunk
        reply, self._buffer = self._buffer.split(b"\n", 1)
        return json.loads(reply.decode("utf-8"))

    def must(self, *fields, timeout=30):
        reply = self.call(*fields, timeout=timeout)
        if not reply.get("ok"):
            raise AssertionError(f"{fields[0]}: {reply.get('error')}")
        return reply

    def processes_started(self, by_pid):
        """Command lines of the processes that Windows process by_pid started,
        in order, read from its +process trace."""
        self._trace.flush()
        wanted = f"{by_pid:04x}"
        found = []
        with open(self.trace_path, "rb") as f:
            for raw in f:
                m = _TRACE.match(raw.decode("utf-8", errors="replace").rstrip("\r\n"))
                if m and m.group(1) == wanted:
                    found.append(_unescape(m.group(2)))
        return found

    def stop(self):
        try:
            if self.proc.poll() is None:
                self.call("quit", timeout=10)
                self.proc.wait(10)
        except Exception:
            pass
        # A closed stdin ends the driver too, should the desktop process
        # below have to be ended by its pid.
        self.proc.stdin.close()
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait(10)
        self.proc.stdout.close()
        self._sel.close()
        self._trace.close()
        os.remove(self.trace_path)


def marks():
    """The fake clients that have run: pid -> (path, command line)."""
    folder = unix_path("C:\\e2e-marks")
    found = {}
    if os.path.isdir(folder):
        for name in os.listdir(folder):
            if name.endswith(".mark"):
                with open(os.path.join(folder, name), encoding="utf-8", newline="") as f:
                    lines = f.read().split("\r\n")
                if len(lines) >= 3:
                    found[int(lines[1])] = (lines[0], lines[2])
    return found


class Program:
    """One run of the loopback tarn-kit.exe, started by the driver with its
    own AppData and with Wine's process trace on its stderr."""

    def __init__(self, driver, exe, appdata=APPDATA_WIN):
        self.driver = driver
        exe_win = "Z:" + exe.replace("/", "\\")
        self.pid = driver.must("start", exe_win, "-", f"APPDATA={appdata}", "WINEDEBUG=+pid,+process")["pid"]
        self.main = driver.must("wait", self.pid, MAIN_TITLE, 30000, timeout=40)["window"]["hwnd"]

    # Windows

    def info(self, hwnd):
        return self.driver.must("info", hwnd)

    def controls(self, hwnd=None):
        return self.driver.must("children", hwnd or self.main)["windows"]

    def control(self, text, hwnd=None):
        for c in self.controls(hwnd):
            if c["text"] == text:
                return c
        raise AssertionError(f"no control with the text {text!r}")

    def click(self, text):
        return self.driver.must("click", self.main, text)["control"]

    def top_windows(self, title=None):
        windows = self.driver.must("windows", self.pid)["windows"]
        return [w for w in windows if w["visible"] and (title is None or w["text"] == title)]

    def reminder(self):
        found = self.top_windows(REMINDER_TITLE)
        return found[0] if len(found) == 1 else None

    def reminder_texts(self, hwnd):
        return [c["text"] for c in self.controls(hwnd)]

    def wait_reminder(self, text, timeout=30):
        """The reminder window once its message reads text and it is topmost;
        None when that does not happen in time."""
        def ready():
            w = self.reminder()
            if w and text in self.reminder_texts(w["hwnd"]) and self.info(w["hwnd"])["topmost"]:
                return w
            return None
        return wait_until(ready, timeout, 0.2)

    def message_box(self, timeout=30):
        """The "tarn-kit" message box: its window, its text and the ids of its buttons."""
        def find():
            boxes = self.top_windows(BOX_TITLE)
            return boxes[0] if boxes else None
        box = wait_until(find, timeout, 0.2)
        if not box:
            return None
        children = self.controls(box["hwnd"])
        buttons = sorted(c["id"] for c in children if c["class"].lower() == "button")
        texts = [c["text"] for c in children if c["class"].lower() == "static" and c["text"]]
        return {"hwnd": box["hwnd"], "text": "\n".join(texts), "buttons": buttons}

    def answer(self, box, button_id):
        self.driver.must("clickid", box["hwnd"], button_id)
        def closed():
            info = self.info(box["hwnd"])
            return not info["exists"] or not info["window"]["visible"]
        gone = wait_until(closed, 10)
        if not gone:
            raise AssertionError("the message box stayed after the answer")

    def idle(self, timeout=60):
        """Waits until the main window answers a message again."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.driver.must("idle", self.main, 1000, timeout=10)["answered"]:
                return True
            if self.exited(0):
                return False
        return False

    def exited(self, timeout):
        return self.driver.must("exited", self.pid, int(timeout * 1000), timeout=timeout + 10)["exited"]

    def started(self):
        return self.driver.processes_started(self.pid)

    def alive(self, pid):
        return not self.driver.must("exited", pid, 0)["exited"]

    def kill(self, pid):
        self.driver.call("kill", pid, timeout=15)

    def stop(self):
        """Ends the program and every fake client, by pid."""
        try:
            self.kill(self.pid)
            for pid in marks():
                self.kill(pid)
        except Exception:
            pass


class Session:
    """Server, driver and marks for one test class."""

    @classmethod
    def open(cls, server_args=(), exe=None, files=None):
        """server_args go to the download server (its pacing options); exe
        and files, when given, are the program and the served folder in place
        of the loopback build and the fake client."""
        session = cls()
        session.exe = exe or setting("TARNKIT_E2E_EXE")
        session.driver_exe = setting("TARNKIT_E2E_DRIVER")
        session.client_exe = setting("TARNKIT_E2E_CLIENT")
        remove("C:\\e2e-marks")
        remove("C:\\windows\\temp\\opened-url.txt")
        session.server = Server(session.client_exe, server_args=server_args, files=files)
        try:
            session.driver = Driver(session.driver_exe)
            session.driver.must("windows", 0, timeout=120)  # Wine is up
        except Exception:
            session.server.stop()
            raise
        return session

    def start_program_on_fresh_machine(self):
        """The program started where it has never run: no work folder and an
        empty AppData. The session is closed when the start fails.

        Start-up makes the work folders by commands it does not wait for;
        this returns once they are there, so that no case, whichever runs
        first, sees them appear while it compares the work folder before and
        after a launch. Folders that never come are left to the case that
        checks them to report."""
        remove("c:\\temp")
        remove("C:\\e2e")
        os.makedirs(unix_path(APPDATA_WIN))
        try:
            program = Program(self.driver, self.exe)
        except Exception:
            self.close()
            raise
        wait_until(lambda: all(os.path.isdir(unix_path(f)) for f in WORK_FOLDERS), 15)
        return program

    def close(self):
        try:
            for pid in marks():
                self.driver.call("kill", pid, timeout=15)
        except Exception:
            pass
        self.driver.stop()
        self.server.stop()
