#!/usr/bin/env python3
"""Tests of how the benchmark command reads its measurements and judges them.
Run: python3 bench/test_bench.py (scripts/bench.sh runs them
before measuring)."""
import os
import sys
import unittest
import zlib

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import paced_server  # noqa: E402
import run_bench as bench  # noqa: E402

OBJDUMP_P = """
The Import Tables (interpreted .idata section contents)
 vma:            Hint    Time      Forward  DLL       First
                 Table   Stamp     Chain    Name      Thunk
 00068000       0006803c 00000000 00000000 000694b4 000681c0

\tDLL Name: GDI32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\t681c0      16  CreateFontIndirectW

\tDLL Name: KERNEL32.dll
\tvma:  Hint/Ord Member-Name Bound-To
\tDLL Name: WININET.DLL
"""

OBJDUMP_H = """
Sections:
Idx Name          Size      VMA       LMA       File off  Algn
  0 .text         0004b448  00401000  00401000  00000600  2**2
                  CONTENTS, ALLOC, LOAD, READONLY, CODE, DATA
  8 .rsrc         0002b230  0046c000  0046c000  00066000  2**2
                  CONTENTS, ALLOC, LOAD, DATA
 10 .debug_aranges 00000578  0049b000  0049b000  00093c00  2**0
                  CONTENTS, READONLY, DEBUGGING
"""


class JudgeTest(unittest.TestCase):
    def test_targets_and_their_direction(self):
        # (figure, value, reference, met): the limits themselves are on the
        # side the targets' words put them ("within" and "at least" include
        # the limit, "under" does not).
        cases = [
            ("startup", 110.0, 100.0, True),
            ("startup", 110.1, 100.0, False),
            ("startup", 50.0, 100.0, True),
            ("memory", 120.0, 100.0, True),
            ("memory", 121.0, 100.0, False),
            ("download", 90.0, 100.0, True),
            ("download", 89.9, 100.0, False),
            ("download", 150.0, 100.0, True),
            ("size", 256 * 1024 - 1, 1, True),
            ("size", 256 * 1024, 1, False),
            ("launch", 30.0, 28.0, True),
            ("launch", 31.0, 28.0, False),  # 1.107× the process starts alone
            ("launch", 219.9, 200.0, True),
            ("launch", 220.0, 200.0, False),  # within 1.1×, but 20 ms beyond
            ("paced", 105.0, 100.0, True),
            ("paced", 105.1, 100.0, False),
            ("paced_curl", 102.0, 100.0, True),
            ("paced_curl", 102.1, 100.0, False),
        ]
        for figure, value, reference, met in cases:
            with self.subTest(figure=figure, value=value):
                self.assertEqual(bench.judge(figure, value, reference)[1], met)

    def test_target_texts(self):
        self.assertEqual(bench.target_text("startup"), "within 1.1×")
        self.assertEqual(bench.target_text("size"), "under 256 KiB")
        self.assertEqual(bench.target_text("download"), "at least 0.9×")
        self.assertEqual(bench.target_text("launch"), "within 1.1× and under 20 ms beyond")


class ParseTest(unittest.TestCase):
    def test_fields_keep_module_names_whole(self):
        fields = bench.parse_fields("program=2 run=0 found=1 startup_ms=12.50 peak_kib=900 modules=3 "
                                    "names=tarn-kit.exe,ntdll.dll,KERNEL32.dll\n")
        self.assertEqual(fields["program"], "2")
        self.assertEqual(fields["startup_ms"], "12.50")
        self.assertEqual(fields["names"], "tarn-kit.exe,ntdll.dll,KERNEL32.dll")

    def test_probe_lines_skip_noise_and_incomplete_lines(self):
        output = ("Error: Could not find process \"anydesk.exe\".\n"
                  "result=0x00000000 download_ms=250.00 bytes=67108864\n"
                  "result=0x800c0008 bytes=0\n"
                  "File already exists.\n")
        rows = bench.probe_lines(output, ("result", "download_ms", "bytes"))
        self.assertEqual(rows, [{"result": "0x00000000", "download_ms": "250.00", "bytes": "67108864"}])

    def test_objdump_imports_and_sections(self):
        self.assertEqual(bench.imported_dlls(OBJDUMP_P), ["GDI32.dll", "KERNEL32.dll", "WININET.DLL"])
        self.assertEqual(bench.section_sizes(OBJDUMP_H),
                         {".text": 0x4b448, ".rsrc": 0x2b230, ".debug_aranges": 0x578})

    def test_link_map_counts_code_and_data_by_library(self):
        # Short and wrapped input lines, an output section's own line, a
        # discarded section and an empty one, and sections that are not code
        # or data.
        link_map = """Discarded input sections

 .text          0x00000000       0x40 ../libtarn_logic.a(Dropped.cpp.obj)

Linker script and memory map

.text           0x00401000    0x25460
 .text          0x00401000      0x100 /usr/lib/gcc/crt2u.o
 .text._ZN4tarn6LaunchEv
                0x00401100      0x200 ../libtarn_logic.a(LaunchTool.cpp.obj)
 .text          0x00401300      0x300 ../libtarn_win32.a(Win32Platform.cpp.obj)
 .text          0x00401600        0x0 /usr/lib/gcc/libgcc.a(_chkstk.o)
 .rdata$zzz     0x00402000       0x10 CMakeFiles/tarn-kit.dir/objects.a(WinMain.cpp.obj)
 .eh_frame      0x00403000       0x80 /usr/lib/gcc/libstdc++.a(eh_alloc.o)
 .eh_frame      0x00403080       0x20 /usr/lib/gcc/libstdc++.a(new_op.o)
 .rsrc          0x00404000     0x9000 resources.rc.res
 .debug_info    0x00000000      0x500 ../libtarn_logic.a(LaunchTool.cpp.obj)
"""
        parts = bench.map_contributions(link_map)
        self.assertEqual(parts, {"crt2u.o": 0x100, "libtarn_logic.a": 0x200, "libtarn_win32.a": 0x300,
                                 "objects.a": 0x10, "libstdc++.a": 0xa0})
        self.assertEqual(sorted(name for name in parts if bench.is_own(name)),
                         ["libtarn_logic.a", "libtarn_win32.a", "objects.a"])

    def test_icon_images_by_format_and_as_png(self):
        # A 2x2 32-bit bitmap, rows bottom-up in BGRA, then its mask.
        bottom = bytes([1, 2, 3, 4, 5, 6, 7, 8])
        top = bytes([9, 10, 11, 12, 13, 14, 15, 16])
        dib = ((40).to_bytes(4, "little") + (2).to_bytes(4, "little") + (4).to_bytes(4, "little")
               + (1).to_bytes(2, "little") + (32).to_bytes(2, "little") + b"\0" * 24 + bottom + top + b"\0" * 8)
        png = bench.png_of_dib(dib)
        self.assertEqual(png[:8], b"\x89PNG\r\n\x1a\n")
        idat = png.index(b"IDAT")
        length = int.from_bytes(png[idat - 4:idat], "big")
        # Top row first, each pixel RGBA, each row behind filter byte 0.
        self.assertEqual(zlib.decompress(png[idat + 4:idat + 4 + length]),
                         b"\0" + bytes([11, 10, 9, 12, 15, 14, 13, 16]) + b"\0" + bytes([3, 2, 1, 4, 7, 6, 5, 8]))
        eight_bit = dib[:14] + (8).to_bytes(2, "little") + dib[16:]
        self.assertIsNone(bench.png_of_dib(eight_bit))

        header = (0).to_bytes(2, "little") + (1).to_bytes(2, "little") + (3).to_bytes(2, "little")

        def entry(width, size, offset):
            return (bytes([width % 256, width % 256, 0, 0]) + (1).to_bytes(2, "little")
                    + (32).to_bytes(2, "little") + size.to_bytes(4, "little") + offset.to_bytes(4, "little"))
        start = 6 + 3 * 16
        ico = (header + entry(256, len(png), start) + entry(2, len(dib), start + len(png))
               + entry(2, len(eight_bit), start + len(png) + len(dib)) + png + dib + eight_bit)
        self.assertEqual(bench.icon_images(ico), [(256, "PNG", len(png), len(png)), (2, "DIB", len(dib), len(png)),
                                                  (2, "DIB", len(eight_bit), None)])

    def test_system_dlls_ignore_letter_case(self):
        system, other = bench.split_system_dlls(["WININET.DLL", "KERNEL32.dll", "libstdc++-6.dll"],
                                                ["wininet.dll", "kernel32.dll", "user32.dll"])
        self.assertEqual(system, ["WININET.DLL", "KERNEL32.dll"])
        self.assertEqual(other, ["libstdc++-6.dll"])


def sample_results():
    programs = {
        "empty": {"startup_ms": [100.0, 90.0, 110.0], "peak_kib": [19000] * 3, "modules": ["a.dll"]},
        "empty_dlls": {"startup_ms": [150.0] * 3, "peak_kib": [20000] * 3, "modules": ["a.dll", "w.dll"]},
        "empty_startup": {"startup_ms": [84.0] * 3, "peak_kib": [24000] * 3, "modules": ["a.dll", "w.dll"]},
        "main": {"startup_ms": [105.0, 300.0, 104.0], "peak_kib": [30000] * 3,
                 "modules": ["a.dll", "w.dll", "tarn-kit.exe"]},
    }
    return {
        "startup": programs,
        "size": {"bytes": 200 * 1024, "empty_bytes": 15 * 1024, "own_bytes": 60 * 1024, "runtime_bytes": 40 * 1024,
                 "runtime_parts": [("libstdc++.a", 30 * 1024), ("crt2u.o", 10 * 1024)],
                 "icon_images": [(256, "PNG", 9 * 1024, 9 * 1024), (128, "DIB", 66 * 1024, 20 * 1024),
                                 (16, "DIB", 1024, 512)],
                 "dlls": ["KERNEL32.dll"], "other_dlls": [], "system_dlls": ["KERNEL32.dll"],
                 "debug_bytes": 0, "rsrc_bytes": 1024, "code_bytes": 100 * 1024},
        "download": {"probe_ms": [500.0, 400.0, 900.0], "curl_ms": [400.0, 420.0, 380.0]},
        # 1.25 MB at 10 Mbit/s: a body of 1000 ms.
        "paced": {"size": 1_250_000, "rate_bits": 10_000_000, "delay_ms": 50, "pause_ms": 2000,
                  "started_ms": [3150.0, 3120.0, 3300.0], "download_at_ms": [30.0, 20.0, 40.0],
                  "download_ms": [1070.0, 1060.0, 1200.0], "alone_ms": [1060.0, 1055.0, 1150.0],
                  "curl_ms": [1050.0, 1045.0, 1070.0],
                  "served_alone_ms": [1052.0, 1051.0, 1053.0], "served_curl_ms": [1051.0, 1040.0, 1052.0],
                  "drop": [{"outcome": "failed", "ms": 600.0, "result": "0x800c0007", "requests": 1,
                            "message": "cut"}] * 3},
        "launch": {"overhead_ms": [10.0, 30.0, 12.0], "bare_ms": [9.0] * 3, "bare_work_ms": [10.0] * 3,
                   "bare_reminder_ms": [0.5] * 3, "bare_overrun_ms": [0.5] * 3, "shell_ms": [5.0] * 3, "reminder_ms": [3.0] * 3,
                   "processes": 5, "pause_ms": 2000, "running": 0},
    }


class AttributionTest(unittest.TestCase):
    def test_split_only_when_the_medians_stand_in_order(self):
        cases = [
            # (main, empty, with_dlls, expected fragment)
            (800.0, 400.0, 500.0, "400.0 ms beyond the empty window, 100.0 ms come with loading its DLLs and "
                                  "300.0 ms are tarn-kit's own"),
            (800.0, 400.0, 400.0, "0.0 ms come with loading its DLLs and 400.0 ms"),
            (800.0, 400.0, 350.0, "not split"),
            (800.0, 400.0, 900.0, "not split"),
        ]
        for main, empty, with_dlls, expected in cases:
            with self.subTest(with_dlls=with_dlls):
                self.assertIn(expected, bench.attribution(main, empty, with_dlls, "ms"))


class RowsTest(unittest.TestCase):
    def test_medians_against_their_references(self):
        rows = {row[4]: row for row in bench.build_rows(sample_results())}
        # Start-up: median 105 against 100.
        self.assertEqual(rows["within 1.1×"][1:4], ("105.0 ms", "100.0 ms (empty window)", "1.050×"))
        self.assertEqual(rows["within 1.1×"][5], "yes")
        # Memory: 30000 KiB against 19000 KiB.
        self.assertEqual(rows["within 1.2×"][5], "no")
        # Download: medians 500 ms and 400 ms for 64 MiB.
        self.assertEqual(rows["at least 0.9×"][1:4], ("128.0 MiB/s (spread 71.1–160.0)",
                                                      "160.0 MiB/s (curl, spread 152.4–168.4)", "0.800×"))
        self.assertEqual(rows["at least 0.9×"][5], "no")
        self.assertEqual(rows["under 256 KiB"][5], "yes")
        # Launch: median 12 against the same process starts alone, 9: 1.333×.
        launch = rows["within 1.1× and under 20 ms beyond"]
        self.assertEqual(launch[1:4], ("12.0 ms", "9.0 ms (the same 5 process starts alone)", "1.333×"))
        self.assertEqual(launch[5], "no")
        # Beside the program doing only the start-up tarn-kit must do: 105 against
        # 84 ms, 30000 against 24000 KiB; no target of their own.
        beside = [row for row in bench.build_rows(sample_results()) if row[4] == "—"]
        # The launch: 12 against the same starts and a bare reminder, 10.
        self.assertEqual([row[3] for row in beside], ["1.250×", "1.250×", "1.200×"])
        self.assertEqual({row[5] for row in beside}, {"—"})

    def test_paced_rows_against_floor_and_curl(self):
        paced = [row for row in bench.build_rows(sample_results()) if row[4] in ("within 1.05×", "within 1.02×")]
        # 3150 ms against 1000 ms of body, the 2000 ms pause and one 50 ms
        # round trip; 1150 ms beyond the pause against curl's 1050 ms.
        self.assertEqual([row[1:4] + (row[5],) for row in paced[:2]],
                         [("3150.0 ms", paced[0][2], "1.033×", "yes"), ("1150.0 ms", paced[1][2], "1.095×", "no")])
        self.assertTrue(paced[0][2].startswith("3050.0 ms"))
        # A drop that started no client is told, not timed against its floor
        # (two round trips).
        self.assertEqual(paced[2][2:], ("3100.0 ms (floor of a resume: the body once, the pause, 2 round trips)",
                                        "—", "within 1.05×", "no (3 failed)"))
        results = sample_results()
        results["paced"]["drop"] = [dict(results["paced"]["drop"][0], outcome="resumed", ms=3150.0)] * 3
        drop = bench.build_rows(results)[-1]
        self.assertEqual(drop[1:4] + (drop[5],), ("3150.0 ms (resumed)", drop[2], "1.016×", "yes"))
        # One failed run among resumed ones: no time is set beside the floor.
        results["paced"]["drop"][0] = dict(results["paced"]["drop"][0], outcome="failed")
        self.assertEqual(bench.build_rows(results)[-1][3:], ("—", "within 1.05×", "no (1 failed, 2 resumed)"))
        # Each run's parts, against the line's floor of 1050 ms, then the median.
        self.assertEqual(bench.paced_costs(sample_results()["paced"]),
                         {"before": 30.0, "loading": 10.0, "transfer": 10.0, "after": 50.0, "curl": 0.0,
                          "alone_server": 2.0, "alone_client": 8.0, "curl_server": 1.0, "curl_client": 5.0})

    def test_drop_outcome_from_the_servers_log(self):
        def answer(status, start, cut=0):
            return {"status": str(status), "start": str(start), "sent": "10", "cut": str(cut)}
        cases = [
            ([answer(200, 0)], True, "no cut"),
            ([answer(200, 0, cut=1)], False, "failed"),
            ([answer(200, 0, cut=1), answer(206, 500)], True, "resumed"),
            ([answer(200, 0, cut=1), answer(200, 0)], True, "started over"),
            ([answer(200, 0, cut=1), answer(206, 0)], True, "started over"),
            ([answer(200, 0, cut=1), answer(206, 500), answer(200, 0)], True, "started over"),
        ]
        for answers, started, expected in cases:
            with self.subTest(answers=answers, started=started):
                self.assertEqual(bench.drop_outcome(answers, started), expected)

    def test_size_note_leaves_room_only_beside_the_bitmaps_and_runtime(self):
        # (bitmap bytes, runtime bytes, expected): the target is 256 KiB.
        cases = [
            (150 * 1024, 40 * 1024, "leave 66 KiB for all of tarn-kit's own code"),
            (200 * 1024, 60 * 1024, "the bitmaps and the runtime alone exceed it"),
        ]
        for dib, runtime, expected in cases:
            with self.subTest(dib=dib, runtime=runtime):
                z = dict(sample_results()["size"], runtime_bytes=runtime,
                         icon_images=[(256, "PNG", 1024, 1024), (128, "DIB", dib, 30 * 1024)])
                self.assertIn(expected, bench.size_note(z))
                # 200 KiB with the bitmaps swapped for their 30 KiB as PNG.
                self.assertIn("would take 30 KiB, and the exe about " + bench.kib(200 * 1024 - dib + 30 * 1024),
                              bench.size_note(z))

    def test_a_figure_that_failed_is_reported_not_judged(self):
        results = sample_results()
        results["download"] = bench.MeasureError("curl failed")
        rows = bench.build_rows(results)
        self.assertEqual(len(rows), 11)
        download = [row for row in rows if row[4] == "at least 0.9×"][0]
        self.assertEqual(download[1], "not measured")
        self.assertEqual(download[5], "no (not measured)")
        self.assertIn("- **download** could not be measured: curl failed", bench.notes(results))

    def test_report_carries_the_machine_and_every_figure(self):
        machine = {"date": "2024-01-02 03:04 UTC", "cores": 2, "cpu": "CPU", "memory": "1 GiB memory",
                   "load": "0.10 0.20 0.30", "wine": "wine-8.0"}
        text = bench.render(sample_results(), machine)
        self.assertTrue(text.startswith("# Benchmarks\n"))
        for expected in ("2024-01-02 03:04 UTC", "2 cores", "wine-8.0", "| Figure | Value | Reference | Ratio"):
            self.assertIn(expected, text)
        table = [line for line in text.splitlines() if line.startswith("| ") and "---" not in line]
        self.assertEqual(len(table), 12)  # the header, five figures, three beside the same work, three paced


class PacedServerTest(unittest.TestCase):
    def test_answer_to_ranges_and_versions(self):
        etag, date = '"abc"', "Wed, 09 Dec 2026 10:00:00 GMT"
        cases = [
            # (Range, If-Range, (status, start)) for a file of 1000 bytes
            (None, None, (200, 0)),
            ("bytes=500-", None, (206, 500)),
            ("bytes=0-", None, (206, 0)),
            ("bytes=999-", None, (206, 999)),
            ("bytes=1000-", None, (416, 0)),
            ("bytes=500-", etag, (206, 500)),
            ("bytes=500-", date, (206, 500)),
            ("bytes=500-", '"other"', (200, 0)),
            ("bytes=500-", "W/" + etag, (200, 0)),
            # Forms not served: the whole file.
            ("bytes=0-99", None, (200, 0)),
            ("bytes=-100", None, (200, 0)),
            ("items=5-", None, (200, 0)),
        ]
        for header, if_range, expected in cases:
            with self.subTest(range=header, if_range=if_range):
                self.assertEqual(paced_server.answer(header, if_range, 1000, etag, date), expected)

    def test_plan_stops_at_the_cut(self):
        self.assertEqual(paced_server.send_plan(0, 1000, None, 400), [(0, 400), (400, 800), (800, 1000)])
        self.assertEqual(paced_server.send_plan(0, 1000, 500, 400), [(0, 400), (400, 500)])
        # A resumed body past the cut, or a cut at its very end, sends it all.
        self.assertEqual(paced_server.send_plan(600, 1000, 500, 400), [(600, 1000)])
        self.assertEqual(paced_server.send_plan(0, 1000, 1000, 600), [(0, 600), (600, 1000)])
        self.assertEqual(paced_server.cut_offset(1000, 0.5), 500)
        self.assertIsNone(paced_server.cut_offset(1000, None))

    def test_bucket_keeps_the_average_rate_whatever_each_sleep_overruns(self):
        # A fake clock whose every sleep overruns by 3 ms: the 10th piece of
        # 100 bytes at 1000 bytes a second is still sent at 1.0 s, not later.
        now = [0.0]

        def sleep(seconds):
            now[0] += seconds + 0.003
        bucket = paced_server.Bucket(1000, clock=lambda: now[0], sleep=sleep)
        times = []
        for count in range(100, 1001, 100):
            bucket.wait(count)
            times.append(now[0])
        self.assertAlmostEqual(times[-1], 1.0 + 0.003, places=6)
        self.assertTrue(all(t >= c / 1000 for t, c in zip(times, range(100, 1001, 100))))


if __name__ == "__main__":
    unittest.main()
