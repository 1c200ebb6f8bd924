"""The package a support desk puts on its web host, as tests/build made and
unpacked it, with this suite's loopback host and, as its clients, the fake
client signed by the test publishers, its pins and publishers read from
those files. Its tarn-kit.exe, served the package's own downloads/ folder,
fetches a client on a click, takes it for the file it was built with, and
starts its checked copy.
"""
import glob
import os
import re
import unittest

import e2e_harness as h

CHECKED_COPY = re.compile(r"\\tarn-kit\\clients\\anydesk(-\d+)?\\anydesk\.exe$", re.IGNORECASE)


class PackagedExe(unittest.TestCase):
    def test_a_click_fetches_checks_and_starts_the_packaged_client(self):
        folders = glob.glob(os.path.join(h.setting("TARNKIT_E2E_PACKAGE"), "tarn-kit-*"))
        self.assertEqual(len(folders), 1, f"not one unpacked package: {folders}")
        downloads = os.path.join(folders[0], "downloads")
        session = h.Session.open(exe=os.path.join(folders[0], "tarn-kit.exe"), files=downloads)
        app = session.start_program_on_fresh_machine()
        self.addCleanup(session.close)
        self.addCleanup(app.stop)
        app.click("AnyDesk")
        started = h.wait_until(lambda: [p for p, _ in h.marks().values() if CHECKED_COPY.search(p)], 60, 0.2)
        self.assertTrue(started, f"no checked copy of AnyDesk.exe started; what ran: {h.marks()}")
        with open(os.path.join(downloads, "AnyDesk.exe"), "rb") as f:
            self.assertEqual(h.read_file("c:\\temp\\AnyDesk.exe"), f.read())
        self.assertEqual(session.server.requests().count("GET /downloads/AnyDesk.exe"), 1)


if __name__ == "__main__":
    h.main()
