#!/usr/bin/env python3
"""A loopback HTTP server for the tests: serves program files and misbehaves
on request. Binds 127.0.0.1 only and stops by itself after --lifetime seconds.

Paths:
  /downloads/NAME      the file NAME from --root (404 when missing)
  /status/CODE         answers CODE with a small HTML body
  /html                200 with an HTML page (not a program)
  /truncated           200, Content-Length promises more than is sent
  /stall               200, sends half the body, then stays silent
  /nolength/NAME       the file NAME without Content-Length (body ends at close)
  /slow/NAME           the file NAME in small pieces with pauses (--slow-ms)
  /slow-tail/NAME      the file NAME at full speed but for its last 24 KiB,
                       which follow at about 6 KB a second
  /cut/NAME            half the file NAME without Content-Length, then close
  /chunked-cut/NAME    the file NAME chunked, closed in the middle of a chunk
                       (no final empty chunk)
  /partial/NAME        the whole file NAME as 206 Partial Content
  /length/NAME?TEXT    the file NAME with "Content-Length: TEXT", SIZE in TEXT
                       standing for the file's size and OVERSIZE for 2**64
                       more (a length that wraps to the size), then close
  /body?TEXT           200 with TEXT as the whole body (none: an empty one)
  /redirect/hops/N/NAME  302 to /redirect/hops/N-1/NAME (a relative Location),
                       the last to /downloads/NAME: N redirects in all
  /redirect/plain/NAME 302 to the plain port's /downloads/NAME?after-redirect
  /maintenance         200 with a text page that begins with "M"
  /resume/MODE/NAME    the file NAME with its length and ETag "v1", cut after
                       half; a request with Range is answered by MODE:
                       range (206 for the rest, when If-Range is "v1"),
                       lastmod (as range, naming the file by Last-Modified
                       alone), restart (200, the whole file), elsewhere (206
                       from the byte after the one asked for), total (206
                       for the rest, claiming one byte more in all), cut
                       (206, cut again after half of what is asked for),
                       empty (206, cut before its first byte), pause (as
                       range, a second later), short (206 for the rest but
                       its last byte)
Every request is appended to --log as "METHOD PATH" when given, followed by
a tab and the Range header when there is one.

For a whole run, /downloads/ can be made slow (--downloads-rate, bytes a
second, sent in small pieces) and length-less (--downloads-without-length:
no Content-Length, the body ends when the connection closes), and its line
can drop (--downloads-cut-once: each file's first answer, named by ETag
"v1", is cut after half; a later Range for it with If-Range "v1" is
answered, after a pause of RESUME_PAUSE seconds, with 206 and the rest).

The chosen port is printed on the first line of stdout ("PORT 12345").

With --certs DIR, each --https NAME adds a loopback TLS port that serves the
same paths with the certificate DIR/NAME.pem and its key DIR/NAME.key; the
ports follow the first line, one a line, in the order given
("HTTPS NAME 12346").
"""
import argparse
import http.server
import os
import socketserver
import ssl
import sys
import threading
import time

ARGS = None
PLAIN_PORT = 0  # the plain server's, for redirects from the TLS ports
CUT = set()  # the /downloads/ paths whose first answer was cut


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):  # quiet; requests go to --log
        pass

    def _record(self):
        if ARGS.log:
            with open(ARGS.log, "a", encoding="utf-8") as f:
                asked = self.headers.get("Range")
                f.write(f"{self.command} {self.path}" + (f"\t{asked}" if asked else "") + "\n")

    def _file(self, name):
        path = os.path.join(ARGS.root, os.path.basename(name))
        if not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    def _send(self, code, body, content_type="application/octet-stream", length=True):
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        if length:
            self.send_header("Content-Length", str(len(body)))
        else:
            self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()
        if not length:
            self.close_connection = True

    def _redirect(self, location):
        body = b"<html><body>moved</body></html>"
        self.send_response(302)
        self.send_header("Location", location)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()

    RESUME_PAUSE = 2

    def _paced(self, body, name=""):
        """The body at --downloads-rate bytes a second, with or without its
        length. A client that goes away ends the sending."""
        end = len(body)
        asked = self.headers.get("Range", "")
        if ARGS.downloads_cut_once and name in CUT and asked.startswith("bytes=") \
                and self.headers.get("If-Range") == '"v1"':
            first = int(asked[len("bytes="):].rstrip("-"))
            time.sleep(self.RESUME_PAUSE)
            self.send_response(206)
            self.send_header("Content-Range", f"bytes {first}-{len(body) - 1}/{len(body)}")
            body = body[first:]
            end = len(body)
        else:
            self.send_response(200)
            if ARGS.downloads_cut_once and name not in CUT:
                CUT.add(name)
                end = len(body) // 2
        if ARGS.downloads_cut_once:
            self.send_header("ETag", '"v1"')
        self.send_header("Content-Type", "application/octet-stream")
        if ARGS.downloads_without_length:
            self.send_header("Connection", "close")
        else:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        rate = ARGS.downloads_rate
        step = max(1024, int(rate // 20)) if rate > 0 else len(body) or 1
        try:
            for i in range(0, end, step):
                self.wfile.write(body[i:min(i + step, end)])
                self.wfile.flush()
                if rate > 0:
                    time.sleep(step / rate)
        except (BrokenPipeError, ConnectionResetError):
            pass
        if ARGS.downloads_without_length or end < len(body):
            self.close_connection = True

    def _misbehave(self, route, body):
        try:
            self._misbehave_unguarded(route, body)
        except (BrokenPipeError, ConnectionResetError):
            pass
        self.close_connection = True

    def _misbehave_unguarded(self, route, body):
        half = len(body) // 2
        if route == "/slow-tail/":
            tail = 24 * 1024
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[:-tail])
            self.wfile.flush()
            for i in range(len(body) - tail, len(body), 256):
                time.sleep(0.04)
                self.wfile.write(body[i:i + 256])
                self.wfile.flush()
        elif route == "/cut/":
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(body[:half])
        elif route == "/chunked-cut/":
            self.send_response(200)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            step = 16 * 1024
            for i in range(0, half, step):
                piece = body[i:min(i + step, half)]
                self.wfile.write(b"%x\r\n" % len(piece) + piece + b"\r\n")
            # A chunk promised whole, cut off after its first bytes.
            self.wfile.write(b"%x\r\n" % step + body[half:half + 100])
        elif route == "/partial/":
            self.send_response(206)
            self.send_header("Content-Range", f"bytes 0-{len(body) - 1}/{len(body)}")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif route == "/length/":
            text = self.path.partition("?")[2].replace("OVERSIZE", str(2**64 + len(body)))
            text = text.replace("SIZE", str(len(body)))
            self.send_response(200)
            self.send_header("Content-Length", text)
            self.end_headers()
            self.wfile.write(body)
        self.wfile.flush()

    MODIFIED = "Tue, 03 Nov 2026 08:00:00 GMT"

    def _resume(self, mode, body):
        """A first answer cut after half, and the answer to a Range by mode."""
        size = len(body)
        named = {"Last-Modified": self.MODIFIED} if mode == "lastmod" else {"ETag": '"v1"'}
        asked = self.headers.get("Range", "")
        start = int(asked[len("bytes="):].rstrip("-")) if asked.startswith("bytes=") else None
        same = self.headers.get("If-Range") == named.get("ETag", named.get("Last-Modified"))
        # The first answer is cut; one that starts over is not.
        first, part, cut = 0, body, size // 2 if start is None else size
        if start is not None and mode != "restart" and same:
            if mode == "pause":
                time.sleep(1)
            first = start + 1 if mode == "elsewhere" else start
            part = body[first:-1] if mode == "short" else body[first:]
            cut = {"cut": len(part) // 2, "empty": 0}.get(mode, len(part))
            whole = size + 1 if mode == "total" else size
            self.send_response(206)
            self.send_header("Content-Range", f"bytes {first}-{first + len(part) - 1}/{whole}")
        else:
            self.send_response(200)
        for header, value in named.items():
            self.send_header(header, value)
        self.send_header("Content-Length", str(len(part)))
        self.end_headers()
        self.wfile.write(part[:cut])
        self.wfile.flush()

    def do_GET(self):
        self._record()
        p = self.path.split("?")[0]
        html = b"<html><body>not here</body></html>"
        if p.startswith("/downloads/"):
            body = self._file(p[len("/downloads/"):])
            if body is None:
                return self._send(404, html, "text/html")
            if ARGS.downloads_rate > 0 or ARGS.downloads_without_length or ARGS.downloads_cut_once:
                return self._paced(body, p)
            return self._send(200, body)
        if p.startswith("/status/"):
            return self._send(int(p[len("/status/"):]), html, "text/html")
        if p == "/html":
            return self._send(200, b"<!DOCTYPE html><html><body>MZ is not here</body></html>", "text/html")
        if p == "/truncated":
            self.send_response(200)
            self.send_header("Content-Length", "100000")
            self.end_headers()
            self.wfile.write(b"MZ" + b"\0" * 1000)
            self.wfile.flush()
            self.close_connection = True
            return
        if p == "/stall":
            self.send_response(200)
            self.send_header("Content-Length", "4096")
            self.end_headers()
            self.wfile.write(b"MZ" + b"\0" * 2046)
            self.wfile.flush()
            time.sleep(ARGS.stall_seconds)
            self.close_connection = True
            return
        if p.startswith("/nolength/"):
            body = self._file(p[len("/nolength/"):])
            if body is None:
                return self._send(404, html, "text/html")
            return self._send(200, body, length=False)
        if p == "/body":
            return self._send(200, self.path.partition("?")[2].encode("latin-1"))
        if p.startswith("/redirect/hops/"):
            hops, _, name = p[len("/redirect/hops/"):].partition("/")
            left = int(hops) - 1
            return self._redirect(f"/redirect/hops/{left}/{name}" if left > 0 else f"/downloads/{name}")
        if p.startswith("/redirect/plain/"):
            name = p[len("/redirect/plain/"):]
            return self._redirect(f"http://127.0.0.1:{PLAIN_PORT}/downloads/{name}?after-redirect")
        if p == "/maintenance":
            return self._send(200, b"Maintenance until 18:00", "text/plain")
        if p.startswith("/resume/"):
            mode, _, name = p[len("/resume/"):].partition("/")
            body = self._file(name)
            if body is None:
                return self._send(404, html, "text/html")
            try:
                self._resume(mode, body)
            except (BrokenPipeError, ConnectionResetError):
                pass
            self.close_connection = True
            return
        for route in ("/slow-tail/", "/cut/", "/chunked-cut/", "/partial/", "/length/"):
            if p.startswith(route):
                body = self._file(p[len(route):])
                if body is None:
                    return self._send(404, html, "text/html")
                return self._misbehave(route, body)
        if p.startswith("/slow/"):
            body = self._file(p[len("/slow/"):])
            if body is None:
                return self._send(404, html, "text/html")
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            step = max(1, len(body) // 20)
            for i in range(0, len(body), step):
                self.wfile.write(body[i:i + step])
                self.wfile.flush()
                time.sleep(ARGS.slow_ms / 1000.0)
            return
        self._send(404, html, "text/html")


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


class SecureServer(Server):
    # A client that connects and says nothing must not hold its thread past
    # the handshake; once past it, a request is as patient as a plain one.
    HANDSHAKE_SECONDS = 10

    def __init__(self, address, handler, context):
        super().__init__(address, handler)
        self.context = context

    def finish_request(self, request, client_address):
        # In the request's own thread, not in the accept loop: a client that
        # stalls or fails its handshake holds up no one else.
        request.settimeout(self.HANDSHAKE_SECONDS)
        try:
            secure = self.context.wrap_socket(request, server_side=True)
        except OSError:
            # A client refusing the certificate ends here: the point of the
            # untrusted ports, not a fault of the server.
            return
        try:
            secure.settimeout(None)
            self.RequestHandlerClass(secure, client_address, self)
        finally:
            secure.close()


def secure_server(folder, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key"))
    return SecureServer(("127.0.0.1", 0), Handler, context)


def main():
    global ARGS, PLAIN_PORT
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--lifetime", type=float, default=600)
    ap.add_argument("--stall-seconds", type=float, default=60)
    ap.add_argument("--slow-ms", type=float, default=200)
    ap.add_argument("--log")
    ap.add_argument("--downloads-rate", type=float, default=0,
                    help="bytes a second for /downloads/; 0 for full speed")
    ap.add_argument("--downloads-without-length", action="store_true",
                    help="/downloads/ answers without Content-Length")
    ap.add_argument("--downloads-cut-once", action="store_true",
                    help="/downloads/ cuts each file's first answer after half, then resumes")
    ap.add_argument("--certs", help="folder of the --https certificates and keys")
    ap.add_argument("--https", action="append", default=[], metavar="NAME",
                    help="a TLS port with the certificate NAME from --certs")
    ARGS = ap.parse_args()
    if ARGS.https and not ARGS.certs:
        ap.error("--https needs --certs")
    server = Server(("127.0.0.1", ARGS.port), Handler)
    others = [secure_server(ARGS.certs, name) for name in ARGS.https]
    PLAIN_PORT = server.server_address[1]
    print(f"PORT {PLAIN_PORT}", flush=True)
    for name, each in zip(ARGS.https, others):
        print(f"HTTPS {name} {each.server_address[1]}", flush=True)

    def stop():
        # The plain server last: its end lets main() close every socket.
        for each in others + [server]:
            each.shutdown()

    for each in others:
        threading.Thread(target=each.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    # Bounded in time whatever happens to the test that started it.
    threading.Timer(ARGS.lifetime, stop).start()
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        for each in [server] + others:
            each.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
