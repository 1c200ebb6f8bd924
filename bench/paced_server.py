#!/usr/bin/env python3
"""A loopback server for the benchmark that behaves like a slow line: it
answers /downloads/NAME from --root after a delay, sends the body at a fixed
rate, and can cut the connection once part-way through a body. Binds
127.0.0.1 only and stops by itself after --lifetime seconds.

    paced_server.py --root DIR --rate-bits 10000000 --delay-ms 50 [--cut-at 0.5]

The body leaves at exactly the line's rate on average: byte n is sent no
earlier than n / rate seconds after the body began (a token bucket with no
burst of its own), so a body of size bytes ends size / rate after its
headers, whatever the overrun of each sleep. Every answer waits --delay-ms
first: one round trip of the line per request.

Every answer carries an ETag and a Last-Modified, and a later request may
resume: "Range: bytes=N-" is answered 206 with "Content-Range: bytes
N-(size-1)/size" unless an If-Range names another version (then the whole
file, 200). With --cut-at SHARE the first body to pass that share of the
file is cut there, once in the server's life: the bytes before it are sent,
then the connection is closed.

The chosen port is printed on the first line of stdout ("PORT 12345").
Each answer is appended to --log as one line of key=value pairs: path,
range, if_range, status, start, sent, cut (1 when it was the cut one) and
served_ms, the time from the request until its last byte was sent.
"""
import argparse
import email.utils
import hashlib
import http.server
import os
import re
import socket
import socketserver
import sys
import threading
import time


# ---- what an answer is, decided without a socket ----------------------------

def range_start(header, size):
    """Where a "Range: bytes=N-" asks the body to start: N; None when the
    header is absent or not of that one form (the whole file is then sent,
    as a server may ignore a range it does not serve); -1 when N lies past
    the file's end (416)."""
    if header is None:
        return None
    match = re.fullmatch(r"\s*bytes\s*=\s*(\d+)\s*-\s*", header)
    if not match:
        return None
    start = int(match.group(1))
    return start if start < size else -1


def answer(range_header, if_range, size, etag, last_modified):
    """(status, start) of the answer to a request for a file of size bytes
    whose version is etag / last_modified: 200 from 0, 206 from the range's
    start, or 416. An If-Range that names neither the ETag nor the exact
    Last-Modified means the client holds another version: the whole file."""
    start = range_start(range_header, size)
    if start is None:
        return 200, 0
    if if_range is not None and if_range.strip() not in (etag, last_modified):
        return 200, 0
    if start < 0:
        return 416, 0
    return 206, start


def cut_offset(size, share):
    """The offset in the file at which the one cut falls; None for no cut."""
    if share is None or share <= 0 or share >= 1:
        return None
    return int(size * share)


def send_plan(start, end, cut, piece):
    """The pieces (first, last) of the body from start to end (exclusive),
    none longer than piece, ending at cut when the body passes it: the last
    piece then stops there."""
    stop = cut if cut is not None and start < cut < end else end
    return [(i, min(i + piece, stop)) for i in range(start, stop, piece)]


class Bucket:
    """Paces bytes at rate a second from the moment it is made: wait(n) for
    the n-th byte returns once n / rate seconds have passed since then."""

    def __init__(self, rate, clock=time.monotonic, sleep=time.sleep):
        self.rate = rate
        self.clock = clock
        self.sleep = sleep
        self.began = clock()

    def due(self, count):
        return self.began + count / self.rate

    def wait(self, count):
        while True:
            left = self.due(count) - self.clock()
            if left <= 0:
                return
            self.sleep(left)


# ---- the server --------------------------------------------------------------

ARGS = None
CUT_LOCK = threading.Lock()
CUT_DONE = False


def take_cut():
    """True for the one answer that is cut."""
    global CUT_DONE
    with CUT_LOCK:
        if CUT_DONE:
            return False
        CUT_DONE = True
        return True


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # quiet; answers go to --log
        pass

    def _log(self, **fields):
        if not ARGS.log:
            return
        fields["served_ms"] = f"{1000 * (time.monotonic() - self.began):.2f}"
        with open(ARGS.log, "a", encoding="utf-8") as f:
            f.write(" ".join(f"{key}={value}" for key, value in fields.items()) + "\n")

    def do_GET(self):
        self.began = time.monotonic()
        time.sleep(ARGS.delay_ms / 1000.0)
        path = self.path.split("?")[0]
        name = os.path.basename(path[len("/downloads/"):]) if path.startswith("/downloads/") else ""
        file = os.path.join(ARGS.root, name)
        if not name or not os.path.isfile(file):
            body = b"<html><body>not here</body></html>"
            self.send_response(404)
            self.send_header("Content-Type", "text/html")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            self._log(path=path, status=404)
            return
        with open(file, "rb") as f:
            data = f.read()
        size = len(data)
        etag = '"' + hashlib.sha256(data).hexdigest()[:32] + '"'
        last_modified = email.utils.formatdate(int(os.path.getmtime(file)), usegmt=True)
        range_header = self.headers.get("Range")
        if_range = self.headers.get("If-Range")
        status, start = answer(range_header, if_range, size, etag, last_modified)
        fields = dict(path=path, range=(range_header or "-").replace(" ", ""),
                      if_range="-" if if_range is None else ("etag" if if_range.strip() == etag else "other"),
                      status=status, start=start)
        self.send_response(status)
        self.send_header("ETag", etag)
        self.send_header("Last-Modified", last_modified)
        self.send_header("Accept-Ranges", "bytes")
        if status == 416:
            self.send_header("Content-Range", f"bytes */{size}")
            self.send_header("Content-Length", "0")
            self.end_headers()
            self._log(**fields, sent=0, cut=0)
            return
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size - start))
        if status == 206:
            self.send_header("Content-Range", f"bytes {start}-{size - 1}/{size}")
        self.end_headers()
        self.wfile.flush()

        cut = cut_offset(size, ARGS.cut_at)
        cutting = cut is not None and start < cut and take_cut()
        piece = max(1024, int(ARGS.rate_bytes // 100))  # about 10 ms of the line
        bucket = Bucket(ARGS.rate_bytes)
        sent = 0
        try:
            for first, last in send_plan(start, size, cut if cutting else None, piece):
                bucket.wait(sent + last - first)
                self.wfile.write(data[first:last])
                self.wfile.flush()
                sent += last - first
            if cutting:
                self.connection.shutdown(socket.SHUT_RDWR)
                self.close_connection = True
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True
        self._log(**fields, sent=sent, cut=1 if cutting else 0)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global ARGS
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--rate-bits", type=float, required=True, help="the line's rate in bits a second")
    ap.add_argument("--delay-ms", type=float, default=0, help="the wait before each answer")
    ap.add_argument("--cut-at", type=float, help="the share of a body after which the connection is cut, once")
    ap.add_argument("--lifetime", type=float, default=600)
    ap.add_argument("--log")
    ARGS = ap.parse_args()
    if ARGS.rate_bits <= 0:
        ap.error("--rate-bits must be above 0")
    ARGS.rate_bytes = ARGS.rate_bits / 8
    server = Server(("127.0.0.1", 0), Handler)
    print(f"PORT {server.server_address[1]}", flush=True)
    # Bounded in time whatever happens to the bench that started it.
    timer = threading.Timer(ARGS.lifetime, server.shutdown)
    timer.daemon = True
    timer.start()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
