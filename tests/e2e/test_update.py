# End-to-end runs of vexa_update.exe under Wine against the loopback download site.
# Usage: test_update.py [--build DIR] [--out DIR] [unittest arguments] (see harness.suite_env).

import os
import re
import shutil
import sys
import time
from pathlib import Path

import harness
from harness import COMPONENTS, STOP_TEXT, SYSTEM, URL_PATH, sha256, site, wait_until
from harness import (COMMAND1, COMMAND2, COMMAND_REFRESH, IMAGE1, LABEL1, LABEL2, LABEL3, LABEL4,
                     LABEL5, LABEL_HTTP_STATE, LABEL_HTTP_STATE2, LABEL_V, PICTURE1, PICTURE_HTTP,
                     PICTURE_Z)

BRAND = "泰禾PC电脑"
# BRAND's code page 936 bytes as numbers "<n>/", each character shifted: C:\vexaoem.dat's line.
BRAND_CODE = b"gkmknmigkqqkpirjipqigkrspsigkoknri"
MARKED_BRAND, MARKED_CODE = "测试品牌ABC", b"cgomjhecgilghecgjllkecgjoflelkellelme"  # likewise
# All a registration's cmd.exe gets from the program: the system's values, none of the user's.
SYSTEM_ENVIRONMENT = {"ComSpec", "NUMBER_OF_PROCESSORS", "PATH", "PATHEXT", "SystemDrive",
                      "PROCESSOR_ARCHITECTURE", "SystemRoot", "TEMP", "TMP", "windir"}


class UpdateRun(harness.WineTest):
    # REFRESH with the package's brand file BRAND.
    def refresh(self, installed=(), rules=None, brand=BRAND):
        return super().refresh(installed, rules, brand)

    # Each registration ran the system's cmd.exe in the system folder, with the exact command
    # line, a hidden window and the system's environment, and the system's regsvr32.
    def assert_registered_properly(self, names):
        paths = sorted(SYSTEM + n for n in names)
        self.assertEqual(env.registered(len(paths)), paths)
        cmds = env.events("cmd")
        self.assertEqual(sorted(c[2] for c in cmds),
                         sorted('cmd.exe /d /c regsvr32/s "%s"' % p for p in paths))
        for _, module, line, flags, show, cwd in cmds:
            self.assertEqual(module.lower(), SYSTEM.lower() + "cmd.exe", line)
            self.assertTrue(int(flags) & 1, "STARTF_USESHOWWINDOW not set: " + line)
            self.assertEqual(show, "0", "window not hidden (SW_HIDE): " + line)
            self.assertEqual(cwd.lower() + "\\", SYSTEM.lower(), line)
        # Wine adds its own WINE* variables to any environment a program is given.
        for _, names, path in env.events("cmdenv"):
            self.assertEqual({n for n in names.split(",") if not n.startswith("WINE")},
                             SYSTEM_ENVIRONMENT)
            self.assertEqual(path, "C:\\windows\\system32;C:\\windows;C:\\windows\\system32\\Wbem")
        self.assertEqual(len(env.events("cmdenv")), len(paths))

    def wait_window(self):
        self.assertEqual(env.robot("find", 20), [["find", "1"]], "the window did not show")

    # The transfer of the last of the requests `fetched` fails: the error shows and the run
    # stands still, no more fetched, no installer, until closed.
    def assert_stalls_at(self, program, fetched, registered, timeout=30):
        w = self.assert_stalls(program, timeout)
        self.assertEqual(w[LABEL3].text, "状态: 检查 %s ..." % fetched[-1])
        [(_, hit)] = env.robot("at", 40, 154)  # where the status line is: the panel covers it
        self.assertIn(int(hit), (PICTURE_HTTP, PICTURE1, LABEL_HTTP_STATE2, LABEL_HTTP_STATE))
        self.assertFalse((env.sys / fetched[-1]).exists())
        self.assert_registered_properly(registered)
        self.assertEqual(env.fetched(), [URL_PATH[n] for n in fetched])
        self.close(program)
        return w

    def test_without_brand_file_asks_to_unpack_first(self):
        env.package(brand=None)
        program = env.start_program()
        box = self.error_box(20, "no-brand-file", "state")
        self.assertEqual(box[0][3], "请先解压，而后再安装！")
        form = box[1]
        self.assertTrue(form == ["form", "0"] or form[2] == "0", "window shown: %s" % form)
        self.assertEqual(env.robot("ok"), [])
        self.wait_exit(program, 10)
        self.assertEqual(env.fetched(), [])

    def test_refresh_installs_everything_and_starts_the_installer(self):
        env.package(BRAND, ["comcat.dll", "stdole2.tlb"])
        # C:\vexaoem.dat made a second name of a user's file: replaced, never written through.
        theirs = env.c / "theirs.txt"
        theirs.write_bytes(b"an older and longer line\r\n")
        os.link(theirs, env.c / "vexaoem.dat")
        (env.c / "vexaverification.dat").write_bytes(b"mark")
        (env.c / "vexa_setup_zs.exe").write_bytes(
            os.urandom(3 * env.probe("probe.exe").stat().st_size))
        # Never to be used: a library it loads, a cmd.exe and a regsvr32 beside the program.
        shutil.copy(env.probe("component.dll"), env.app / "wininet.dll")
        shutil.copy(env.probe("probe.exe"), env.app / "cmd.exe")
        (env.app / "regsvr32.bat").write_bytes(b"@echo planted\r\n")
        products = [env.start("C:\\e2e\\probe.exe", "window", t) for t in ("vexa", "VEXA")]
        wait_until(lambda: len(env.events("window")) == 2, 20)
        user_temp = env.user_temp()
        # A variable and a PATH entry (Wine takes it from WINEPATH) the user's side could set.
        program = env.start_program("REFRESH", overrides="wininet=n,b",
                                    planted={"VEXA_PLANTED": "1", "WINEPATH": "C:\\planted"})
        missing = [n for n in COMPONENTS if n not in ("comcat.dll", "stdole2.tlb")]
        self.assert_installed(program, fetched=missing)
        self.assertEqual(env.user_temp(), user_temp, "written into the user's temporary folder")

        self.assertEqual((env.c / "vexaoem.dat").read_bytes(), BRAND_CODE + b"\r\n")
        self.assertEqual(theirs.read_bytes(), b"an older and longer line\r\n")
        self.assertFalse((env.c / "vexaverification.dat").exists())
        for p in products:
            self.assertTrue(wait_until(lambda: p.poll() is not None, 5),
                            "a window titled vexa was left running")
        self.assertEqual(env.fetched(), [URL_PATH[n] for n in missing] + [site.SETUP_PATH])
        self.assert_registered_properly(COMPONENTS)
        self.assertEqual([e for e in env.events("load") if e[1].lower().startswith("c:\\app")], [])
        # The installer: the program, quoted as its command line, its own folder the working one.
        [(_, exe, line, cwd, temp, tmp, planted)] = env.events("setup")
        self.assertEqual((exe, line, cwd),
                         ("C:\\vexa_setup_zs.exe", '"C:\\vexa_setup_zs.exe"', "C:\\"))
        # Its TEMP and TMP: its own folder in the run's under %SystemRoot%\Temp, not the user's,
        # kept with what it left there after the program ended; the rest of its environment is
        # the program's, the user's variable too.
        run = re.fullmatch(r"C:\\windows\\temp\\(vexa-[0-9a-f]{32})\\installer", temp, re.I)
        self.assertTrue(run, temp)
        self.assertEqual((tmp, planted), (temp, "1"))
        self.assertTrue((env.c / "windows" / "temp" / run[1] / "installer" / "setup.tmp").exists())
        # The support log: every registration started, the installer opened, the end.
        log = env.program_log()
        for name in COMPONENTS:
            self.assertIn('): cmd.exe /d /c regsvr32/s "%s%s"' % (SYSTEM, name), log)
        self.assertRegex(log, r"opened C:\\vexa_setup_zs\.exe: started as a program "
                              r"\(process \d+\)")
        self.assertTrue(log.rstrip().endswith("ended normally"), log[-300:])

    def test_start_button_and_a_stalled_transfer(self):
        installed = ["comcat.dll", "MCI32.OCX", "stdole2.tlb", "shdocvw.dll", "msxml3.dll",
                     "COMDLG32.OCX"]
        env.package(BRAND, installed)
        env.configure({"shdocvw.oca": {"mode": "chunked"},
                       "MSINET.OCX": {"mode": "drop", "drop_after": 1 << 20, "pad": 8 << 20}})
        program = env.start_program("refresh")  # only "REFRESH" starts the run by itself
        self.wait_window()
        w = env.window()
        env.shot("idle")
        form = w["form"]
        self.assertEqual(form[-1], "Tollumo")
        self.assertEqual(form[3:5], ["413", "212"], "client area")
        self.assertLessEqual(abs(int(form[5]) - int(form[7]) // 2), 2, "not centred")
        self.assertLessEqual(abs(int(form[6]) - int(form[8]) // 2), 2, "not centred")
        self.assertTrue(w[COMMAND_REFRESH].enabled)
        self.assertEqual(w[COMMAND_REFRESH].text, "开始安装")
        self.assertEqual(w[LABEL5].text, "官方网站: http://127.0.0.1:47080")
        self.assertEqual(w[LABEL4].text, "本安装程序每次安装均为最新版本，不用重新下载！")
        self.assertEqual(w[LABEL3].text, "")
        # Every control as laid out: its kind of window, whether it shows, where it lies in its
        # container (pixels at 96 DPI: 15 twips each) and, unless sized to its text, its width.
        button, picture, label, image = "Button", "VexaPictureBox", "VexaLabel", "VexaImage"
        laid_out = {
            COMMAND2: (button, False, 370, 102, 43), PICTURE_HTTP: (picture, False, 10, 140, 391),
            PICTURE1: (picture, True, 12, 42, 5), LABEL_HTTP_STATE2: (label, True, 356, 14, 37),
            LABEL_HTTP_STATE: (label, True, 20, 12, 361), PICTURE_Z: (picture, True, -8, 0, 497),
            COMMAND1: (button, False, 280, 0, 85), COMMAND_REFRESH: (button, True, 24, 24, 197),
            LABEL5: (label, True, 220, 72, None), LABEL_V: (label, False, 176, 56, 233),
            IMAGE1: (image, True, 322, 12, 111), LABEL4: (label, True, 16, 96, None),
            LABEL2: (label, True, 16, 120, 297), LABEL1: (label, True, 16, 114, None),
            LABEL3: (label, True, 27, 148, None)}
        self.assertEqual(sorted(c for c in w if c != "form"), sorted(laid_out))
        for control, (cls, visible, left, top, width) in laid_out.items():
            seen = w[control]
            self.assertEqual((seen.cls.lower(), seen.visible, seen.left, seen.top),
                             (cls.lower(), visible, left, top), control)
            if width is not None:
                self.assertEqual(seen.width, width, control)
        # Stacking: Label2 lies above Label1 where they overlap; the status line is uncovered.
        self.assertEqual(env.robot("at", 100, 123, "at", 29, 153),
                         [["at", str(LABEL2)], ["at", str(LABEL3)]])
        # A double-click on the link shows its address once: under Wine no desktop shell opens it
        # as the user and the program runs elevated, so no browser. Pointing starts nothing.
        site_box = ["box", "1", "Tollumo", "请在浏览器中打开官方网站：\\nhttp://127.0.0.1:47080"]
        box = env.robot("dblclick", LABEL2, "box", 10, "ok", "move", LABEL2, "moveto", 5, 115)
        self.assertEqual(box[0][:4], site_box, box)
        time.sleep(1)  # the box that was closed is gone, and no second one came
        self.assertEqual(env.robot("box", 0), [["box", "0"]], "a second box")
        # The keyboard reaches the link: Tab from the start button, then Enter, as a click.
        env.robot("key", 9)  # VK_TAB
        env.shot("link-focused")
        box = env.robot("key", 13, "box", 10, "ok")
        self.assertEqual(box[0][:4], site_box, box)
        self.assertEqual(env.events("open"), [])
        self.assertEqual(env.fetched(), [])
        self.assertEqual(env.events("cmd"), [])

        env.robot("click", COMMAND_REFRESH)
        # Every attempt at MSINET.OCX is cut: 4 requests 2 + 4 + 8 s apart, then the stall; each
        # wait counts down, showing what is in hand (a reset may lose unread bytes: maybe < 1 %).
        waiting = wait_until(lambda: re.fullmatch(r"网络连接中断，\d 秒后重试（第 1 次，共 3 次）\.\.\.",
                                                  env.text(LABEL_HTTP_STATE)), 20)
        env.shot("waiting-to-retry")
        self.assertTrue(waiting, "no wait shown: %s" % env.window())
        self.assertRegex(env.text(LABEL_HTTP_STATE2), r"^\d{1,2}%$")
        w = self.assert_stalls_at(program, ["shdocvw.oca"] + ["MSINET.OCX"] * 4, COMPONENTS[:6], 60)
        # Cut while the headers may still be read ahead: no response, or the body stops.
        self.assertRegex(env.program_log(), r"/Soft/System/MSINET\.txt: failed: (no response: "
                                            r"error \d+|receiving stopped after \d+ bytes: "
                                            r"error \d+|body cut short)")
        self.assertEqual(sha256(env.sys / "shdocvw.oca"), sha256(env.probe("component.dll")))
        # What the last attempt had received, never the saved component's "100%".
        self.assertRegex(w[LABEL_HTTP_STATE2].text, r"^\d{1,2}%$")

    # No content, an unasked-for part: never saved or asked again, no percentage. (An error
    # page's 404, logged, at one site of two: test_sites.py; that it is not asked again either:
    # the unit tests.)
    def test_no_content_and_an_unasked_part_stall_the_run(self):
        for status in (204, 206):
            with self.subTest(status):
                env.reset()
                program = self.refresh(["comcat.dll"], {"MCI32.OCX": {"status": status}})
                w = self.assert_stalls_at(program, ["MCI32.OCX"], ["comcat.dll"])
                self.assertEqual(w[LABEL_HTTP_STATE2].text, "", "a percentage without a body")
                self.assertIn("http://127.0.0.1:47080/Soft/System/MCI32.txt: failed: HTTP status %d"
                              % status, env.program_log())

    # 30 MB at 3 MB/s after a component saved at its "100%", which can't be continued (no
    # ranges): the window is closed once more than a transfer keeps in memory has come.
    def test_closing_during_a_transfer_leaves_nothing(self):
        env.package(BRAND, COMPONENTS[:-1])
        env.configure({"setup": {"pad": 30 << 20, "rate": 3_000_000}})
        before = {p for p in env.c.rglob("*") if p.is_file()}
        program = env.start_program("REFRESH")
        self.watch_installer(lambda r: (r[1] or 0) >= 30, 30)
        self.close(program)
        left = {p for p in env.c.rglob("*") if p.is_file()} - before
        left -= {env.c / "vexaoem.dat", env.c / "e2e" / "events.log", env.c / "e2e" / "robot.txt",
                 env.sys / "COMDLG32.OCX"}
        left = {p for p in left if "/AppData/Local/Microsoft/Windows/" not in str(p)}  # WinINet's
        left.discard(env.c / "windows" / "temp" / "vexa_update.log")  # the support log stays
        self.assertEqual(sorted(map(str, left)), [])
        # The run's folder goes; the partials' stays, empty: this body could not be continued.
        partials = env.c / "windows" / "temp" / "vexa-partials"
        self.assertEqual(sorted(env.c.glob("windows/temp/vexa-*")), [partials])
        self.assertEqual(list(partials.iterdir()), [])
        self.assertEqual(env.events("setup"), [])

    # Readings of the window every half second from the installer's request after the first
    # `after` until `until` holds for one: (seconds since that request, percentage or None,
    # state line, bar width); a screenshot `shots[p]` as the percentage first reaches p.
    def watch_installer(self, until, timeout, shots=(), after=0):
        setup = lambda: [r for r in env.site_requests() if r["path"] == site.SETUP_PATH]
        asked = wait_until(lambda: setup()[after:], 30)
        self.assertTrue(asked, "the installer was not asked for")
        readings, shots = [], dict(shots)
        while time.time() - asked[-1]["t"] < timeout:
            w = env.window()
            if LABEL_HTTP_STATE2 not in w:
                break
            percent = re.fullmatch(r"(\d+)%", w[LABEL_HTTP_STATE2].text)
            readings.append((time.time() - asked[-1]["t"], percent and int(percent[1]),
                             w[LABEL_HTTP_STATE].text, w[PICTURE1].width))
            for at in [a for a in shots if percent and int(percent[1]) >= a]:
                env.shot(shots.pop(at))
            if until(readings[-1]):
                return readings
            time.sleep(max(0.0, 0.5 - (time.time() - asked[-1]["t"] - readings[-1][0])))
        self.fail("not reached in %d s: %s" % (timeout, readings[-3:]))

    # On a slow line the bar and the percentage follow the bytes, and the time left shows (what a
    # screen reader hears of them: window_probe.cpp). Closed at 40 %, the bytes in hand are kept,
    # and the next run asks for the rest (206).
    def test_a_slow_download_shows_its_pace_and_goes_on_at_the_next_run(self):
        rule = {"pad": 3 << 20, "rate": 100_000, "ranges": True}
        first = self.refresh(COMPONENTS, {"setup": rule})
        readings = self.watch_installer(lambda r: (r[1] or 0) >= 40, 40,
                                        {10: "trickle-10", 20: "trickle-20"})
        # The bar grows within its width (5835 twips: 389 pixels).
        bars = [bar for *_, bar in readings]
        self.assertTrue(0 < bars[-1] <= 389 and bars == sorted(bars), bars)
        shown = [t for t, percent, *_ in readings if percent is not None]
        self.assertLess(shown[0], 2, readings[:5])
        stills = [b - a for (a, p, *_), (b, q, *_) in zip(readings, readings[1:]) if p == q]
        self.assertLess(max(stills, default=0), 2, readings)
        left = [t for t, _, state, _ in readings if "  剩余 " in state]
        self.assertTrue(left and left[0] < 6, readings)
        self.close(first, 10)
        env.configure({"setup": dict(rule, rate=400_000)})
        second = env.start_program("REFRESH")
        self.watch_installer(lambda r: (r[1] or 0) > 40, 20, after=1)
        env.shot("continued")
        self.assert_installer_opened(second)
        asked = env.site_requests()[-1]
        self.assertRegex(asked["if_range"] or "", r'^"[0-9a-f]{16}"$')
        kept = int(re.fullmatch(r"bytes=(\d+)-", asked["range"] or "")[1])
        whole = site.body_length(env.paths[site.SETUP_PATH])
        self.assertGreater(kept, 0.35 * whole)
        log = env.program_log()
        self.assertRegex(log, r"continued from %d of \d+ bytes, kept since \d{4}-" % kept)
        self.assertIn("206: resumed at %d of %d bytes" % (kept, whole), log)

    # Enter starts the run (the start button has the focus). Every attempt at the installer is
    # cut: "重试" is offered, Enter presses it, the run asks for the rest, no component again.
    def test_enter_starts_the_run_and_retry_goes_on_where_it_stopped(self):
        cut = {"mode": "drop", "drop_after": 1 << 20}
        env.package(BRAND, COMPONENTS[2:])
        env.configure({"setup": {"pad": 6 << 20, "ranges": True, "sequence": [cut] * 4}})
        program = env.start_program()
        self.wait_window()
        env.robot("key", 13)  # VK_RETURN
        stalled = wait_until(lambda: env.text(COMMAND_REFRESH) == "重试", 60)
        env.shot("retry-offered")
        self.assertTrue(stalled, "no retry offered")
        env.robot("key", 13)
        self.assert_installer_opened(program)
        self.assertEqual(env.fetched(),
                         [URL_PATH[n] for n in COMPONENTS[:2]] + [site.SETUP_PATH] * 5)
        # What the last cut attempt left in hand (a reset loses what was still on its way).
        kept = int(re.search(r"vexa_setup_zs\.txt: kept (\d+) of", env.program_log())[1])
        self.assertGreater(kept, 0)
        self.assertEqual(env.site_requests()[-1]["range"], "bytes=%d-" % kept)
        self.assertIn("retry: vexa_setup_zs.exe again", env.program_log())

    # The site sends half the installer, then nothing on a connection it keeps open: 30 s after
    # the last byte the attempt ends, and the next, 2 s later, asks for the rest. The brand file
    # was saved as "UTF-8 with BOM" (Notepad's): read as such.
    def test_a_connection_that_goes_silent_is_continued(self):
        rule = {"pad": 4 << 20, "ranges": True, "sequence": [{"stall_after": 2 << 20}]}
        env.package("\ufeff" + MARKED_BRAND, COMPONENTS, "utf-8")
        env.configure({"setup": rule})
        program = env.start_program("REFRESH")
        self.assert_installer_opened(program, timeout=90)
        self.assert_marked_brand("UTF-8")
        first, second = [r for r in env.site_requests() if r["path"] == site.SETUP_PATH]
        self.assertLess(second["t"] - first["t"], 35)
        self.assertEqual((second["range"], second["if_range"] is not None),
                         ("bytes=%d-" % (2 << 20), True))
        self.assertIn("vexa_setup_zs.txt: failed: no data for 30 s", env.program_log())

    # Started again while a run is under way, with REFRESH or without, a second copy brings the
    # first one's window to the front and ends at once, having touched nothing. The brand file
    # was saved as "Unicode" (Notepad's: UTF-16 LE with BOM): read as such.
    def test_a_second_start_hands_over_to_the_running_copy(self):
        env.package("\ufeff" + MARKED_BRAND, COMPONENTS[:5], "utf-16-le")
        env.configure({"setup": {"pad": 3 << 20, "rate": 300_000}})
        first = env.start_program("REFRESH")
        self.watch_installer(lambda r: (r[1] or 0) >= 5, 30)
        for args in (["REFRESH"], []):
            self.assertEqual(self.wait_exit(env.start_program(*args), 5), 0, args)
            [(_, cls, title, process)] = env.robot("front")
            self.assertEqual((cls, title), ("FrmUpdate", "Tollumo"))
            self.assertEqual(env.program_log().count(
                "another copy is running (process %s): brought to the front" % process),
                len(args) or 2)
        self.assert_installed(first, fetched=COMPONENTS[5:])
        self.assertEqual(env.fetched(), [URL_PATH[n] for n in COMPONENTS[5:]] + [site.SETUP_PATH])
        self.assertEqual(len(env.events("setup")), 1)
        self.assert_marked_brand("UTF-16 LE")

    # C:\vexaoem.dat records MARKED_BRAND's code; the log names the brand file's encoding.
    def assert_marked_brand(self, encoding):
        self.assertEqual((env.c / "vexaoem.dat").read_bytes(), MARKED_CODE + b"\r\n")
        self.assertIn("Vexaoem.dat (%s with byte order mark): %s" % (encoding, MARKED_BRAND),
                      env.program_log())

    # A virus scanner holds every new file in C:\ and the system folder alone for 3 s, as soon as
    # it can: each file it holds is waited for, nothing is fetched twice, and the installer
    # starts. The stand-in wins the moment between the program's close and reopening of a file
    # only by a race (most of the time for a 16 MB installer; a small file is often placed
    # before it is ready): a run in which it held none is run again, twice at most.
    def test_files_a_virus_scanner_holds_are_waited_for(self):
        for run in range(3):
            env.reset()
            env.package(BRAND, COMPONENTS[:6])
            env.configure({"setup": {"pad": 16 << 20}})
            env.start("C:\\e2e\\probe.exe", "scan", "3000")
            self.assertTrue(wait_until(lambda: env.events("scanning"), 20), "no scanner")
            program = env.start_program("REFRESH")
            self.assert_installed(program, fetched=COMPONENTS[6:], timeout=120)
            self.assertEqual(env.fetched(),
                             [URL_PATH[n] for n in COMPONENTS[6:]] + [site.SETUP_PATH])
            scans = env.events("scan")
            if scans:
                break
        self.assertTrue(scans, "the stand-in held no file in 3 runs")
        for path in {re.sub(r"\.[0-9a-f]{32}\.vexa-tmp$", "", s[1]) for s in scans}:
            self.assertIn(path + ": held by another program; waited for", env.program_log())

    # REFRESH with every component present and the site's `rules`: the one error box, its text
    # naming what failed (close_error_box). Returns the box's text.
    def assert_error_box(self, text_start, rules=None, logged=True):
        lines = self.close_error_box(self.refresh(COMPONENTS, rules), 30,
                                     "error-" + self._testMethodName)
        text = "\n".join(lines)
        self.assertIn(text_start, text)
        # The box points at the support log, if any, which adds the system's error number.
        if logged:
            self.assertIn("详细记录：C:\\windows\\Temp\\vexa_update.log", lines)
            self.assertRegex(env.program_log(), "ended through the error box: %s.*\\(error \\d+\\)"
                             % re.escape(text_start))
        return text

    def test_an_unwritable_temporary_folder_shows_the_error_box(self):
        # 16 MB: too much for memory, so it goes to the system's temporary folder, made a file here.
        old = os.urandom(1000)
        (env.c / "vexa_setup_zs.exe").write_bytes(old)
        env.block(env.c / "windows" / "temp", Path.touch)
        # The log's folder is gone too: the run goes on without it, and the box names none.
        text = self.assert_error_box("无法创建临时文件夹 C:\\windows\\Temp\\vexa-",
                                     {"setup": {"pad": 16 << 20}}, logged=False)
        self.assertNotIn(STOP_TEXT, text)
        self.assertNotIn("详细记录", text)
        self.assertEqual((env.c / "vexa_setup_zs.exe").read_bytes(), old)

    def test_an_installer_that_cannot_replace_the_old_one_shows_the_error_box(self):
        # Windows refuses to move a file over a folder; an empty one would be removed first.
        env.block(env.c / "vexa_setup_zs.exe", lambda p: (p.mkdir(), (p / "theirs").touch()))
        self.assert_error_box("无法替换文件 C:\\vexa_setup_zs.exe：")
        self.assertEqual(list(env.c.glob("vexa_setup_zs.exe.*")), [])

    def test_a_registration_that_cannot_start_shows_the_error_box(self):
        env.block(env.sys / "cmd.exe")  # no program to start
        self.assert_error_box("无法启动程序 cmd.exe /d /c regsvr32/s ")

    def test_an_installer_the_shell_cannot_start_shows_the_error_box_and_stays(self):
        text = env.work / "not-a-program.txt"
        text.write_bytes(b"plain bytes, no program\r\n" * 100)
        self.assert_error_box("无法启动安装程序 C:\\vexa_setup_zs.exe：",
                              {"setup": {"file": str(text)}})
        self.assertEqual((env.c / "vexa_setup_zs.exe").read_bytes(), text.read_bytes())


if __name__ == "__main__":
    env = harness.suite_env("e2e")
    sys.exit(harness.run_tests(env))
