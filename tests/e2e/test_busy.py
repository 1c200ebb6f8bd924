"""The real tarn-kit.exe under Wine while a launch runs: against a download
server that sends slowly, the window keeps answering, the bottom strip shows
the download, the buttons and the close request are refused until the launch
ends, and a cancelled download ends the launch quietly: nothing kept, nothing
started, no message.

Each class starts the program once; its cases share that run but none relies
on another having run: each removes the program file it fetches first and
takes the reminder as it finds it, so they run alone and in any order.
"""
import os
import re
import sys
import time
import unittest

import e2e_harness as h

BOTTOM_LABEL = f"遠端協助 (tarn-kit)  網站：{h.WEB_HOST}  (20231104)"
CAPTIONS = ("RustDesk", "AnyDesk", "Aweray", "AeroAdmin", "傳統IE11 (tarn-IE11)",
            "RustDesk (tarn)", "AnyDesk (GSN)", "TrustViewer", "AnyViewer", "聯絡小森")
CANCEL = "取消下載"
RATE = 256 * 1024  # bytes a second from /downloads/
# The fake client with an overlay of zeros (Windows ignores it): a download
# of some seconds at RATE.
PADDING = 1200 * 1024
# Far above what a loaded machine's scheduling can add, and well below the
# download of some seconds that a window frozen for its length would miss.
RESPONSE_BOUND_MS = 2000
VK_ESCAPE = 27
SLOW_NETWORK = "網路很慢，正在等待…"
RESUMING = "連線中斷，正在接續下載…"
SIZES = re.compile(r"^\d+(\.\d)? (B|KB|MB)(／(\d+(\.\d)? (B|KB|MB)))?$")


class Strip:
    """What the main window shows at one moment."""

    def __init__(self, app):
        controls = app.controls()
        self.lines = [c["text"] for c in controls
                      if c["visible"] and c["text"].startswith(("正在下載 ", SLOW_NETWORK, RESUMING))]
        self.sizes = [c["text"] for c in controls if c["visible"] and SIZES.match(c["text"])]
        self.bar = any(c["visible"] and c["class"].lower() == "msctls_progress32" for c in controls)
        self.cancel = [c for c in controls if c["text"] == CANCEL]
        self.label_visible = any(c["visible"] for c in controls if c["text"] == BOTTOM_LABEL)
        self.enabled = {c["text"]: c["enabled"] for c in controls if c["text"] in CAPTIONS + (BOTTOM_LABEL,)}

    @property
    def downloading(self):
        return bool(self.lines)

    @property
    def whole(self):
        return not self.downloading or (self.bar and len(self.cancel) == 1)

    @classmethod
    def seen(cls, app, tries=5):
        """The strip as a person sees it. The driver reads the controls one
        by one from another process, so a reading can fall within the few
        milliseconds in which the strip is being built or its bar replaced;
        such a reading is taken again. A strip that never stands whole still
        fails the assertions after the last try."""
        strip = cls(app)
        for _ in range(tries - 1):
            if strip.whole:
                break
            time.sleep(0.02)
            strip = cls(app)
        return strip


class SlowDownloads:
    """A session whose server sends /downloads/ at RATE; subclasses add
    their server options."""

    SERVER_ARGS = ()

    @classmethod
    def setUpClass(cls):
        cls.session = h.Session.open(server_args=("--downloads-rate", str(RATE)) + cls.SERVER_ARGS)
        cls.driver = cls.session.driver
        cls.server = cls.session.server
        cls.padded = cls.server.client + b"\0" * PADDING
        for name in h.CLIENT_NAMES:
            cls.server.serve(name, cls.padded)
        cls.app = cls.session.start_program_on_fresh_machine()

    @classmethod
    def tearDownClass(cls):
        cls.app.stop()
        cls.session.close()

    def answers_quickly(self):
        return self.driver.must("idle", self.app.main, RESPONSE_BOUND_MS, timeout=10)["answered"]

    def launch(self, caption, file_name):
        """Clicks caption for a launch that downloads file_name. A click the
        button never took (a posted click can be lost while Wine activates
        the window) is told by the window: every control still takes
        clicks and nothing was asked of the server. It is made once more,
        as the person would; a launch that began is never clicked twice."""
        fetches = self.server.requests().count(f"GET /downloads/{file_name}")
        self.app.click(caption)

        def began():
            strip = Strip.seen(self.app)
            return (strip.downloading or not all(strip.enabled.values())
                    or self.server.requests().count(f"GET /downloads/{file_name}") > fetches)
        if not h.wait_until(began, 10, 0.1):
            print(f"the click on {caption} was not taken; clicking again", file=sys.stderr)
            self.app.click(caption)

    def wait_download(self, name, timeout=30):
        """The strip once it shows the download of name."""
        last = []

        def shown():
            strip = Strip.seen(self.app)
            last[:] = [strip]
            return strip if any(line.startswith(f"正在下載 {name}…") for line in strip.lines) else None
        strip = h.wait_until(shown, timeout, 0.1)
        self.assertIsNotNone(strip, f"the strip never showed the download of {name}; it last showed "
                                    f"{last[0].lines if last else None}, "
                                    f"enabled {last[0].enabled if last else None}, "
                                    f"requests {self.server.requests()[-5:]}")
        return strip

    def watch_download(self, timeout=60):
        """Polls the window until the download ends: every strip seen, and
        whether the window answered within the bound each time."""
        seen, answers = [], []
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            answers.append(self.answers_quickly())
            strip = Strip.seen(self.app)
            if not strip.downloading:
                break
            seen.append(strip)
            time.sleep(0.2)
        return seen, answers

    def assert_usable_again(self):
        strip = h.wait_until(lambda: (lambda s: s if all(s.enabled.values()) else None)(Strip.seen(self.app)), 20, 0.2)
        self.assertIsNotNone(strip, "the window did not take clicks again")
        self.assertEqual(len(strip.enabled), len(CAPTIONS) + 1)
        self.assertTrue(strip.label_visible, "the strip's usual label did not come back")
        self.assertEqual(strip.cancel, [], "the cancel control stayed")
        self.assertEqual(strip.lines, [])

    def clients_named(self, path):
        return sorted(pid for pid, (p, _) in h.marks().items() if p.lower() == path.lower())

    def wait_client(self, path, known, timeout=60):
        pid = h.wait_until(lambda: next((p for p in self.clients_named(path) if p not in known), None), timeout, 0.2)
        self.assertIsNotNone(pid, f"{path} was not started")
        return pid


class WithLength(SlowDownloads, unittest.TestCase):
    def test_1_download_shows_its_progress_and_the_window_stays_responsive(self):
        h.remove("c:\\temp\\AnyDesk.exe")
        self.launch("AnyDesk", "AnyDesk.exe")
        first = self.wait_download("AnyDesk")
        # The close request is refused quietly while the launch runs.
        self.driver.must("close", self.app.main)
        seen, answers = self.watch_download()
        seen.insert(0, first)
        self.assertTrue(all(answers), f"the window missed {answers.count(False)} of {len(answers)} probes")
        self.assertGreaterEqual(len(seen), 3, "the download was too short to watch")
        pattern = re.compile(r"^正在下載 AnyDesk…\u3000(\d+)%$")
        percents = []
        for strip in seen:
            self.assertEqual(len(strip.lines), 1)
            m = pattern.match(strip.lines[0])
            if m:
                percents.append(int(m.group(1)))
                self.assertRegex(strip.sizes[0], r"／1\.\d MB$")
            else:
                # Before the server's answer arrives the total is not known.
                self.assertEqual(strip.lines[0], "正在下載 AnyDesk…")
            self.assertTrue(strip.bar, "no progress bar")
            self.assertEqual(len(strip.cancel), 1)
            self.assertFalse(strip.label_visible)
            self.assertEqual([t for t, on in strip.enabled.items() if on], [], "controls took clicks while busy")
        self.assertGreaterEqual(len(percents), 2, [s.lines for s in seen])
        self.assertEqual(percents, sorted(percents))
        self.assertLess(percents[0], 100)

        # The launch goes on to its end; no close prompt came.
        self.wait_client("c:\\temp\\anydesk.exe", [])
        self.assertEqual(h.read_file("c:\\temp\\AnyDesk.exe"), self.padded)
        self.assertIsNotNone(self.app.wait_reminder(h.ANYDESK_REMINDER))
        self.assertEqual(self.app.top_windows(h.BOX_TITLE), [], "the close request was not refused")
        self.assertFalse(self.app.exited(0))
        self.assert_usable_again()

    def cancel_during_download(self, caption, name, path, cancel):
        h.remove(path)
        before = sorted(os.listdir(h.unix_path("c:\\temp")))
        marks = set(h.marks())
        fetches = self.server.requests().count(f"GET /downloads/{name}")
        # An earlier reminder is made non-topmost, so this launch's hand-off
        # shows as it becoming topmost again.
        reminder = self.app.reminder()
        if reminder:
            self.driver.must("notopmost", reminder["hwnd"])
            self.assertTrue(h.wait_until(lambda: not self.app.info(reminder["hwnd"])["topmost"], 5))
        self.launch(caption, name)
        self.wait_download(name.removesuffix(".exe"))
        cancel()
        # The person chose to stop: nothing is started, told or handed over.
        self.assert_usable_again()
        if reminder:
            self.assertFalse(self.app.info(reminder["hwnd"])["topmost"], "the reminder was raised")
        else:
            self.assertIsNone(self.app.reminder(), "a reminder was opened")
        self.assertEqual(self.server.requests().count(f"GET /downloads/{name}"), fetches + 1)
        self.assertFalse(h.exists(path), "the cancelled download left its file")
        self.assertEqual(sorted(os.listdir(h.unix_path("c:\\temp"))), before, "a file was left behind")
        self.assertEqual(set(h.marks()), marks, "something was started")
        self.assertEqual(self.app.top_windows(h.BOX_TITLE), [], "a cancelled download is not reported")
        self.assert_usable_again()

    def test_2_cancel_control_cancels_quietly(self):
        self.cancel_during_download("Aweray", "Aweray.exe", "c:\\temp\\Aweray.exe",
                                    lambda: self.app.click(CANCEL))

    def test_3_esc_cancels_too(self):
        folder = "c:\\temp\\AeroAdmin"
        self.cancel_during_download(
            "AeroAdmin", "AeroAdmin.exe", folder + "\\AeroAdmin.exe",
            lambda: self.driver.must("key", self.app.main, VK_ESCAPE))
        self.assertEqual(os.listdir(h.unix_path(folder)), [])

    def test_4_error_message_ends_the_launch_and_the_clicks_come_back(self):
        h.remove("c:\\temp\\tarn-ie11.exe")
        self.app.click("傳統IE11 (tarn-IE11)")
        box = self.app.message_box(timeout=30)
        self.assertIsNotNone(box, "no error message")
        self.assertEqual(box["text"], "tarn-IE11.exe 程式執行錯誤，請連絡小森！")
        strip = Strip.seen(self.app)
        self.assertEqual([t for t, on in strip.enabled.items() if on], [], "clickable behind the error message")
        self.app.answer(box, h.IDOK)
        self.assertTrue(self.app.idle())
        self.assert_usable_again()


class WithoutLength(SlowDownloads, unittest.TestCase):
    SERVER_ARGS = ("--downloads-without-length",)

    def test_download_without_length_shows_what_has_arrived(self):
        path = "c:\\temp\\RustDesk\\RustDesk.exe"
        h.remove(path)
        self.launch("RustDesk", "RustDesk.exe")
        first = self.wait_download("RustDesk")
        seen, answers = self.watch_download()
        seen.insert(0, first)
        self.assertTrue(all(answers), f"the window missed {answers.count(False)} of {len(answers)} probes")
        self.assertGreaterEqual(len(seen), 3, "the download was too short to watch")
        received = []
        for strip in seen:
            self.assertEqual(strip.lines[0], "正在下載 RustDesk…")
            self.assertEqual(len(strip.sizes), 1)
            self.assertNotIn("／", strip.sizes[0], "a total that is not known")
            self.assertTrue(strip.bar, "no moving bar")
            self.assertEqual(len(strip.cancel), 1)
            received.append(strip.sizes[0])
        self.assertGreater(len(set(received)), 1, "the received count did not grow")
        self.wait_client(path, [])
        self.assertEqual(h.read_file(path), self.padded)
        self.assert_usable_again()


class DroppedLine(SlowDownloads, unittest.TestCase):
    SERVER_ARGS = ("--downloads-cut-once",)

    def test_a_dropped_line_goes_on_where_it_broke(self):
        path = "c:\\temp\\Aweray.exe"
        h.remove(path)
        self.launch("Aweray", "Aweray.exe")
        first = self.wait_download("Aweray")
        seen, answers = self.watch_download()
        seen.insert(0, first)
        self.assertTrue(all(answers), f"the window missed {answers.count(False)} of {len(answers)} probes")
        self.assertIn(RESUMING, [line for strip in seen for line in strip.lines])
        self.wait_client(path, [])
        self.assertEqual(h.read_file(path), self.padded)
        asked = [r for r in self.server.requests() if r.startswith("GET /downloads/Aweray.exe")]
        self.assertEqual(asked, ["GET /downloads/Aweray.exe",
                                 f"GET /downloads/Aweray.exe\tbytes={len(self.padded) // 2}-"])
        self.assertIsNotNone(self.app.wait_reminder(h.SHORT_REMINDER))
        self.assertEqual(self.app.top_windows(h.BOX_TITLE), [], "a box for a download that went on")
        self.assert_usable_again()


if __name__ == "__main__":
    h.main()
