"""The real tarn-kit.exe under Wine, started once and clicked through button
by button, as a user would, against the loopback download server.

The tests share one program run, as a user's session would, but none relies
on another having run: each makes what it needs itself (a program file in
the work folder, an open reminder, the main window where it wants it) and
puts the main window back where it found it, so any one runs alone and all
run in any order. The numbers only keep the listing readable.
"""
import os
import subprocess
import time
import tomllib
import unittest

import e2e_harness as h

ANYDESK_CONF = h.APPDATA_WIN + "\\AnyDesk\\system.conf"
RUSTDESK_TOML = h.APPDATA_WIN + "\\RustDesk\\config\\RustDesk2.toml"
CAPTIONS = ("RustDesk", "AnyDesk", "Aweray", "AeroAdmin", "傳統IE11 (tarn-IE11)",
            "RustDesk (tarn)", "AnyDesk (GSN)", "TrustViewer", "AnyViewer", "聯絡小森")
BOTTOM_LABEL = f"遠端協助 (tarn-kit)  網站：{h.WEB_HOST}  (20231104)"
CONTACT_LINE = f"Line: {h.PHONE}  /  網站：{h.WEB_HOST} "


def width(r):
    return r[2] - r[0]


def height(r):
    return r[3] - r[1]


def not_on_server(button, file_name):
    """The message after button for a program file the download server
    answers 404 for."""
    return (f"按下「{button}」後，無法下載 {file_name}：伺服器上沒有這個檔案（HTTP 404）。\r\n"
            "下載伺服器現在沒有這個程式，再按一次也無法下載，請打電話給小森。\r\n"
            f"小森的電話：{h.PHONE}")


class Launches(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.session = h.Session.open()
        cls.driver = cls.session.driver
        cls.server = cls.session.server
        cls.app = cls.session.start_program_on_fresh_machine()

    @classmethod
    def tearDownClass(cls):
        cls.app.stop()
        cls.session.close()

    # helpers

    def gets(self, path):
        return self.server.requests().count(f"GET {path}")

    def clients_named(self, name):
        """pids of fake clients that ran as the given Windows path."""
        return sorted(pid for pid, (path, _) in h.marks().items() if path.lower() == name.lower())

    def wait_client(self, name, known, timeout=20):
        """The pid of a new fake client run as name, not in known."""
        def new():
            fresh = [pid for pid in self.clients_named(name) if pid not in known]
            return fresh[0] if fresh else None
        pid = h.wait_until(new, timeout, 0.2)
        self.assertIsNotNone(pid, f"{name} was not started")
        return pid

    def have(self, path):
        """path holds a program file, as a launch that fetched it would have
        left it; a file already there (a client may be running from it) is
        kept."""
        if not h.exists(path):
            h.write_file(path, self.server.client)

    def ensure_reminder(self):
        """The open reminder; when none is open, the one that a launch of
        Aweray opens."""
        r = self.app.reminder()
        if r:
            return r
        path = "c:\\temp\\Aweray.exe"
        self.have(path)
        known = self.clients_named(path)
        self.app.click("Aweray")
        self.wait_client(path, known)
        r = self.app.wait_reminder(h.SHORT_REMINDER)
        self.assertIsNotNone(r, "no reminder after a launch of Aweray")
        return r

    def close_reminder(self):
        r = self.app.reminder()
        if r:
            self.driver.must("close", r["hwnd"])
            self.assertTrue(h.wait_until(lambda: self.app.reminder() is None, 10), "reminder did not close")

    def move_main(self, top):
        """Moves the main window to top, as the user drags it, and puts it
        back where it stood once the test ends, so no other test finds it
        moved."""
        rect = self.app.info(self.app.main)["window"]["rect"]
        self.addCleanup(self.place_main, rect[0], rect[1])
        self.place_main(rect[0], top)

    def place_main(self, left, top):
        self.driver.must("move", self.app.main, left, top)
        self.assertTrue(h.wait_until(lambda: self.app.info(self.app.main)["window"]["rect"][:2] == [left, top], 5),
                        f"the main window did not move to {left}, {top}")

    def prime_reminder(self):
        """Makes an open reminder non-topmost, so the next launch's hand-off
        shows as the window becoming topmost again."""
        r = self.app.reminder()
        if r:
            self.driver.must("notopmost", r["hwnd"])
            self.assertTrue(h.wait_until(lambda: not self.app.info(r["hwnd"])["topmost"], 5))
        return r

    def assert_placed(self, reminder_hwnd, below):
        main = self.app.info(self.app.main)
        rem = self.app.info(reminder_hwnd)
        m, r, work = main["window"]["rect"], rem["window"]["rect"], rem["work"]
        if below:
            self.assertEqual(r[1], m[3], "reminder's top is not the main window's bottom")
        else:
            self.assertEqual(r[3], m[1], "reminder's bottom is not the main window's top")
        self.assertTrue(work[0] <= r[0] and r[2] <= work[2] and work[1] <= r[1] and r[3] <= work[3],
                        f"reminder {r} is not inside the work area {work}")
        centre = (work[0] + work[2]) / 2
        self.assertLessEqual(abs((r[0] + r[2]) / 2 - centre), 1, "reminder is not centred horizontally")

    # scenarios

    def test_01_start_up_makes_the_work_folders_and_shows_the_window(self):
        for folder in h.WORK_FOLDERS:
            self.assertTrue(h.wait_until(lambda: os.path.isdir(h.unix_path(folder)), 15), f"{folder} missing")
        info = self.app.info(self.app.main)
        self.assertTrue(info["window"]["visible"])
        texts = {c["text"]: c for c in self.app.controls()}
        for caption in CAPTIONS:
            self.assertIn(caption, texts)
            self.assertTrue(texts[caption]["visible"] and texts[caption]["enabled"], caption)
        self.assertIn(BOTTOM_LABEL, texts)
        # Assistive tools walk the controls in window order, which is the
        # design's tab order.
        self.assertEqual([c["text"] for c in self.app.controls() if c["text"]], [
            "AnyDesk (GSN)", "AnyDesk", "RustDesk", "RustDesk (tarn)", "Aweray", BOTTOM_LABEL,
            "聯絡小森", "AeroAdmin", "傳統IE11 (tarn-IE11)", "TrustViewer", "AnyViewer"])
        # The start-up place: bottom edge 900 twips above the screen's bottom,
        # centred, when that lies inside the work area.
        r, work, monitor = info["window"]["rect"], info["work"], info["monitor"]
        gap = round(900 * info["dpi"] / 1440)
        if monitor[3] - gap <= work[3] and monitor[3] - gap - height(r) >= work[1]:
            self.assertEqual(r[3], monitor[3] - gap)
        self.assertLessEqual(abs((r[0] + r[2]) / 2 - (work[0] + work[2]) / 2), 1)
        self.assertEqual(width(info["client"]), round(8445 * info["dpi"] / 1440))
        self.assertEqual(height(info["client"]), round(2505 * info["dpi"] / 1440))

    def test_02_anydesk_fetches_starts_and_reminds(self):
        # As the first launch of a session: nothing fetched, no reminder.
        self.close_reminder()
        h.remove("c:\\temp\\anydesk.exe")
        h.write_file(ANYDESK_CONF, b"ad.old=1\r\n")
        self.assertFalse(h.exists("c:\\temp\\anydesk.exe"))
        fetched = self.gets("/downloads/AnyDesk.exe")
        known = self.clients_named("c:\\temp\\anydesk.exe")
        self.app.click("AnyDesk")
        pid = self.wait_client("c:\\temp\\anydesk.exe", known)
        self.assertEqual(self.gets("/downloads/AnyDesk.exe"), fetched + 1)
        self.assertEqual(h.read_file("c:\\temp\\AnyDesk.exe"), self.server.client)
        reminder = self.app.wait_reminder(h.ANYDESK_REMINDER)
        self.assertIsNotNone(reminder, "no topmost reminder with the AnyDesk text")
        self.assertIn(CONTACT_LINE, self.app.reminder_texts(reminder["hwnd"]))
        # The clean command reached the file through a quoted AppData path
        # with a blank, "&" and Chinese letters.
        self.assertTrue(h.wait_until(lambda: not h.exists(ANYDESK_CONF), 10), "system.conf not deleted")
        # At the main window's start-up place the reminder does not fit below
        # it on this screen, so it stands above it.
        below = self.app.info(self.app.main)["window"]["rect"][3] + height(reminder["rect"]) <= \
            self.app.info(reminder["hwnd"])["work"][3]
        self.assert_placed(reminder["hwnd"], below)

        # A second click: the running copy is stopped, nothing is fetched,
        # the same reminder window is reused where it stands.
        first_rect = self.app.info(reminder["hwnd"])["window"]["rect"]
        self.prime_reminder()
        self.app.click("AnyDesk")
        second = self.wait_client("c:\\temp\\anydesk.exe", known + [pid])
        self.assertIsNotNone(self.app.wait_reminder(h.ANYDESK_REMINDER))
        self.assertFalse(self.app.alive(pid), "the first AnyDesk was not stopped")
        self.assertTrue(self.app.alive(second))
        self.assertEqual(self.gets("/downloads/AnyDesk.exe"), fetched + 1)
        windows = self.app.top_windows(h.REMINDER_TITLE)
        self.assertEqual([w["hwnd"] for w in windows], [reminder["hwnd"]])
        self.assertEqual(windows[0]["rect"], first_rect)

    def test_03_failed_download_says_why_starts_nothing_and_does_not_remind(self):
        self.ensure_reminder()
        self.server.withdraw("Aweray.exe")
        self.addCleanup(self.server.serve, "Aweray.exe", self.server.client)
        h.remove("c:\\temp\\Aweray.exe")
        before = sorted(os.listdir(h.unix_path("c:\\temp")))
        marks = set(h.marks())
        fetched = self.gets("/downloads/Aweray.exe")
        r = self.prime_reminder()
        texts = self.app.reminder_texts(r["hwnd"])
        self.app.click("Aweray")
        box = self.app.message_box()
        self.assertIsNotNone(box, "a failed download is not reported")
        self.assertEqual(box["text"], not_on_server("Aweray", "Aweray.exe"))
        self.assertEqual(box["buttons"], [h.IDOK])
        self.screenshot(box, "failure-box.png")
        self.app.answer(box, h.IDOK)
        self.assertTrue(self.app.idle())
        self.assertEqual(self.gets("/downloads/Aweray.exe"), fetched + 1)
        self.assertEqual(sorted(os.listdir(h.unix_path("c:\\temp"))), before, "the failed download left a file")
        self.assertEqual(set(h.marks()), marks, "something was started")
        self.assertFalse(self.app.info(r["hwnd"])["topmost"], "the reminder was raised for a missing client")
        self.assertEqual(self.app.reminder_texts(r["hwnd"]), texts)

    def test_04_reminder_reopens_below_a_moved_main_window(self):
        reminder = self.ensure_reminder()
        self.driver.must("close", reminder["hwnd"])
        self.assertTrue(h.wait_until(lambda: self.app.reminder() is None, 10), "reminder did not close")
        self.assertTrue(self.app.info(self.app.main)["window"]["visible"], "main window closed with the reminder")
        # The user drags the main window up; the reminder opens below it.
        self.move_main(120)
        known = self.clients_named("c:\\temp\\Aweray.exe")
        self.app.click("Aweray")
        self.wait_client("c:\\temp\\Aweray.exe", known)
        self.assertEqual(h.read_file("c:\\temp\\Aweray.exe"), self.server.client)
        reminder = self.app.wait_reminder(h.SHORT_REMINDER)
        self.assertIsNotNone(reminder)
        self.assert_placed(reminder["hwnd"], below=True)
        self.screenshot(reminder, "screenshot.png")

    def screenshot(self, window, name):
        """The main window with window (the reminder, a message box) beside
        it, for the docs."""
        out = os.environ.get("TARNKIT_E2E_OUT")
        if not out:
            return
        m = self.app.info(self.app.main)["window"]["rect"]
        r = self.app.info(window["hwnd"])["window"]["rect"]
        left, top = min(m[0], r[0]) - 16, min(m[1], r[1]) - 16
        right, bottom = max(m[2], r[2]) + 16, max(m[3], r[3]) + 16
        time.sleep(1)  # let both windows finish painting
        target = os.path.join(out, name)
        subprocess.run(["import", "-window", "root", "-crop",
                        f"{right - left}x{bottom - top}+{left}+{top}", "+repage", target],
                       check=True, timeout=30)
        self.assertGreater(os.path.getsize(target), 0)

    def test_05_aeroadmin(self):
        path = "c:\\temp\\AeroAdmin\\AeroAdmin.exe"
        h.remove(path)
        fetched = self.gets("/downloads/AeroAdmin.exe")
        known = self.clients_named(path)
        self.prime_reminder()
        self.app.click("AeroAdmin")
        self.wait_client(path, known)
        self.assertEqual(self.gets("/downloads/AeroAdmin.exe"), fetched + 1)
        self.assertIsNotNone(self.app.wait_reminder(h.SHORT_REMINDER))

        # Cut short (its headers there, not all its sections): the system
        # cannot run it, and the person is offered a new one.
        damaged = self.server.client[:len(self.server.client) // 2]
        for answer, fetches in ((h.IDNO, 0), (h.IDYES, 1)):
            with self.subTest(answer=answer):
                h.write_file(path, damaged)
                fetched = self.gets("/downloads/AeroAdmin.exe")
                known = self.clients_named(path)
                r = self.prime_reminder()
                self.app.click("AeroAdmin")
                box = self.app.message_box()
                self.assertIsNotNone(box, "no offer to download a damaged program file again")
                self.assertEqual(box["text"], "AeroAdmin 的程式檔無法執行，可能已損壞。要重新下載嗎？")
                self.assertEqual(box["buttons"], [h.IDYES, h.IDNO])
                self.app.answer(box, answer)
                if fetches:
                    self.wait_client(path, known)
                    self.assertEqual(h.read_file(path), self.server.client)
                    self.assertIsNotNone(self.app.wait_reminder(h.SHORT_REMINDER))
                else:
                    self.assertTrue(self.app.idle())
                    self.assertEqual(h.read_file(path), damaged)
                    self.assertEqual(self.clients_named(path), known, "something was started")
                    self.assertFalse(self.app.info(r["hwnd"])["topmost"], "the reminder was raised")
                self.assertEqual(self.gets("/downloads/AeroAdmin.exe"), fetched + fetches)

    def test_06_rustdesk_cleans_its_configuration(self):
        h.write_file(RUSTDESK_TOML, b"remote_id = 'old'\r\n")
        h.write_file(ANYDESK_CONF, b"ad.keep=1\r\n")
        known = self.clients_named("c:\\temp\\rustdesk\\RustDesk.exe")
        self.prime_reminder()
        self.app.click("RustDesk")
        self.wait_client("c:\\temp\\rustdesk\\RustDesk.exe", known)
        self.assertEqual(h.read_file("c:\\temp\\RustDesk\\RustDesk.exe"), self.server.client)
        self.assertIsNotNone(self.app.wait_reminder(h.SHORT_REMINDER))
        self.assertTrue(h.wait_until(lambda: not h.exists(RUSTDESK_TOML), 10), "RustDesk2.toml not deleted")
        self.assertTrue(h.exists(ANYDESK_CONF), "RustDesk deleted AnyDesk's configuration")
        h.remove(ANYDESK_CONF)

    def test_07_ie11_that_cannot_run_reports_and_does_not_remind(self):
        self.ensure_reminder()
        h.remove("c:\\temp\\tarn-ie11.exe")
        r = self.prime_reminder()
        texts = self.app.reminder_texts(r["hwnd"])
        self.app.click("傳統IE11 (tarn-IE11)")
        box = self.app.message_box()
        self.assertIsNotNone(box, "no message for a program that cannot run")
        self.assertEqual(box["text"], "tarn-IE11.exe 程式執行錯誤，請連絡小森！")
        self.assertEqual(box["buttons"], [h.IDOK])
        self.assertEqual(h.read_file("c:\\temp\\tarn-ie11.exe"), h.unrunnable_program())
        self.app.answer(box, h.IDOK)
        self.assertTrue(self.app.idle())
        info = self.app.info(r["hwnd"])
        self.assertFalse(info["topmost"], "the IE11 launch touched the reminder")
        self.assertEqual(self.app.reminder_texts(r["hwnd"]), texts)

    def test_08_anydesk_gsn_writes_the_proxy_configuration(self):
        machine_conf = "C:\\ProgramData\\AnyDesk\\system.conf"
        h.write_file(machine_conf, b"ad.machine=1\r\n")
        h.remove(h.APPDATA_WIN + "\\AnyDesk")  # the client never ran for this user
        self.have("c:\\temp\\AnyDesk.exe")
        self.assertTrue(h.exists("c:\\temp\\anydesk.exe"))
        fetched = self.gets("/downloads/AnyDesk.exe")
        expected = ("ad.anynet.proxy.addr=" + h.GSN_PROXY + "\r\n"
                    "ad.anynet.proxy.mandatory=true\r\n"
                    "ad.anynet.proxy.mode=2\r\n"
                    "ad.anynet.proxy.pass=\r\n"
                    "ad.anynet.proxy.port=80\r\n"
                    "ad.anynet.proxy.user=\r\n").encode("ascii")
        self.assertEqual(len(expected), 150 + len(h.GSN_PROXY))
        for answer, fetches in ((h.IDNO, 0), (h.IDYES, 1)):
            with self.subTest(answer=answer):
                known = self.clients_named("c:\\temp\\anydesk.exe")
                self.prime_reminder()
                self.app.click("AnyDesk (GSN)")
                box = self.app.message_box()
                self.assertIsNotNone(box, "no re-download prompt")
                self.assertEqual(box["text"], "Anydesk.exe 檔案已下載，是否在重新下載！")
                self.assertEqual(box["buttons"], [h.IDYES, h.IDNO])
                # The configuration is written before the prompt.
                self.assertEqual(h.read_file(ANYDESK_CONF), expected)
                self.assertFalse(h.exists(machine_conf), "machine-wide system.conf not deleted")
                self.app.answer(box, answer)
                new = self.wait_client("c:\\temp\\anydesk.exe", known)
                self.assertIsNotNone(self.app.wait_reminder(h.SHORT_REMINDER))
                self.assertEqual(self.gets("/downloads/AnyDesk.exe"), fetched + fetches)
                fetched += fetches
                for pid in known:
                    self.assertFalse(self.app.alive(pid), "the running AnyDesk was not stopped")
                self.assertTrue(self.app.alive(new))
                self.assertEqual(h.read_file(ANYDESK_CONF), expected)

    def test_09_rustdesk_tarn_writes_its_server(self):
        h.remove(h.APPDATA_WIN + "\\RustDesk")
        self.have("c:\\temp\\RustDesk\\RustDesk.exe")
        self.assertTrue(h.exists("c:\\temp\\rustdesk\\rustdesk.exe"))
        fetched = self.gets("/downloads/RustDesk.exe")
        known = self.clients_named("c:\\temp\\rustdesk\\RustDesk.exe")
        self.prime_reminder()
        self.app.click("RustDesk (tarn)")
        self.wait_client("c:\\temp\\rustdesk\\RustDesk.exe", known)
        self.assertIsNotNone(self.app.wait_reminder(h.SHORT_REMINDER))
        self.assertEqual(self.gets("/downloads/RustDesk.exe"), fetched)
        data = h.read_file(RUSTDESK_TOML)
        host = h.RUSTDESK_HOST
        self.assertEqual(data, (
            'remote_id = ""\r\n'
            "size = [0, 0, 798, 597]\r\n"
            f'rendezvous_server = "{host}:21116"\r\n'
            "nat_type = 1\r\n"
            "serial = 0\r\n"
            "\r\n"
            "[options]\r\n"
            'allow-remote-config-modification = "Y"\r\n'
            f'custom-rendezvous-server = "{host}:21116"\r\n'
            f'relay-server = "{host}:21117"\r\n').encode("ascii"))
        self.assertEqual(len(data), 212 + 3 * len(host))
        self.assertEqual(tomllib.loads(data.decode("ascii")), {
            "remote_id": "", "size": [0, 0, 798, 597], "rendezvous_server": f"{host}:21116",
            "nat_type": 1, "serial": 0,
            "options": {"allow-remote-config-modification": "Y",
                        "custom-rendezvous-server": f"{host}:21116", "relay-server": f"{host}:21117"}})

    def test_10_rustdesk_tarn_says_why_when_the_download_fails(self):
        self.ensure_reminder()
        self.server.withdraw("RustDesk.exe")
        self.addCleanup(self.server.serve, "RustDesk.exe", self.server.client)
        h.remove("c:\\temp\\rustdesk\\RustDesk.exe")
        h.write_file(RUSTDESK_TOML, b"remote_id = 'stale'\r\n")
        fetched = self.gets("/downloads/RustDesk.exe")
        marks = set(h.marks())
        r = self.prime_reminder()
        self.app.click("RustDesk (tarn)")
        box = self.app.message_box()
        self.assertIsNotNone(box, "a failed download is not reported")
        self.assertEqual(box["text"], not_on_server("RustDesk (tarn)", "RustDesk.exe"))
        self.assertEqual(self.gets("/downloads/RustDesk.exe"), fetched + 1)
        self.app.answer(box, h.IDOK)
        self.assertTrue(self.app.idle())
        time.sleep(2)  # longer than the pause that must not come
        self.assertEqual(set(h.marks()), marks, "something was started")
        self.assertFalse(self.app.info(r["hwnd"])["topmost"], "the reminder was handed over")
        self.assertEqual(self.app.top_windows(h.BOX_TITLE), [], "a second message was shown")
        self.assertFalse(h.exists("c:\\temp\\rustdesk\\RustDesk.exe"))
        self.assertIn(f"{h.RUSTDESK_HOST}:21117".encode(), h.read_file(RUSTDESK_TOML))

    def test_11_contact_button_and_bottom_label_open_the_web_site(self):
        site = f"explorer.exe http://{h.WEB_HOST}/"
        before = self.app.started().count(site)
        opened = "C:\\windows\\temp\\opened-url.txt"
        h.remove(opened)
        self.app.click("聯絡小森")
        self.assertTrue(h.wait_until(lambda: h.exists(opened) and h.read_file(opened).strip(), 20),
                        "the web address was not opened")
        self.assertEqual(h.read_file(opened).strip(), f"http://{h.WEB_HOST}/".encode())
        self.app.click(BOTTOM_LABEL)
        self.assertTrue(h.wait_until(lambda: self.app.started().count(site) == before + 2, 20),
                        f"expected two starts of {site!r}, saw {self.app.started()}")

    def test_12_trustviewer_and_anyviewer_do_nothing(self):
        self.ensure_reminder()
        r = self.prime_reminder()
        started = len(self.app.started())
        windows = sorted(w["hwnd"] for w in self.app.top_windows())
        for caption in ("TrustViewer", "AnyViewer"):
            self.app.click(caption)
        self.assertTrue(self.app.idle())
        time.sleep(1.5)
        self.assertEqual(self.app.started()[started:], [])
        self.assertEqual(sorted(w["hwnd"] for w in self.app.top_windows()), windows)
        self.assertFalse(self.app.info(r["hwnd"])["topmost"])

    def test_13_program_files_lie_where_the_launches_put_them(self):
        for caption, path in (("AnyDesk", "c:\\temp\\AnyDesk.exe"), ("Aweray", "c:\\temp\\Aweray.exe")):
            h.remove(path)
            known = self.clients_named(path)
            self.app.click(caption)
            self.wait_client(path, known)
        # AnyDesk and Aweray live directly in the work folder; the folders of
        # those names that start-up makes stay empty.
        for folder in ("c:\\temp\\AnyDesk", "c:\\temp\\Aweray"):
            self.assertEqual(os.listdir(h.unix_path(folder)), [], folder)
        for path in ("c:\\temp\\AnyDesk.exe", "c:\\temp\\Aweray.exe"):
            self.assertTrue(h.exists(path), path)

    def test_14_the_reminder_shows_anydesk_s_id_and_copies_it(self):
        id_mark = "C:\\e2e-anydesk-id.txt"
        h.remove(id_mark)
        self.addCleanup(h.remove, id_mark)
        # The reminder as it opens, without an ID, below the main window
        # dragged up to where the reminder with the ID row fits below it.
        self.close_reminder()
        self.move_main(120)
        self.have("c:\\temp\\AnyDesk.exe")
        r = self.ensure_reminder()
        self.driver.must("hookalerts", self.app.pid)
        dpi = self.app.info(r["hwnd"])["dpi"]
        design_height = round(1665 * dpi / 1440)
        self.assertEqual(height(self.app.info(r["hwnd"])["client"]), design_height)
        for caption, digits, grouped in (("AnyDesk", "123456789", "123 456 789"),
                                         ("AnyDesk (GSN)", "1234567890", "1 234 567 890")):
            with self.subTest(caption=caption):
                h.write_file(id_mark, digits.encode("ascii"))
                message = h.ANYDESK_REMINDER if caption == "AnyDesk" else h.SHORT_REMINDER
                known = self.clients_named("c:\\temp\\anydesk.exe")
                if caption == "AnyDesk (GSN)":
                    # The main window where the reminder fits below it only
                    # without the row: with it, the reminder goes above.
                    m, info = self.app.info(self.app.main)["window"]["rect"], self.app.info(r["hwnd"])
                    row = height(info["client"]) - design_height
                    top = info["work"][3] - height(info["window"]["rect"]) + row // 2 - height(m)
                    self.move_main(top)
                self.app.click(caption)
                if caption == "AnyDesk (GSN)":
                    box = self.app.message_box()
                    # The launch has begun: the earlier client's ID is gone.
                    self.assertEqual(self.app.reminder_texts(r["hwnd"]), [h.ANYDESK_REMINDER, CONTACT_LINE])
                    self.app.answer(box, h.IDNO)
                self.wait_client("c:\\temp\\anydesk.exe", known)
                shown = h.wait_until(lambda: grouped in self.app.reminder_texts(r["hwnd"]), 30, 0.2)
                self.assertTrue(shown, f"no {grouped!r} on the reminder")
                self.assertEqual(self.app.reminder_texts(r["hwnd"]), [message, CONTACT_LINE, grouped, "複製 ID"])
                # Screen readers are told of the message and of the ID.
                alerts = []
                h.wait_until(lambda: alerts.extend(self.driver.must("alerts")["alerts"]) or grouped in alerts, 5)
                self.assertEqual(alerts[-2:], [message, grouped])
                info = self.app.info(r["hwnd"])
                self.assertGreater(height(info["client"]), design_height)
                below = self.app.info(self.app.main)["window"]["rect"][3] + height(info["window"]["rect"]) <= \
                    info["work"][3]
                self.assert_placed(r["hwnd"], below)
                self.assertEqual(below, caption == "AnyDesk")
                if caption == "AnyDesk":
                    self.screenshot(r, "reminder-id.png")
                self.driver.must("click", r["hwnd"], "複製 ID")
                self.assertTrue(h.wait_until(lambda: "已複製" in self.app.reminder_texts(r["hwnd"]), 10))
                self.assertEqual(self.driver.must("clipboard")["text"], digits)
        # A client whose ID cannot be read: the row goes, and the reminder is
        # as it always was.
        h.remove(id_mark)
        self.prime_reminder()
        self.app.click("Aweray")
        self.assertIsNotNone(self.app.wait_reminder(h.SHORT_REMINDER))
        self.assertEqual(self.app.reminder_texts(r["hwnd"]), [h.SHORT_REMINDER, CONTACT_LINE])
        self.assertEqual(height(self.app.info(r["hwnd"])["client"]), design_height)


if __name__ == "__main__":
    h.main()
