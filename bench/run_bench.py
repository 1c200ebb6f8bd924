#!/usr/bin/env python3
"""Measures tarn-kit under Wine, each figure beside its reference in the same
run, and writes the results as a Markdown table.

    run_bench.py --build DIR --prefix DIR --out FILE

DIR is a win32 build holding tarn-kit.exe and bench/{probe,empty-window,
standin}.exe; the prefix is a Wine prefix of the bench's own, which this
script runs a wineserver in and ends it at the end. Wine must have a display
(scripts/bench.sh runs this under xvfb-run). The exit code is 0 when every
figure was measured, whether or not it met its target; 1 when one could not
be measured (the table then says so).
"""
import argparse
import datetime
import hashlib
import os
import platform
import random
import re
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "tests", "support", "http_server.py")
PACED_SERVER = os.path.join(HERE, "paced_server.py")

MAIN_TITLE = "遠端維修"
EMPTY_TITLE = "empty-window"
# The hidden "cmd.exe /c mkdir" commands tarn-kit starts before its window
# shows; the third reference starts the same (windows/MainWindowLogic.h).
FOLDER_COMMANDS = 6
# DLLs that the first paint does not need, and that start-up must not pull in.
WATCHED_DLLS = {"shell32.dll", "shlwapi.dll", "shcore.dll", "mpr.dll", "ws2_32.dll"}
DOWNLOAD_SIZE = 64 * 1024 * 1024
KIB = 1024
# The line a person meets: a client of a realistic size at a few megabits a
# second, with a round trip before each answer; and where it is cut once.
PACED_SIZE = 8 * 1024 * 1024
PACED_RATE_BITS = 10_000_000
PACED_DELAY_MS = 50
CUT_SHARE = 0.5

# How each figure is judged: against its reference as a ratio, or as a
# value; "<" is "under", "<=" is "within", ">=" is "at least". An optional
# fourth field, "beyond", also holds the figure under that many ms beyond its
# reference (the launch: beyond the same process starts alone).
TARGETS = {
    "startup": ("ratio", "<=", 1.1),
    "size": ("value", "<", 256 * KIB),
    "memory": ("ratio", "<=", 1.2),
    "download": ("ratio", ">=", 0.9),
    "launch": ("ratio", "<=", 1.1, 20.0),
    # The launch that downloads its client on a slow line, against its floor
    # and, beyond its pause, against curl on the same line; and with a drop.
    "paced": ("ratio", "<=", 1.05),
    "paced_curl": ("ratio", "<=", 1.02),
    "drop": ("ratio", "<=", 1.05),
}


class MeasureError(Exception):
    """A figure that could not be measured; the message says why."""


# ---- reading the probe and the tools -------------------------------------------

def parse_fields(line):
    """The key=value pairs of one probe line. A names= field runs to the end
    of the line, so it is taken whole."""
    fields = {}
    rest = line.strip()
    if " names=" in rest or rest.startswith("names="):
        rest, _, names = rest.partition("names=")
        fields["names"] = names
    for token in rest.split():
        key, sep, value = token.partition("=")
        if sep:
            fields[key] = value
    return fields


def probe_lines(output, required):
    """The lines of output that carry every required key."""
    rows = []
    for line in output.splitlines():
        fields = parse_fields(line)
        if all(key in fields for key in required):
            rows.append(fields)
    return rows


def imported_dlls(objdump_output):
    return re.findall(r"^\s*DLL Name:\s*(\S+)\s*$", objdump_output, re.MULTILINE)


def section_sizes(objdump_output):
    """Section name to size in bytes, from objdump -h."""
    sizes = {}
    for match in re.finditer(r"^\s*\d+\s+(\S+)\s+([0-9a-fA-F]{8})\s", objdump_output, re.MULTILINE):
        sizes[match.group(1)] = int(match.group(2), 16)
    return sizes


# Input sections that hold the exe's code and data, as a GNU ld map names them.
CODE_AND_DATA = (".text", ".rdata", ".data", ".eh_frame")


def map_contributions(map_text):
    """Bytes of code and data each input file put into the exe, from a GNU ld
    map: an archive's members are counted under the archive's file name, an
    object under its own. Discarded sections are not in the exe and not
    counted."""
    text = map_text.split("\nLinker script and memory map", 1)[-1]
    sizes = {}
    pending = None
    for line in text.splitlines():
        match = re.match(r"^ (\.[^\s*]+)(?:\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+(\S.*))?$", line)
        if match and not match.group(2):
            pending = match.group(1)  # a long name: its address and size follow on the next line
            continue
        if match:
            name, size, source = match.group(1), int(match.group(3), 16), match.group(4)
        else:
            follow = re.match(r"^\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+(\S.*)$", line) if pending else None
            name, pending = pending, None
            if not follow:
                continue
            size, source = int(follow.group(2), 16), follow.group(3)
        pending = None
        if size == 0 or not name.startswith(CODE_AND_DATA):
            continue
        owner = os.path.basename(source.split("(", 1)[0].strip())
        sizes[owner] = sizes.get(owner, 0) + size
    return sizes


def is_own(input_file):
    """tarn-kit's own code: its libraries and the exe target's objects
    (CMake links them as objects.a)."""
    return input_file.startswith("libtarn_") or input_file == "objects.a"


def icon_images(ico):
    """(width, "PNG" or "DIB", bytes, PNG bytes) of each image of an .ico
    file; a width of 0 in the directory stands for 256. The last is what the
    image takes as PNG: its own size for a PNG, for a bitmap the size of what
    png_of_dib makes of it (None when it is not a 32-bit one)."""
    count = int.from_bytes(ico[4:6], "little")
    images = []
    for i in range(count):
        entry = ico[6 + 16 * i: 22 + 16 * i]
        size = int.from_bytes(entry[8:12], "little")
        offset = int.from_bytes(entry[12:16], "little")
        data = ico[offset:offset + size]
        if data[:8] == b"\x89PNG\r\n\x1a\n":
            images.append((entry[0] or 256, "PNG", size, size))
        else:
            written = png_of_dib(data)
            images.append((entry[0] or 256, "DIB", size, len(written) if written else None))
    return images


def png_of_dib(dib):
    """A 32-bit icon bitmap (BITMAPINFOHEADER, rows bottom-up, its height
    doubled for the mask) written as an 8-bit RGBA PNG with no row filter and
    zlib's best compression; None for any other bitmap. The mask is left out:
    a 32-bit image's alpha carries it."""
    header = int.from_bytes(dib[0:4], "little")
    width = int.from_bytes(dib[4:8], "little", signed=True)
    height = int.from_bytes(dib[8:12], "little", signed=True) // 2
    if header != 40 or int.from_bytes(dib[14:16], "little") != 32 or width <= 0 or height <= 0:
        return None
    pixels = dib[header:header + 4 * width * height]
    rows = []
    for y in range(height - 1, -1, -1):
        bgra = pixels[4 * width * y: 4 * width * (y + 1)]
        rgba = bytearray(bgra)
        rgba[0::4], rgba[2::4] = bgra[2::4], bgra[0::4]
        rows.append(b"\0" + bytes(rgba))

    def chunk(kind, data):
        return len(data).to_bytes(4, "big") + kind + data + zlib.crc32(kind + data).to_bytes(4, "big")

    ihdr = width.to_bytes(4, "big") + height.to_bytes(4, "big") + bytes([8, 6, 0, 0, 0])
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(b"".join(rows), 9))
            + chunk(b"IEND", b""))


def split_system_dlls(dlls, system_files):
    """(system, other): a DLL is a system DLL when the Wine prefix's system
    folder holds a file of that name (Windows names ignore letter case)."""
    present = {name.lower() for name in system_files}
    system = [d for d in dlls if d.lower() in present]
    other = [d for d in dlls if d.lower() not in present]
    return system, other


def paced_floor_ms(size, rate_bits, pause_ms, delay_ms, requests):
    """The least a launch that downloads size bytes can take on the line:
    the body at the line's rate, the launch's pause, and one round trip for
    each request."""
    return 1000.0 * size * 8 / rate_bits + pause_ms + delay_ms * requests


def drop_outcome(answers, started):
    """What a download on a line cut once did, from the paced server's log
    (its parsed lines, in order) and whether the client was started:
    "resumed" when the client came from a later 206 (a part, not the whole
    file again), "started over" when it came from a later whole answer,
    "failed" when no client was started, "no cut" when the line was never
    cut (then the row measured nothing of a drop)."""
    cut = [i for i, a in enumerate(answers) if a.get("cut") == "1"]
    if not cut:
        return "no cut"
    if not started:
        return "failed"
    later = answers[cut[0] + 1:]
    if later and later[-1].get("status") == "206" and int(later[-1].get("start", 0)) > 0:
        return "resumed"
    return "started over"


def judge(figure, value, reference):
    """(compared, met): the number held against the target, and whether it
    meets it. The ratio is value over reference."""
    kind, op, limit, *beyond = TARGETS[figure]
    compared = value / reference if kind == "ratio" else value
    met = {"<": compared < limit, "<=": compared <= limit, ">=": compared >= limit}[op]
    if beyond:
        met = met and value - reference < beyond[0]
    return compared, met


def attribution(main, empty, with_dlls, unit):
    """Splits what tarn-kit takes beyond the empty window into the part that
    the empty window loading tarn-kit's DLLs also takes and the rest. When the
    three medians do not stand in that order the split would be noise, and is
    not made."""
    if not empty <= with_dlls <= main:
        return (f"on this run the three medians do not stand in order (empty window {empty:.1f} {unit}, with "
                f"tarn-kit's DLLs {with_dlls:.1f} {unit}, tarn-kit {main:.1f} {unit}), so the difference is not "
                f"split between the DLLs and tarn-kit's own work")
    return (f"of tarn-kit's {main - empty:.1f} {unit} beyond the empty window, {with_dlls - empty:.1f} {unit} come "
            f"with loading its DLLs and {main - with_dlls:.1f} {unit} are tarn-kit's own")


def sentence(text):
    return text[:1].upper() + text[1:]


def target_text(figure):
    """The target in words; every figure but the size is a ratio."""
    _, op, limit, *beyond = TARGETS[figure]
    words = {"<": "under", "<=": "within", ">=": "at least"}[op]
    if figure == "size":
        return f"{words} {limit // KIB} KiB"
    text = f"{words} {limit:g}×"
    if beyond:
        text += f" and under {beyond[0]:g} ms beyond"
    return text


# ---- running things --------------------------------------------------------------

def run(command, timeout, env=None):
    """Runs command in its own process group; the group is killed on timeout.
    Output goes through files, not pipes: the first Wine program of a prefix
    starts Wine's services, which would inherit a pipe and hold it open."""
    with tempfile.TemporaryFile("w+", encoding="utf-8", errors="replace") as out, \
            tempfile.TemporaryFile("w+", encoding="utf-8", errors="replace") as err:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=env,
                                   start_new_session=True)
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            name = command[1] if command[0] == "wine" else command[0]
            raise MeasureError(f"{os.path.basename(name)} did not finish within {timeout} s")
        out.seek(0)
        err.seek(0)
        return process.returncode, out.read(), err.read()


class Bench:
    def __init__(self, build, prefix):
        self.build = os.path.abspath(build)
        self.prefix = os.path.abspath(prefix)
        self.exe = os.path.join(self.build, "tarn-kit.exe")
        self.probe = os.path.join(self.build, "bench", "probe.exe")
        self.empty = os.path.join(self.build, "bench", "empty-window.exe")
        self.empty_dlls = os.path.join(self.build, "bench", "empty-window-dlls.exe")
        self.standin = os.path.join(self.build, "bench", "standin.exe")
        self.empty_startup = os.path.join(self.build, "bench", "empty-window-startup.exe")
        self.link_map = os.path.join(self.build, "tarn-kit.map")
        self.icon = os.path.join(self.build, "resources", "tarn-kit.ico")
        self.env = dict(os.environ)
        for name in ("http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"):
            self.env.pop(name, None)
        self.env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                        LANG="C.UTF-8", LC_ALL="C.UTF-8")

    def wine(self, args, timeout):
        return run(["wine"] + args, timeout, self.env)

    def system_folder(self):
        # A 32-bit program in a 64-bit prefix loads its system DLLs from syswow64.
        for name in ("syswow64", "system32"):
            path = os.path.join(self.prefix, "drive_c", "windows", name)
            if os.path.isdir(path):
                return path
        raise MeasureError("the Wine prefix has no system folder")

    def imports(self):
        code, private, err = run(["i686-w64-mingw32-objdump", "-p", self.exe], 60)
        if code != 0:
            raise MeasureError(f"objdump could not read tarn-kit.exe: {err.strip()[-300:]}")
        return imported_dlls(private)

    # -- size
    def size(self):
        _, headers, _ = run(["i686-w64-mingw32-objdump", "-h", self.exe], 60)
        dlls = self.imports()
        system, other = split_system_dlls(dlls, os.listdir(self.system_folder()))
        sections = section_sizes(headers)
        with open(self.link_map, encoding="utf-8", errors="replace") as f:
            parts = map_contributions(f.read())
        with open(self.icon, "rb") as f:
            images = icon_images(f.read())
        runtime = {name: size for name, size in parts.items() if not is_own(name)}
        return {
            "bytes": os.path.getsize(self.exe),
            "empty_bytes": os.path.getsize(self.empty),
            "own_bytes": sum(size for name, size in parts.items() if is_own(name)),
            "runtime_bytes": sum(runtime.values()),
            "runtime_parts": sorted(runtime.items(), key=lambda item: -item[1]),
            "icon_images": images,
            "dlls": dlls,
            "other_dlls": other,
            "system_dlls": system,
            "debug_bytes": sum(v for k, v in sections.items() if k.startswith(".debug")),
            "rsrc_bytes": sections.get(".rsrc", 0),
            "code_bytes": sum(v for k, v in sections.items() if k in (".text", ".rdata", ".data", ".eh_frame")),
        }

    # -- start-up and memory
    def startup(self, runs):
        programs = (("empty", self.empty, EMPTY_TITLE), ("empty_dlls", self.empty_dlls, EMPTY_TITLE),
                    ("empty_startup", self.empty_startup, EMPTY_TITLE), ("main", self.exe, MAIN_TITLE))
        command = ["wine", self.probe, "startup", str(runs)]
        for _, exe, title in programs:
            command += [exe, title]
        # The second and third references load what tarn-kit imports; the
        # probe's children inherit the variable through Wine's environment.
        preload = self.imports()
        code, out, err = run(command, 60 + runs * 30, dict(self.env, BENCH_PRELOAD=",".join(preload)))
        rows = probe_lines(out, ("program", "run", "found", "startup_ms", "peak_kib"))
        if code != 0 or len(rows) != len(programs) * runs:
            raise MeasureError(f"the start-up probe failed (exit {code}): {err.strip()[-300:]}")
        missing = [r for r in rows if r["found"] != "1"]
        if missing:
            raise MeasureError(f"{len(missing)} of {len(rows)} starts never showed their window")
        result = {}
        for index, (key, _, _) in enumerate(programs):
            mine = [r for r in rows if r["program"] == str(index)]
            result[key] = {
                "startup_ms": [float(r["startup_ms"]) for r in mine],
                "peak_kib": [int(r["peak_kib"]) for r in mine],
                "modules": sorted({n for r in mine for n in r.get("names", "").split(",") if n}, key=str.lower),
            }
        loaded = {m.lower() for m in result["empty_dlls"]["modules"]}
        if any(d.lower() not in loaded for d in preload):
            raise MeasureError("the empty window did not load every DLL that tarn-kit imports")
        if min(v for r in result.values() for v in r["peak_kib"]) <= 0:
            raise MeasureError("the probe could not read a peak working set")
        return result

    # -- download
    def download(self, runs, workdir):
        root = os.path.join(workdir, "served")
        os.makedirs(root)
        body = b"MZ" + random.Random(64).randbytes(DOWNLOAD_SIZE - 2)
        digest = hashlib.sha256(body).hexdigest()
        with open(os.path.join(root, "bench64.exe"), "wb") as f:
            f.write(body)
        del body
        # Both clients write into the prefix's drive, on the same disk.
        probe_dir = os.path.join(self.prefix, "drive_c", "bench-download")
        curl_dir = os.path.join(self.prefix, "drive_c", "bench-curl")
        for d in (probe_dir, curl_dir):
            shutil.rmtree(d, ignore_errors=True)
            os.makedirs(d)
        probe_file = os.path.join(probe_dir, "bench64.exe")
        curl_file = os.path.join(curl_dir, "bench64.exe")

        lifetime = 60 + runs * 60
        server = subprocess.Popen([sys.executable, SERVER, "--root", root, "--lifetime", str(lifetime)],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env,
                                  start_new_session=True, text=True)
        try:
            ready, _, _ = select.select([server.stdout], [], [], 20)
            line = server.stdout.readline() if ready else ""
            if not line.startswith("PORT "):
                raise MeasureError("the loopback server did not start")
            url = f"http://127.0.0.1:{int(line.split()[1])}/downloads/bench64.exe"
            probe_ms, curl_ms = [], []
            for _ in range(runs):
                # Interleaved, so that a busy machine slows both alike.
                code, out, err = self.wine([self.probe, "download", url, r"C:\bench-download\bench64.exe"], 300)
                rows = probe_lines(out, ("result", "download_ms", "bytes"))
                if code != 0 or not rows:
                    raise MeasureError(f"the program's download failed (exit {code}): {(out + err).strip()[-300:]}")
                check_file(probe_file, digest, "the program's download")
                probe_ms.append(float(rows[0]["download_ms"]))
                os.remove(probe_file)

                code, out, err = run(["curl", "-sS", "--noproxy", "*", "-o", curl_file, "-w",
                                      "%{http_code} %{time_total}", url], 300, self.env)
                status, seconds = (out.split() + ["", ""])[:2]
                if code != 0 or status != "200":
                    raise MeasureError(f"curl failed (exit {code}, status {status}): {err.strip()[-300:]}")
                check_file(curl_file, digest, "curl's download")
                curl_ms.append(1000.0 * float(seconds))
                os.remove(curl_file)
        finally:
            stop(server)
            shutil.rmtree(probe_dir, ignore_errors=True)
            shutil.rmtree(curl_dir, ignore_errors=True)
        return {"probe_ms": probe_ms, "curl_ms": curl_ms}

    # -- launch overhead
    def launch(self, runs):
        temp = os.path.join(self.prefix, "drive_c", "temp")
        os.makedirs(temp, exist_ok=True)
        shutil.copyfile(self.standin, os.path.join(temp, "anydesk.exe"))
        code, out, err = self.wine([self.probe, "launch", str(runs)], 60 + runs * 30)
        rows = probe_lines(out, ("run", "total_ms", "overhead_ms", "shell_ms", "reminder_ms", "processes",
                                 "started", "messages", "bare_ms", "bare_failed", "bare_reminder_ms",
                                 "bare_overrun_ms"))
        if code != 0 or len(rows) != runs:
            raise MeasureError(f"the launch probe failed (exit {code}): {err.strip()[-300:]}")
        failed = sum(int(r["bare_failed"]) for r in rows)
        if failed:
            raise MeasureError(f"{failed} of the bare reference's process starts failed, so it would measure less "
                               f"than the launch does: {err.strip()[-300:]}")
        bad = [r for r in rows if r["started"] != "1" or r["messages"] != "0" or r["reminder"] != "1"]
        if bad:
            raise MeasureError(f"{len(bad)} of {runs} launches did not start the program and show the reminder "
                               f"without a message: {err.strip()[-300:]}")
        return {
            "overhead_ms": [float(r["overhead_ms"]) for r in rows],
            "bare_ms": [float(r["bare_ms"]) for r in rows],
            "bare_work_ms": [float(r["bare_ms"]) + float(r["bare_reminder_ms"]) + float(r["bare_overrun_ms"])
                             for r in rows],
            "bare_reminder_ms": [float(r["bare_reminder_ms"]) for r in rows],
            "bare_overrun_ms": [float(r["bare_overrun_ms"]) for r in rows],
            "shell_ms": [float(r["shell_ms"]) for r in rows],
            "reminder_ms": [float(r["reminder_ms"]) for r in rows],
            "processes": int(rows[0]["processes"]),
            "pause_ms": int(rows[0]["pause_ms"]),
            "running": sum(int(r["running"]) for r in rows),
        }

    # -- a launch that downloads its client on a slow line
    def paced_server(self, root, log, cut):
        """The paced server on 127.0.0.1 and the host:port it answers on."""
        command = [sys.executable, PACED_SERVER, "--root", root, "--rate-bits", str(PACED_RATE_BITS),
                   "--delay-ms", str(PACED_DELAY_MS), "--lifetime", "900", "--log", log]
        if cut:
            command += ["--cut-at", str(CUT_SHARE)]
        server = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env,
                                  start_new_session=True, text=True)
        ready, _, _ = select.select([server.stdout], [], [], 20)
        line = server.stdout.readline() if ready else ""
        if not line.startswith("PORT "):
            stop(server)
            raise MeasureError("the paced server did not start")
        return server, f"127.0.0.1:{int(line.split()[1])}"

    def fetch_launch(self, host, client, digest):
        """One launch through the probe with the program file missing; its
        probe line, and the messages the person was shown."""
        for name in os.listdir(os.path.dirname(client)):
            if name.lower() == os.path.basename(client).lower():
                os.remove(os.path.join(os.path.dirname(client), name))
        code, out, err = self.wine([self.probe, "fetch-launch", host], 300)
        rows = probe_lines(out, ("started_ms", "total_ms", "pause_ms", "download_at_ms", "download_ms", "downloads",
                                 "result", "messages", "running"))
        if code != 0 or not rows:
            raise MeasureError(f"the launch probe failed (exit {code}): {(out + err).strip()[-300:]}")
        row = rows[0]
        messages = [line[len("message: "):] for line in err.splitlines() if line.startswith("message: ")]
        if float(row["started_ms"]) >= 0:
            check_file(client, digest, "the launch's download")
        return row, messages

    def paced(self, runs, drop_runs, workdir):
        root = os.path.join(workdir, "paced")
        os.makedirs(root)
        # A real program, so that the launch starts what it fetched: the
        # harmless stand-in, grown to a client's size by data after its end.
        with open(self.standin, "rb") as f:
            program = f.read()
        body = program + random.Random(8).randbytes(PACED_SIZE - len(program))
        digest = hashlib.sha256(body).hexdigest()
        with open(os.path.join(root, "AnyDesk.exe"), "wb") as f:
            f.write(body)
        temp = os.path.join(self.prefix, "drive_c", "temp")
        os.makedirs(temp, exist_ok=True)
        client = os.path.join(temp, "AnyDesk.exe")
        curl_dir = os.path.join(self.prefix, "drive_c", "bench-curl")
        alone_dir = os.path.join(self.prefix, "drive_c", "bench-download")
        for d in (curl_dir, alone_dir):
            shutil.rmtree(d, ignore_errors=True)
            os.makedirs(d)
        curl_file = os.path.join(curl_dir, "AnyDesk.exe")
        alone_file = os.path.join(alone_dir, "AnyDesk.exe")

        result = {"size": PACED_SIZE, "rate_bits": PACED_RATE_BITS, "delay_ms": PACED_DELAY_MS,
                  "started_ms": [], "download_at_ms": [], "download_ms": [], "alone_ms": [], "curl_ms": [],
                  "served_alone_ms": [], "served_curl_ms": [], "drop": []}
        log = os.path.join(workdir, "paced.log")
        server, host = self.paced_server(root, log, cut=False)
        try:
            for index in range(runs):
                # Interleaved, so that a busy machine slows both alike.
                row, messages = self.fetch_launch(host, client, digest)
                if float(row["started_ms"]) < 0 or int(row["downloads"]) != 1:
                    raise MeasureError(f"the launch did not download and start its client (result {row['result']}, "
                                       f"{row['downloads']} downloads): {' / '.join(messages)[:300]}")
                # The client starts after its download and the pause, never before.
                if (float(row["started_ms"]) < float(row["download_at_ms"]) + float(row["download_ms"])
                        + int(row["pause_ms"])):
                    raise MeasureError("the client's start was timed before its download and the pause had ended")
                result["started_ms"].append(float(row["started_ms"]))
                result["download_at_ms"].append(float(row["download_at_ms"]))
                result["download_ms"].append(float(row["download_ms"]))
                result["pause_ms"] = int(row["pause_ms"])
                # The download operation alone on the same line, WinINet
                # loaded before its clock starts: what the transfer itself
                # takes beside curl, apart from loading WinINet.
                code, out, err = self.wine([self.probe, "download", f"http://{host}/downloads/AnyDesk.exe",
                                            r"C:\bench-download\AnyDesk.exe"], 300)
                rows = probe_lines(out, ("result", "download_ms", "bytes"))
                if code != 0 or not rows:
                    raise MeasureError(f"the download alone failed on the paced line (exit {code}): "
                                       f"{(out + err).strip()[-300:]}")
                check_file(alone_file, digest, "the download alone")
                result["alone_ms"].append(float(rows[0]["download_ms"]))
                # Each round makes three requests: the launch's, the download
                # alone's and curl's.
                result["served_alone_ms"].append(served_ms(log, 3 * index + 2))
                os.remove(alone_file)
                code, out, err = run(["curl", "-sS", "--noproxy", "*", "-o", curl_file, "-w",
                                      "%{http_code} %{time_total}", f"http://{host}/downloads/AnyDesk.exe"],
                                     300, self.env)
                status, seconds = (out.split() + ["", ""])[:2]
                if code != 0 or status != "200":
                    raise MeasureError(f"curl failed on the paced line (exit {code}, status {status}): "
                                       f"{err.strip()[-300:]}")
                check_file(curl_file, digest, "curl's download")
                result["curl_ms"].append(1000.0 * float(seconds))
                result["served_curl_ms"].append(served_ms(log, 3 * index + 3))
                os.remove(curl_file)
        finally:
            stop(server)
            shutil.rmtree(curl_dir, ignore_errors=True)
            shutil.rmtree(alone_dir, ignore_errors=True)

        # The drop: a server of its own for each run, since it cuts once.
        for run_index in range(drop_runs):
            log = os.path.join(workdir, f"drop{run_index}.log")
            server, host = self.paced_server(root, log, cut=True)
            try:
                row, messages = self.fetch_launch(host, client, digest)
            finally:
                stop(server)
            with open(log, encoding="utf-8") as f:
                answers = [parse_fields(line) for line in f if line.strip()]
            started = float(row["started_ms"]) >= 0
            result["drop"].append({
                "outcome": drop_outcome(answers, started),
                "ms": float(row["started_ms"]) if started else float(row["total_ms"]),
                "result": row["result"],
                "requests": len(answers),
                "message": messages[0] if messages else "",
            })
        if os.path.exists(client):
            os.remove(client)
        return result


def served_ms(log, number):
    """How long the paced server took over its answer number (from 1) in its
    log, from the request until its last byte was sent. The server writes
    the line just after that byte, so a client may be done a moment before
    it is there: it is waited for, a few seconds at most."""
    for _ in range(50):
        with open(log, encoding="utf-8") as f:
            lines = [line for line in f if line.strip()]
        if len(lines) >= number:
            return float(parse_fields(lines[number - 1])["served_ms"])
        time.sleep(0.1)
    raise MeasureError(f"the paced server logged {len(lines)} answers, not {number}")


def check_file(path, digest, who):
    if not os.path.isfile(path):
        raise MeasureError(f"{who} left no file")
    with open(path, "rb") as f:
        if hashlib.sha256(f.read()).hexdigest() != digest:
            raise MeasureError(f"{who} left a file that differs from the one served")


def stop(process):
    if process.poll() is not None:
        return
    try:
        os.killpg(process.pid, signal.SIGTERM)
        process.wait(5)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
    except ProcessLookupError:
        pass


# ---- the report --------------------------------------------------------------------

def ms(value):
    return f"{value:.1f} ms"


def kib(value_bytes):
    return f"{value_bytes / KIB:.0f} KiB"


def mib_per_s(milliseconds):
    return DOWNLOAD_SIZE / (1024 * 1024) / (milliseconds / 1000.0)


def spread(values, unit=""):
    return f"{min(values):.1f}–{max(values):.1f}{unit}"


def build_rows(results):
    """One row per figure: (figure, value, reference, ratio, target, met)."""
    rows = []

    def add(name, figure, value_text, reference_text, value, reference, key=None):
        if isinstance(results.get(key or figure), MeasureError):
            rows.append((name, "not measured", "—", "—", target_text(figure), "no (not measured)"))
            return
        _, met = judge(figure, value, reference)
        rows.append((name, value_text, reference_text, f"{value / reference:.3f}×", target_text(figure),
                     "yes" if met else "no"))

    # Beside a reference that does only the work tarn-kit must do and nothing
    # else: what tarn-kit adds of its own. No target of its own.
    def beside(name, value_text, reference_text, value, reference):
        rows.append((name, value_text, reference_text, f"{value / reference:.3f}×", "—", "—"))

    s = results.get("startup")
    ok = not isinstance(s, MeasureError)
    main_start = statistics.median(s["main"]["startup_ms"]) if ok else 0
    empty_start = statistics.median(s["empty"]["startup_ms"]) if ok else 1
    add(f"Start-up until the main window shows (median of {len(s['main']['startup_ms']) if ok else 0})",
        "startup", ms(main_start), f"{ms(empty_start)} (empty window)", main_start, empty_start)

    z = results.get("size")
    ok = not isinstance(z, MeasureError)
    add("Size of tarn-kit.exe (imports " + (", ".join(z["dlls"]) if ok else "?") + ")", "size",
        kib(z["bytes"]) if ok else "", f"{kib(z['empty_bytes'])} (empty window)" if ok else "",
        z["bytes"] if ok else 0, z["empty_bytes"] if ok else 1)

    ok = not isinstance(s, MeasureError)
    main_peak = statistics.median(s["main"]["peak_kib"]) if ok else 0
    empty_peak = statistics.median(s["empty"]["peak_kib"]) if ok else 1
    add("Peak working set of the running program (median)", "memory", f"{main_peak / 1024:.1f} MiB",
        f"{empty_peak / 1024:.1f} MiB (empty window)", main_peak, empty_peak)
    if ok:
        same_start = statistics.median(s["empty_startup"]["startup_ms"])
        same_peak = statistics.median(s["empty_startup"]["peak_kib"])
        beside("Start-up beside the same start-up and text alone", ms(main_start),
               f"{ms(same_start)} (empty window loading tarn-kit's DLLs, starting its "
               f"{FOLDER_COMMANDS} folder commands and painting a line of its text)", main_start, same_start)
        beside("Peak working set beside the same start-up and text alone", f"{main_peak / 1024:.1f} MiB",
               f"{same_peak / 1024:.1f} MiB (the same)", main_peak, same_peak)

    d = results.get("download")
    ok = not isinstance(d, MeasureError)
    probe_rate = mib_per_s(statistics.median(d["probe_ms"])) if ok else 0
    curl_rate = mib_per_s(statistics.median(d["curl_ms"])) if ok else 1
    probe_rates = [mib_per_s(v) for v in d["probe_ms"]] if ok else [0]
    curl_rates = [mib_per_s(v) for v in d["curl_ms"]] if ok else [0]
    add(f"Download of 64 MiB from loopback (median of {len(d['probe_ms']) if ok else 0}, interleaved with curl's)",
        "download", f"{probe_rate:.1f} MiB/s (spread {spread(probe_rates)})",
        f"{curl_rate:.1f} MiB/s (curl, spread {spread(curl_rates)})", probe_rate, curl_rate)

    l = results.get("launch")
    ok = not isinstance(l, MeasureError)
    overhead = statistics.median(l["overhead_ms"]) if ok else 0
    bare = statistics.median(l["bare_ms"]) if ok else 1
    add(f"Launch overhead beyond the {l['pause_ms'] if ok else '?'} ms pause, program present "
        f"(median of {len(l['overhead_ms']) if ok else 0})",
        "launch", ms(overhead), f"{ms(bare)} (the same {l['processes'] if ok else '?'} process starts alone)",
        overhead, bare)
    if ok:
        bare_work = statistics.median(l["bare_work_ms"])
        beside("Launch overhead beside the same process starts, pause and a bare reminder window", ms(overhead),
               f"{ms(bare_work)} (the same process starts, a bare Sleep's overrun of the same pause, and a "
               f"topmost tool window with the reminder's labels as plain static controls in their fonts, shown and "
               f"painted)", overhead, bare_work)
    paced_rows(results.get("paced"), add, rows)
    return rows


def line_text(p):
    return f"{p['size'] // (1024 * 1024)} MiB at {p['rate_bits'] / 1e6:g} Mbit/s and {p['delay_ms']:g} ms a request"


def paced_rows(p, add, rows):
    """The rows of the launch that downloads its client on the paced line,
    added to rows: against its floor, beyond its pause against curl, and
    with the line cut once. A drop that no client came out of is reported
    as what happened, not judged as a time."""
    if p is None:
        return
    if isinstance(p, MeasureError):
        add("Launch with its program file missing, on a paced line", "paced", "", "", 0, 1)
        add("The same launch beyond its pause, beside curl on the same line", "paced_curl", "", "", 0, 1, key="paced")
        add("The same launch with the line cut once", "drop", "", "", 0, 1, key="paced")
        return
    pause = p["pause_ms"]
    body_ms = paced_floor_ms(p["size"], p["rate_bits"], 0, 0, 0)
    started = statistics.median(p["started_ms"])
    floor = paced_floor_ms(p["size"], p["rate_bits"], pause, p["delay_ms"], 1)
    add(f"Launch with its program file missing, {line_text(p)}: click to client started "
        f"(median of {len(p['started_ms'])})", "paced", ms(started),
        f"{ms(floor)} (floor: the body's {ms(body_ms)} at the line's rate, the {pause} ms pause, 1 round trip)",
        started, floor)
    curl = statistics.median(p["curl_ms"])
    add("The same launch beyond its pause, beside curl on the same line", "paced_curl", ms(started - pause),
        f"{ms(curl)} (curl from the same server, median of {len(p['curl_ms'])})", started - pause, curl)
    drops = p["drop"]
    if not drops:
        return
    share = f"{CUT_SHARE:.0%}"
    floor2 = paced_floor_ms(p["size"], p["rate_bits"], pause, p["delay_ms"], 2)
    outcomes = sorted({d["outcome"] for d in drops})
    name = f"The same launch with the line cut once at {share} of the body (median of {len(drops)})"
    reference = f"{ms(floor2)} (floor of a resume: the body once, the pause, 2 round trips)"
    drop_ms = statistics.median(d["ms"] for d in drops)
    if outcomes in (["resumed"], ["started over"]):
        add(name, "drop", f"{ms(drop_ms)} ({outcomes[0]})", reference, drop_ms, floor2, key="paced")
    else:
        # Failed, never cut, or a mix: no time of a client to set beside the floor.
        what = ", ".join(f"{sum(d['outcome'] == o for d in drops)} {o}" for o in outcomes)
        results = ", ".join(sorted({d["result"] for d in drops}))
        rows.append((name, f"{what}; the launch ended after {ms(drop_ms)} with result {results}", reference, "—",
                     target_text("drop"), f"no ({what})"))


def size_note(z):
    """What the exe is made of, from its sections, its link map and its
    icon, and what that leaves under the size target."""
    dib = [image for image in z["icon_images"] if image[1] == "DIB"]
    png = [image for image in z["icon_images"] if image[1] == "PNG"]
    dib_bytes = sum(image[2] for image in dib)
    png_bytes = sum(image[2] for image in png)
    as_png = [image[3] for image in dib]
    largest = ", ".join(f"{name} {kib(size)}" for name, size in z["runtime_parts"][:4])
    limit = TARGETS["size"][2]
    room = limit - dib_bytes - z["runtime_bytes"]
    text = (f"is the file as the Release build leaves it, {kib(z['bytes'])}: {kib(z['code_bytes'])} of code and "
            f"data and {kib(z['rsrc_bytes'])} of resources, the rest headers, imports and relocations. By the "
            f"link map, tarn-kit's own objects give {kib(z['own_bytes'])} of the code and data (with the C++ "
            f"templates they instantiate: strings, vectors, std::function) and the static C++ and MinGW runtime "
            f"{kib(z['runtime_bytes'])} (largest: {largest}); the exception unwinder and its "
            f"tables and the POSIX thread layer it calls are in every exe that throws. Of the resources, the icon "
            f"has {len(dib)} images stored as device-independent bitmaps "
            f"({', '.join(str(image[0]) for image in dib)} px), {kib(dib_bytes)}, and {len(png)} as PNG "
            f"({', '.join(str(image[0]) for image in png)} px), {kib(png_bytes)}. Those bitmaps are the icon's "
            f"format (bitmaps below 256 px), so under {limit // KIB} KiB would leave ")
    text += (f"{kib(room)} for all of tarn-kit's own code and data beside them and the runtime."
             if room > 0 else "nothing for tarn-kit's own code: the bitmaps and the runtime alone exceed it.")
    if dib and None not in as_png:
        text += (f" Written as PNG (unfiltered rows, zlib's best), those bitmaps would take {kib(sum(as_png))}, "
                 f"and the exe about {kib(z['bytes'] - dib_bytes + sum(as_png))}.")
    if z["debug_bytes"]:
        text += f" The exe still carries {kib(z['debug_bytes'])} of debug sections."
    text += (" The empty window, the same compiler and link flags with no C++ library, is "
             f"{kib(z['empty_bytes'])}. Imports: " + ", ".join(z["dlls"])
             + (" — all system DLLs of Wine's system folder." if not z["other_dlls"]
                else f"; not system DLLs: {', '.join(z['other_dlls'])}."))
    return text


def notes(results):
    """What was measured and, for each figure, the measured facts that limit it."""
    out = []
    s, z, d, l, p = (results.get(k) for k in ("startup", "size", "download", "launch", "paced"))
    if not isinstance(s, MeasureError):
        main, empty, dlls = s["main"], s["empty"], s["empty_dlls"]
        med = {key: statistics.median(s[key]["startup_ms"]) for key in s}
        peak = {key: statistics.median(s[key]["peak_kib"]) / 1024 for key in s}
        per_process = ""
        if not isinstance(l, MeasureError):
            per_process = (f", which costs about {statistics.median(l['shell_ms']) / max(l['processes'], 1):.0f} ms "
                           f"under Wine here (see the launch overhead)")
        known = {m.lower() for m in empty["modules"]}
        watched = [m for m in main["modules"] if m.lower() in WATCHED_DLLS]
        extra = [m for m in main["modules"] if m.lower() not in known and m.lower() != "tarn-kit.exe"]
        out.append(f"- **Start-up** is timed from just before CreateProcess until a visible top-level window of the "
                   f"new process carries its title, polled every millisecond. Four programs are started in turn, "
                   f"{len(main['startup_ms'])} rounds: tarn-kit; the empty window; the empty window loading "
                   f"the DLLs that tarn-kit imports before it shows ({ms(med['empty_dlls'])}, "
                   f"{med['empty_dlls'] / med['empty']:.2f}× the empty window); and that program also starting, "
                   f"before it shows, the {FOLDER_COMMANDS} hidden folder commands (cmd.exe /c mkdir) that "
                   f"tarn-kit's start-up starts before its window is first shown, by the same CreateProcessW calls, "
                   f"and painting one line of tarn-kit's Traditional Chinese in its windows' font "
                   f"({ms(med['empty_startup'])}, {med['empty_startup'] / med['empty']:.2f}× the empty window). "
                   f"Spread: tarn-kit {spread(main['startup_ms'], ' ms')}, empty window "
                   f"{spread(empty['startup_ms'], ' ms')}, with the DLLs {spread(dlls['startup_ms'], ' ms')}, with "
                   f"the DLLs and the folder commands {spread(s['empty_startup']['startup_ms'], ' ms')}. tarn-kit "
                   f"has {len(main['modules'])} modules loaded against the empty window's {len(empty['modules'])}; "
                   f"the extra ones are {', '.join(extra) or 'none'} (its imports and what they pull in). Of "
                   f"{', '.join(sorted(WATCHED_DLLS))}, {', '.join(watched) or 'none'} "
                   f"{'are' if len(watched) > 1 else 'is'} loaded by then. "
                   f"{sentence(attribution(med['main'], med['empty'], med['empty_dlls'], 'ms'))}. The folder "
                   f"commands are process starts" + per_process + "; beyond the time of the calls, the new "
                   f"processes start up beside the program on the machine's {os.cpu_count()} cores. tarn-kit "
                   f"takes {med['main'] / med['empty_startup']:.2f}× the program that does only the "
                   f"start-up tarn-kit must do and shows its text: that much is its own (its designed controls, its icon and the rest of "
                   f"its paint).")
        out.append(f"- **Memory** is the process's peak working set, read 1.5 s after its window showed, so that "
                   f"the start-up commands and first paint are in it. Under Wine it counts Wine's own libraries "
                   f"mapped into the process, a floor of about {peak['empty']:.1f} MiB for any window program. "
                   f"The empty window loading tarn-kit's DLLs peaked at {peak['empty_dlls']:.1f} MiB "
                   f"({peak['empty_dlls'] / peak['empty']:.2f}× the empty window), and with the folder commands "
                   f"and a line of Traditional Chinese painted in tarn-kit's font at {peak['empty_startup']:.1f} MiB "
                   f"({peak['empty_startup'] / peak['empty']:.2f}×): Wine renders that text from a CJK font file "
                   f"it maps into the process. "
                   f"{sentence(attribution(peak['main'], peak['empty'], peak['empty_dlls'], 'MiB'))} (its code, "
                   f"fonts, windows and resources); tarn-kit peaks at "
                   f"{peak['main'] / peak['empty_startup']:.2f}× the program that only does the start-up tarn-kit "
                   f"must do and shows its text.")
    if not isinstance(z, MeasureError):
        out.append("- **Size** " + size_note(z))
    if not isinstance(d, MeasureError):
        out.append(f"- **Download** is one 64 MiB file beginning with \"MZ\" from tests/support/http_server.py on "
                   f"127.0.0.1, fetched by the program's download operation (through its Win32 platform, "
                   f"timed inside a probe process, so Wine's process start is not counted) and by curl "
                   f"(its time_total), in turn, {len(d['probe_ms'])} times each; every file was checked against "
                   f"the served one. Spread: program {spread(d['probe_ms'], ' ms')}, curl "
                   f"{spread(d['curl_ms'], ' ms')}; the median of the rounds' own ratios is "
                   f"{statistics.median(c / v for v, c in zip(d['probe_ms'], d['curl_ms'])):.3f}×. At loopback speed "
                   f"the figure is bound by the processor and Wine's WinINet, not by a line; it is kept to catch a "
                   f"processor-bound regression. curl runs natively on Linux; the program goes through Wine's "
                   f"WinINet and file system.")
    if not isinstance(l, MeasureError):
        out.append(f"- **Launch overhead** is the AnyDesk button's launch through the real Win32 platform and the "
                   f"real reminder window (loaded anew in every run, as at the first launch), with a harmless "
                   f"program standing in for c:\\temp\\anydesk.exe; the call's time minus its "
                   f"{l['pause_ms']} ms pause. Spread {spread(l['overhead_ms'], ' ms')}. Of the median, starting "
                   f"its {l['processes']} processes (two taskkill through cmd.exe, then the program; the "
                   f"configuration file is deleted in the process) "
                   f"took {statistics.median(l['shell_ms']):.1f} ms, about "
                   f"{statistics.median(l['shell_ms']) / max(l['processes'], 1):.1f} ms per CreateProcess under "
                   f"Wine, and the reminder window {statistics.median(l['reminder_ms']):.1f} ms; the rest is the "
                   f"pause's own overrun and the file checks. The reference is a bare program making the same "
                   f"CreateProcessW calls with the same command lines, each run right after the launch: "
                   f"{spread(l['bare_ms'], ' ms')}. The reminder window is work tarn-kit must do too: a bare topmost tool "
                   f"window of its size with its labels as plain static controls, each caption in its font (no "
                   f"colours, placement or DPI), created, shown and painted after those starts, "
                   f"took {statistics.median(l['bare_reminder_ms']):.1f} ms (spread "
                   f"{spread(l['bare_reminder_ms'], ' ms')}), and a bare Sleep of the same {l['pause_ms']} ms "
                   f"overran it by {statistics.median(l['bare_overrun_ms']):.1f} ms (spread "
                   f"{spread(l['bare_overrun_ms'], ' ms')}); beside the starts, that overrun and that window, the "
                   f"launch takes {statistics.median(l['overhead_ms']) / statistics.median(l['bare_work_ms']):.2f}×. "
                   f"The processes were waited for afterwards"
                   + (f"; {l['running']} were still running after ten seconds." if l["running"] else " and all ended by themselves."))
    if p is not None and not isinstance(p, MeasureError):
        out += paced_notes(p)
    for key, value in results.items():
        if isinstance(value, MeasureError):
            out.append(f"- **{key}** could not be measured: {value}")
    return out


def paced_costs(p):
    """Where each paced launch's time beyond its floor went, as medians over
    the runs, in ms: before (the steps ahead of the download: the stop
    commands, the clean, the file check), loading (the launch's download
    beyond the same download made alone with WinINet already loaded: its
    loading and first use), transfer (the download alone beyond the line's
    floor of one round trip and the body), after (from the download's end
    until the client's process was created, beyond the pause: the pause's
    overrun and the start), and curl (curl beyond the same line floor);
    then, of the download alone and of curl beyond the line's floor, the
    server's part (its answer beyond the floor: the line's own overrun) and
    the client's (the rest: before its request and after the last byte)."""
    pause = p["pause_ms"]
    line = paced_floor_ms(p["size"], p["rate_bits"], 0, p["delay_ms"], 1)
    med = statistics.median
    return {
        "before": med(p["download_at_ms"]),
        "loading": med(d - a for d, a in zip(p["download_ms"], p["alone_ms"])),
        "transfer": med(a - line for a in p["alone_ms"]),
        "after": med(s - at - d - pause for s, at, d in zip(p["started_ms"], p["download_at_ms"], p["download_ms"])),
        "curl": med(c - line for c in p["curl_ms"]),
        "alone_server": med(v - line for v in p["served_alone_ms"]),
        "alone_client": med(a - v for a, v in zip(p["alone_ms"], p["served_alone_ms"])),
        "curl_server": med(v - line for v in p["served_curl_ms"]),
        "curl_client": med(c - v for c, v in zip(p["curl_ms"], p["served_curl_ms"])),
    }


def paced_notes(p):
    """What the paced rows measured, and where the launch's time beyond its
    floor went."""
    pause = p["pause_ms"]
    started = statistics.median(p["started_ms"])
    curl = statistics.median(p["curl_ms"])
    floor = paced_floor_ms(p["size"], p["rate_bits"], pause, p["delay_ms"], 1)
    cost = paced_costs(p)
    out = [f"- **Launch on a paced line** is the AnyDesk button's launch through the real Win32 platform (timed "
           f"inside a probe process, as the launch overhead is) with c:\\temp\\anydesk.exe missing, so that it "
           f"downloads an {p['size'] // (1024 * 1024)} MiB client (the harmless stand-in grown to that size) from "
           f"bench/paced_server.py on 127.0.0.1, which sends every body at exactly "
           f"{p['rate_bits'] / 1e6:g} Mbit/s on average and waits {p['delay_ms']:g} ms before each answer; the "
           f"time runs from the call until the client's process was created. Its floor is the body at the "
           f"line's rate plus the pause plus one round trip ({ms(floor)}); after each launch, the program's "
           f"download operation alone (WinINet loaded before its clock starts) and curl fetched the same file "
           f"from the same server, {len(p['curl_ms'])} rounds in turn. Spread: launch "
           f"{spread(p['started_ms'], ' ms')}, download alone {spread(p['alone_ms'], ' ms')}, curl "
           f"{spread(p['curl_ms'], ' ms')}. The launch stands {ms(started - floor)} above its floor and "
           f"{ms(started - pause - curl)} above curl beyond its pause; by the medians over the runs, "
           f"{ms(cost['before'])} of it pass before the download begins (the two stop commands through cmd.exe "
           f"and the clean of the configuration file), {ms(cost['loading'])} are the launch's download beyond "
           f"the same download alone (loading WinINet, as in the program's first download), "
           f"{ms(cost['transfer'])} the download alone beyond the line's floor (curl: {ms(cost['curl'])}; of "
           f"these, the server's answer took {ms(cost['alone_server'])} beyond the floor for the download alone and "
           f"{ms(cost['curl_server'])} for curl, and the client's own time before its request reached the server "
           f"and after the last byte left it was {ms(cost['alone_client'])} for the download alone, through "
           f"Wine's WinINet, its worker thread and the file's flush and rename, and {ms(cost['curl_client'])} for "
           f"curl), and "
           f"{ms(cost['after'])} lie between the download's end and the client's process beyond the pause (the "
           f"pause's overrun, the file check and the process start)."]
    if p["drop"]:
        drops = p["drop"]
        kinds = ", ".join(f"{d['outcome']} after {ms(d['ms'])} ({d['requests']} "
                          f"{'request' if d['requests'] == 1 else 'requests'}, result {d['result']})" for d in drops)
        told = sorted({d["message"] for d in drops if d["message"]})
        out.append(f"- **Cut once** is the same launch from a server that closes the connection once, after "
                   f"{CUT_SHARE:.0%} of the body, and then answers a later \"Range: bytes=N-\" with 206 (an "
                   f"If-Range that names its ETag keeps the range); a fresh server for each of {len(drops)} runs. "
                   f"Its floor is a resume's: the body once, the pause and two round trips. The runs: {kinds}"
                   + (f"; the person was told: {' / '.join(told)}" if told else "") + ".")
    return out


def render(results, machine):
    lines = [
        "# Benchmarks",
        "",
        "Written by `scripts/bench.sh`; every figure is measured beside its reference in the same run, under "
        "Wine on the machine below. Do not edit by hand.",
        "",
        f"- Date: {machine['date']}",
        f"- Machine: {machine['cores']} cores ({machine['cpu']}), {machine['memory']}, load average "
        f"{machine['load']} at the start" + (f" and {machine['load_end']} at the end" if "load_end" in machine else "")
        + " (the machine may be shared)",
        f"- Wine: {machine['wine']}; build: Release, mingw-w64 i686, static runtime",
        "",
        "| Figure | Value | Reference | Ratio | Target | Met |",
        "|---|---|---|---|---|---|",
    ]
    for row in build_rows(results):
        lines.append("| " + " | ".join(row) + " |")
    lines += ["", "## What was measured and what limits it", ""] + notes(results) + [""]
    return "\n".join(lines)


def machine_facts(bench):
    cpu = "unknown CPU"
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    memory = "memory unknown"
    try:
        with open("/proc/meminfo", encoding="utf-8") as f:
            total_kib = int(f.readline().split()[1])
            memory = f"{total_kib / 1024 / 1024:.1f} GiB memory"
    except (OSError, ValueError, IndexError):
        pass
    _, wine_version, _ = run(["wine", "--version"], 60, bench.env)
    return {
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
        "cores": os.cpu_count(),
        "cpu": cpu,
        "memory": memory,
        "load": " ".join(f"{x:.2f}" for x in os.getloadavg()),
        "wine": wine_version.strip() or "unknown",
    }


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--prefix", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--startup-runs", type=int, default=11)
    ap.add_argument("--download-runs", type=int, default=21)
    ap.add_argument("--launch-runs", type=int, default=7)
    ap.add_argument("--paced-runs", type=int, default=5)
    ap.add_argument("--drop-runs", type=int, default=3)
    args = ap.parse_args()

    bench = Bench(args.build, args.prefix)
    for path in (bench.exe, bench.probe, bench.empty, bench.empty_dlls, bench.empty_startup, bench.standin,
                 bench.link_map, bench.icon):
        if not os.path.isfile(path):
            sys.exit(f"bench: {path} is missing; build the win32 preset first")

    # One wineserver for the whole run, so that no figure pays for its start.
    subprocess.run(["wineserver", "-p", "60"], env=bench.env, check=False)
    results = {}
    started = time.monotonic()
    try:
        machine = machine_facts(bench)
        steps = (("size", lambda: bench.size()),
                 ("startup", lambda: bench.startup(args.startup_runs)),
                 ("launch", lambda: bench.launch(args.launch_runs)))
        for key, step in steps:
            print(f"bench: {key} …", flush=True)
            try:
                results[key] = step()
            except MeasureError as error:
                results[key] = error
        print("bench: download …", flush=True)
        with tempfile.TemporaryDirectory(prefix="tarnkit-bench-") as workdir:
            try:
                results["download"] = bench.download(args.download_runs, workdir)
            except MeasureError as error:
                results["download"] = error
            print("bench: paced line …", flush=True)
            try:
                results["paced"] = bench.paced(args.paced_runs, args.drop_runs, workdir)
            except MeasureError as error:
                results["paced"] = error
        machine["load_end"] = " ".join(f"{x:.2f}" for x in os.getloadavg())
    finally:
        subprocess.run(["wineserver", "-k"], env=bench.env, check=False)

    text = render(results, machine)
    with open(args.out, "w", encoding="utf-8") as f:
        f.write(text)
    print(text)
    print(f"bench: {time.monotonic() - started:.0f} s, written to {args.out}")
    return 1 if any(isinstance(v, MeasureError) for v in results.values()) else 0


if __name__ == "__main__":
    sys.exit(main())
