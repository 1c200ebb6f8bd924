"""Closing the real tarn-kit.exe under Wine: the prompt's three answers, what
is stopped, what is deleted and whether the program ends."""
import os
import unittest

import e2e_harness as h

ANYDESK_CONF = h.APPDATA_WIN + "\\AnyDesk\\system.conf"
PROMPT = "是 (否) 結束所有遠端程式！"
STOP_COMMANDS = [f"cmd.exe /c taskkill /f /im {name}*"
                 for name in ("rustdesk", "anydesk", "awesun", "aweray", "aeroadmin", "TrustViewer")]


class Close(unittest.TestCase):
    def setUp(self):
        self.session = h.Session.open()
        self.driver = self.session.driver
        self.app = None
        h.remove("C:\\e2e")
        os.makedirs(h.unix_path(h.APPDATA_WIN))

    def tearDown(self):
        if self.app:
            self.app.stop()
        self.session.close()

    def start(self):
        """The program, with a remote-desktop client running beside it and
        AnyDesk's configuration in place."""
        h.write_file("c:\\temp\\AnyDesk.exe", self.session.server.client)
        self.app = h.Program(self.driver, self.session.exe)
        client = self.driver.must("start", "c:\\temp\\AnyDesk.exe", "-")["pid"]
        self.assertTrue(h.wait_until(lambda: client in h.marks(), 10))
        h.write_file(ANYDESK_CONF, b"ad.anynet.proxy.addr=x\r\n")
        return client

    def ask(self):
        self.driver.must("close", self.app.main)
        box = self.app.message_box()
        self.assertIsNotNone(box, "no close prompt")
        self.assertEqual(box["text"], PROMPT)
        self.assertEqual(box["buttons"], [h.IDCANCEL, h.IDYES, h.IDNO])
        return box

    def test_cancel_keeps_everything_and_no_then_ends_without_stopping(self):
        client = self.start()
        for _ in range(2):  # the next close asks again
            self.app.answer(self.ask(), h.IDCANCEL)
            self.assertTrue(self.app.idle())
            self.assertFalse(self.app.exited(1.5), "the program ended on Cancel")
            self.assertTrue(self.app.info(self.app.main)["window"]["visible"])
            self.assertTrue(h.exists(ANYDESK_CONF), "Cancel deleted system.conf")
            self.assertEqual([c for c in self.app.started() if "taskkill" in c or " del " in c], [])
            self.assertTrue(self.app.alive(client))
        self.app.answer(self.ask(), h.IDNO)
        self.assertTrue(self.app.exited(15), "the program did not end on No")
        self.assertTrue(h.wait_until(lambda: not h.exists(ANYDESK_CONF), 15), "No did not delete system.conf")
        started = self.app.started()
        self.assertEqual([c for c in started if "taskkill" in c], [], "No stopped programs")
        # Deleted by the program itself: no command interpreter reads the path.
        self.assertEqual([c for c in started if " del " in c], [])
        self.assertTrue(self.app.alive(client), "No stopped a running client")

    def test_yes_stops_the_clients_deletes_and_ends(self):
        self.start()
        # With the reminder open, which closes with the program.
        h.write_file("c:\\temp\\Aweray.exe", self.session.server.client)
        self.app.click("Aweray")
        self.assertIsNotNone(self.app.wait_reminder(h.SHORT_REMINDER))
        self.app.answer(self.ask(), h.IDYES)
        self.assertTrue(self.app.exited(15), "the program did not end on Yes")
        self.assertTrue(h.wait_until(lambda: not h.exists(ANYDESK_CONF), 15), "Yes did not delete system.conf")
        # Wine 8's taskkill does not understand "name*" patterns ("could not
        # find process"), so under Wine these commands stop nothing that a
        # Windows machine would stop. What Wine can show is that the program
        # ran each of them, in order.
        started = [c for c in self.app.started() if "taskkill" in c or " del " in c]
        self.assertEqual(started[-6:], STOP_COMMANDS)


if __name__ == "__main__":
    h.main()
