#!/usr/bin/env python3
"""Runs a command beside the loopback test server, then stops both.

    with_server.py [--root DIR] [--certs DIR] [--timeout S] [--server-arg ARG]... -- COMMAND...

Starts http_server.py on an ephemeral 127.0.0.1 port with --root as its file
root (without --root, a fresh folder holding "program.exe", a well-formed
PE32 of about 200 KB: see fixture_program). The command gets, in its environment:

  TARNKIT_TEST_HTTP_PORT   the server's port
  TARNKIT_TEST_HTTP_ROOT   the file root (a Linux path)
  TARNKIT_TEST_HTTP_LOG    the server's request log, one "METHOD PATH" a line

and, with --certs (the folder of make_certs.py), a TLS port on 127.0.0.1 for
each server certificate there, serving the same paths:

  TARNKIT_TEST_HTTPS_PORT             localhost, by the test authority
  TARNKIT_TEST_HTTPS_EXPIRED_PORT     localhost-expired
  TARNKIT_TEST_HTTPS_WRONG_HOST_PORT  wrong-host (wrong-host.invalid)
  TARNKIT_TEST_HTTPS_UNTRUSTED_PORT   localhost-untrusted, by untrusted-ca

and, when that folder holds a revocation list (ca.crl, with its port in
crl-port), that list at http://127.0.0.1:PORT/ca-*.crl, where the revoked
test certificate says it is; and no proxy settings, so that every request goes
straight to loopback. The
command is killed (with its whole process group) after --timeout seconds;
the server always ends with this script, and on its own after its lifetime.
The command's output is passed on; the exit code is the command's, or 124 on
timeout.
"""
import argparse
import http.server
import os
import select
import shutil
import signal
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
PROXY_VARIABLES = ("http_proxy", "https_proxy", "all_proxy", "ftp_proxy")
# The variable naming each TLS port, by the certificate its server shows.
HTTPS_PORTS = {
    "localhost": "TARNKIT_TEST_HTTPS_PORT",
    "localhost-expired": "TARNKIT_TEST_HTTPS_EXPIRED_PORT",
    "wrong-host": "TARNKIT_TEST_HTTPS_WRONG_HOST_PORT",
    "localhost-untrusted": "TARNKIT_TEST_HTTPS_UNTRUSTED_PORT",
}


def fixture_program():
    """A stand-in program file: a well-formed PE32 whose two sections (a
    fixed byte pattern) end the file, so that the file is a whole program by
    its own headers and any cut of it is not. Big enough to arrive in several
    reads. It is never started."""
    file_alignment, section_alignment, headers_size = 0x200, 0x1000, 0x400
    raw_sizes = (0x18000, 0x18A00)
    dos = bytearray(0x40)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, len(dos))
    # COFF header: i386, two sections, a PE32 optional header, an executable.
    coff = struct.pack("<HHIIIHH", 0x14C, len(raw_sizes), 0, 0, 0, 224, 0x0102)
    image_size = section_alignment * (1 + sum(-(-size // section_alignment) for size in raw_sizes))
    optional = struct.pack("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII", 0x10B, 14, 0, raw_sizes[0], raw_sizes[1], 0,
                           section_alignment, section_alignment, 0, 0x400000, section_alignment, file_alignment,
                           6, 0, 0, 0, 6, 0, 0, image_size, headers_size, 0, 2, 0x8140,
                           0x100000, 0x1000, 0x100000, 0x1000, 0, 16) + bytes(16 * 8)
    sections = b""
    pointer, address = headers_size, section_alignment
    for name, size, flags in zip((b".text", b".data"), raw_sizes, (0x60000020, 0xC0000040)):
        sections += struct.pack("<8sIIIIIIHHI", name, size, address, size, pointer, 0, 0, 0, 0, flags)
        pointer += size
        address += -(-size // section_alignment) * section_alignment
    headers = bytes(dos) + b"PE\0\0" + coff + optional + sections
    pattern = bytes(range(256)) * (sum(raw_sizes) // 256 + 1)
    return headers + bytes(headers_size - len(headers)) + pattern[:sum(raw_sizes)]


def serve_revocation_list(certs):
    """Serves certs/ca.crl on the port in certs/crl-port while this script
    runs. Every test process of one build folder serves the same list on the
    same port at once, so they share it (SO_REUSEPORT)."""
    try:
        with open(os.path.join(certs, "ca.crl"), "rb") as f:
            listing = f.read()
        with open(os.path.join(certs, "crl-port")) as f:
            port = int(f.read())
    except (OSError, ValueError):
        return

    class Handler(http.server.BaseHTTPRequestHandler):
        def log_message(self, fmt, *args):
            pass

        def do_GET(self):
            found = self.path.startswith("/ca-") and self.path.endswith(".crl")
            self.send_response(200 if found else 404)
            self.send_header("Content-Type", "application/pkix-crl")
            self.send_header("Content-Length", str(len(listing) if found else 0))
            self.end_headers()
            if found:
                self.wfile.write(listing)

    class SharedPort(http.server.ThreadingHTTPServer):
        daemon_threads = True

        def server_bind(self):
            self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
            super().server_bind()

    try:
        server = SharedPort(("127.0.0.1", port), Handler)
    except OSError as error:
        print(f"with_server: revocation list not served on port {port}: {error}", file=sys.stderr)
        return
    threading.Thread(target=server.serve_forever, daemon=True).start()


def relay(child, deadline):
    """Copies the child's output until the child ends (not until the pipe
    closes) and answers its exit code; TimeoutExpired after deadline."""
    fd = child.stdout.fileno()
    os.set_blocking(fd, False)
    out = sys.stdout.buffer
    open_pipe = True

    def drain():
        nonlocal open_pipe
        while open_pipe:
            try:
                data = os.read(fd, 65536)
            except BlockingIOError:
                return
            if not data:
                open_pipe = False
                return
            out.write(data)
            out.flush()

    while True:
        if open_pipe:
            select.select([fd], [], [], 0.1)
            drain()
        else:
            time.sleep(0.1)
        if child.poll() is not None:
            drain()
            return child.returncode
        if time.monotonic() > deadline:
            raise subprocess.TimeoutExpired(child.args, 0)


def stop(process, grace=5):
    if process.poll() is not None:
        return
    try:
        os.killpg(process.pid, signal.SIGTERM)
    except ProcessLookupError:
        return
    try:
        process.wait(grace)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root")
    ap.add_argument("--certs")
    ap.add_argument("--timeout", type=float, default=600)
    ap.add_argument("--server-arg", action="append", default=[])
    ap.add_argument("command", nargs=argparse.REMAINDER)
    args = ap.parse_args()
    # ctest's own timeout sends SIGTERM: still stop the server and the command.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        ap.error("no command given")

    work = tempfile.mkdtemp(prefix="tarnkit-http-")
    try:
        root = args.root
        if root is None:
            root = os.path.join(work, "root")
            os.mkdir(root)
            with open(os.path.join(root, "program.exe"), "wb") as f:
                f.write(fixture_program())
        log = os.path.join(work, "requests.log")
        open(log, "w").close()
        if args.certs:
            serve_revocation_list(args.certs)
        names = list(HTTPS_PORTS) if args.certs else []
        secure = ["--certs", args.certs] if args.certs else []
        for name in names:
            secure += ["--https", name]

        server = subprocess.Popen(
            [sys.executable, os.path.join(HERE, "http_server.py"), "--root", root, "--log", log,
             # Outlives the command by a little, never by much.
             "--lifetime", str(args.timeout + 30)] + secure + args.server_arg,
            stdout=subprocess.PIPE, text=True, start_new_session=True)
        try:
            first = server.stdout.readline().split()
            ports = {}
            for name in names:
                line = server.stdout.readline().split()
                if line[:2] == ["HTTPS", name] and len(line) == 3:
                    ports[HTTPS_PORTS[name]] = line[2]
            if len(first) != 2 or first[0] != "PORT" or len(ports) != len(names):
                print("with_server: the test server did not start", file=sys.stderr)
                return 1
            env = dict(os.environ)
            for name in PROXY_VARIABLES:
                env.pop(name, None)
                env.pop(name.upper(), None)
            env["no_proxy"] = "127.0.0.1,localhost"
            env["TARNKIT_TEST_HTTP_PORT"] = first[1]
            env["TARNKIT_TEST_HTTP_ROOT"] = os.path.abspath(root)
            env["TARNKIT_TEST_HTTP_LOG"] = log
            env.update(ports)
            # The command's output comes through a pipe of our own: Wine's
            # helper processes (started by the first Windows program of a
            # session) inherit the output handles and outlive the command,
            # and a caller such as ctest would wait for them to close.
            child = subprocess.Popen(command, env=env, start_new_session=True, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
            try:
                return relay(child, time.monotonic() + args.timeout)
            except subprocess.TimeoutExpired:
                print(f"with_server: {command[0]} still running after {args.timeout} s, killed", file=sys.stderr)
                stop(child)
                return 124
            finally:
                stop(child)
        finally:
            stop(server)
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
