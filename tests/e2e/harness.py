# The program under Wine, an X display and the download site for one test run: one Wine prefix
# (scripts/wine-arch.sh), in which what a test touches is reset. Its cmd.exe is our probe, so
# registration really happens under Wine and is recorded (C:\e2e\events.log). close() ends all
# a run started, its suite's servers too, after a failed set-up, at exit and on SIGTERM.

import argparse
import atexit
import collections
import hashlib
import importlib.util
import json
import os
import re
import select
import shutil
import signal
import ssl
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SITE_PY = Path(__file__).resolve().parent / "site.py"
_spec = importlib.util.spec_from_file_location("download_site", SITE_PY)  # not the stdlib's
site = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(site)

COMPONENTS = ["comcat.dll", "MCI32.OCX", "stdole2.tlb", "shdocvw.dll", "shdocvw.oca",
              "msxml3.dll", "MSINET.OCX", "COMDLG32.OCX"]
URL_PATH = dict(zip(COMPONENTS, site.COMPONENT_PATHS))
SYSTEM = "C:\\windows\\system32\\"
PROBES = ("probe.exe", "robot.exe", "component.dll")  # what the runs need beside the program
STOP_TEXT = "与主机通讯时出现了错误"  # the transfer panel's communication error
# The update window's control IDs: 100 + the control's number in its layout.
COMMAND2, PICTURE_HTTP, PICTURE1, LABEL_HTTP_STATE2, LABEL_HTTP_STATE = 101, 102, 103, 104, 105
PICTURE_Z, COMMAND1, COMMAND_REFRESH, LABEL5, LABEL_V, IMAGE1, LABEL4, LABEL2, LABEL1, LABEL3 = (
    107, 108, 109, 110, 111, 112, 113, 114, 115, 116)
Control = collections.namedtuple("Control", "visible enabled width text cls left top")

# scripts/wine-arch.sh names the preset, Debian's Wine loader and the prefix's kind. The program
# runs in a prefix of its own bitness, so its C:\windows\system32 is the prefix's system32 (a
# 32-bit program in a 64-bit prefix would see syswow64 there, as on 64-bit Windows).
Arch = collections.namedtuple("Arch", "name preset loader prefix objdump")
OBJDUMPS = {"x86": "i686-w64-mingw32-objdump", "x64": "x86_64-w64-mingw32-objdump"}


# The run could not be set up; the message is one sentence saying what and what to do.
class SetupFailed(Exception):
    pass


# A suite's Wine run, from its command line: --build DIR (default: the build of this host's Wine
# architecture, its "-signed" preset for a `signer`, "-pinned" for `pinned`), --out DIR (default
# build/<name>), --certs DIR (default build/test-certs); the rest is unittest's. The site serves
# the build's component probe (env.served), for a pinned build the unpinned build's, whose sums
# it has. A missing build exits 77 (skipped) unless E2E_REQUIRED is set; a failed set-up, or no
# such signer or sums, exits 1. A site of https://127.0.0.1:<port> (env.base) is served over TLS
# there too. python_site=False: the suite serves the build's address itself.
def suite_env(name, signer=None, pinned=False, python_site=True, mirrored=False):
    ap = argparse.ArgumentParser(add_help=False, allow_abbrev=False)
    for option in ("--build", "--out", "--certs"):
        ap.add_argument(option, type=Path)
    args, unittest_args = ap.parse_known_args()
    try:
        arch = wine_arch()
        signed = signer is not None
        preset = default_build(arch, signed, pinned, mirrored)
        build, certs = args.build or preset, args.certs or ROOT / "build" / "test-certs"
        served = probe_path(default_build(arch) if pinned else build, "component.dll")
        needed = [program_path(build), served] + [probe_path(build, n) for n in PROBES]
        needed += [certs / n for n in ("root.crt", "vendor.key", "other.key")] if signed else []
        missing = [str(p) for p in needed if not p.exists()]
        if missing:
            how = ["tests/e2e/make_test_certs.sh"] * signed + [
                "cmake --preset %s && cmake --build --preset %s" % (p, p)
                for p in [arch.preset] * pinned + [preset.name]]
            print("%s SKIPPED: not built: %s\nbuild it: %s" % (name, ", ".join(missing),
                                                              " && ".join(how)), file=sys.stderr)
            sys.exit(1 if os.environ.get("E2E_REQUIRED") else 77)
        cache = dict(re.findall(r"^(\w+):\w+=(.*)$", (build / "CMakeCache.txt").read_text(), re.M))
        if signed and cache.get("INSTALLER_SIGNER") != signer:
            raise SetupFailed("%s was not built with INSTALLER_SIGNER=%s" % (build, signer))
        sums = Path(cache.get("COMPONENT_SHA256SUMS", ""))
        if pinned and not (sums.is_file() and sha256(served) in sums.read_text()):
            raise SetupFailed("%s was not built with the sums of %s: build it again"
                              % (build, served))
        base = cache["DOWNLOAD_BASE"]
        tls = re.fullmatch(r"https://127\.0\.0\.1:(\d+)", base)
        if tls and not all((certs / n).exists() for n in ("root.crt", "site.crt", "site.key")):
            raise SetupFailed("%s serves https: make its certificates with "
                              "tests/e2e/make_test_certs.sh" % base)
        # The build's mirrors on this machine are the same site on further ports.
        mirrors = [re.fullmatch(r"(https?)://127\.0\.0\.1:(\d+)", m).groups()
                   for m in cache.get("DOWNLOAD_MIRRORS", "").split(";") if m]
        env = Wine(build, args.out, tag=name, arch=arch, https=tls and (tls[1], certs),
                   roots=certs if signed or tls else None, python_site=python_site,
                   mirrors=mirrors)
    except SetupFailed as e:
        sys.exit("%s FAILED: %s." % (name, str(e).rstrip(".")))
    print("Wine prefix %s (%s), program %s" % (env.work / "prefix", env.arch.prefix,
                                               program_path(build)), file=sys.stderr)
    env.certs, env.served, env.base, env.unittest_args = certs, served, base, unittest_args
    WineTest.env = env
    return env


def run_tests(env):
    run = unittest.main(module="__main__", argv=sys.argv[:1] + env.unittest_args, verbosity=2,
                        exit=False)
    return 0 if run.result.wasSuccessful() else 1


# Wine's own failure to start a process, as the program logs it: the new process ended before
# it started (ERROR_INTERNAL_ERROR, 1359). Seen once in CI; not in 40 runs of the case, 8 of all.
WINE_START_FAILURE = re.compile(r"ended through the error box: 无法启动程序 .*\(error 1359\)")


class WineTest(unittest.TestCase):
    # What the suites' tests share; `env`, the suite's Wine run set by suite_env, is reset first.
    env = None

    def setUp(self):
        self.env.reset()

    # A case whose program met WINE_START_FAILURE (an error box) runs once more, its failure undone.
    def run(self, result=None):
        counts = len(result.failures), len(result.errors)
        super().run(result)
        for kind, count in zip((result.failures, result.errors), counts):
            if len(kind) > count and WINE_START_FAILURE.search(self.env.program_log()):
                kind.pop()
                print("\nWine could not start a process (error 1359): %s runs again"
                      % self._testMethodName, file=sys.stderr)
                return super().run(result)

    def wait_exit(self, program, timeout):
        try:
            return program.wait(timeout)
        except subprocess.TimeoutExpired:
            self.env.shot("hung-" + self._testMethodName)
            self.fail("the program did not end within %d s; on screen: %s; its log ends: %s"
                      % (timeout, self.env.robot("box", 0),
                         self.env.program_log().splitlines()[-5:]))

    # The package (the brand file `brand`, the components `installed`), the site's `rules` merged
    # over its own, and REFRESH started: the program.
    def refresh(self, installed=(), rules=None, brand="品牌"):
        self.env.package(brand, installed)
        if rules:
            self.env.configure(rules)
        return self.env.start_program("REFRESH")

    # The update window closed, and the program ended within `timeout` s.
    def close(self, program, timeout=5):
        self.env.robot("close")
        return self.wait_exit(program, timeout)

    # The transfer error shows within `timeout` s and the run stands still: the program runs on,
    # no installer opened. The window's state.
    def assert_stalls(self, program, timeout=30):
        stalled = lambda: self.env.text(LABEL_HTTP_STATE) == STOP_TEXT and self.env.window()
        w = wait_until(stalled, timeout)
        self.env.shot("stalled-" + self._testMethodName)
        self.assertTrue(w, "no transfer error shown: %s" % self.env.window())
        time.sleep(1)
        self.assertIsNone(program.poll(), "the program ended after the error")
        self.assertEqual(self.env.events("setup"), [])
        return w

    # Exit code 0 within `timeout` s, the installer saved whole with SHA-256 `digest` (by default
    # our site's body), and opened.
    def assert_installer_opened(self, program, digest=None, timeout=60):
        digest = digest or site.body_sha256(self.env.paths[site.SETUP_PATH])
        self.assertEqual(self.wait_exit(program, timeout), 0)
        self.assertEqual(sha256(self.env.c / "vexa_setup_zs.exe"), digest)
        self.assertTrue(wait_until(lambda: self.env.events("setup"), 10), "installer not opened")

    # As assert_installer_opened; the components `fetched` as served, and every one registered.
    def assert_installed(self, program, installer=None, fetched=COMPONENTS, timeout=60):
        self.assert_installer_opened(program, installer, timeout)
        for name in fetched:
            self.assertEqual(sha256(self.env.sys / name), sha256(self.env.served), name)
        self.assertEqual(self.env.registered(len(COMPONENTS)),
                         sorted(SYSTEM + n for n in COMPONENTS))

    # The error box within `timeout` s: titled "Tollumo", the stop icon, one button; its picture
    # goes to <shot>.png. The robot's steps `then` run in the same robot run, after the box.
    def error_box(self, timeout, shot, *then):
        box = self.env.robot("box", timeout, *then)
        self.env.shot(shot)
        self.assertEqual(box[0][:3], ["box", "1", "Tollumo"], box)
        red, pixels, buttons = map(int, box[0][4:7])
        self.assertGreater(red, pixels // 5, "no stop icon in the box")
        self.assertEqual(buttons, 1)
        return box

    # The error box closed with OK: exit code 1, no installer started. Returns the box's lines,
    # whether the robot's record breaks them or escapes them.
    def close_error_box(self, program, timeout, shot):
        box = self.error_box(timeout, shot)
        self.env.robot("ok")
        self.assertEqual(self.wait_exit(program, 20), 1)
        self.assertEqual(self.env.events("setup"), [])
        return re.split(r"\t|\r?\n|\\r\\n|\\n", "\n".join("\t".join(f) for f in box))


# The architecture scripts/wine-arch.sh picks (VEXA_WINE_ARCH forces it); its reason to stderr.
def wine_arch():
    p = subprocess.run(["bash", str(ROOT / "scripts" / "wine-arch.sh")], stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, text=True)
    sys.stderr.write(p.stderr)
    if p.returncode != 0:
        raise SetupFailed(p.stderr.strip())
    name, preset, loader, prefix = p.stdout.split()
    return Arch(name, preset, loader, prefix, OBJDUMPS[name])


# `source` signed into `out` with the test certificate `name` (vendor, other) in `certs`.
def sign(source, out, certs, name):
    subprocess.run(["osslsigncode", "sign", "-h", "sha256", "-certs", certs / (name + ".crt"),
                    "-key", certs / (name + ".key"), "-in", source, "-out", out],
                   check=True, stdout=subprocess.DEVNULL)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.file_digest(f, "sha256").hexdigest()


def default_build(arch, signed=False, pinned=False, mirrored=False):
    return ROOT / "build" / (arch.preset + ("-signed" if signed else "") +
                             ("-pinned" if pinned else "") + ("-mirrored" if mirrored else ""))


# vexa_update.exe at the top of a build folder, where src/app/CMakeLists.txt puts it.
def program_path(build):
    return Path(build) / "vexa_update.exe"


def probe_path(build, name):
    return Path(build) / "tests" / "e2e" / "probes" / name


def wait_until(predicate, timeout, interval=0.2):
    end = time.time() + timeout
    while True:
        value = predicate()
        if value or time.time() > end:
            return value
        time.sleep(interval)


# An X server on a display it picks, told through -displayfd once it listens: (process, display).
def start_xvfb():
    read, write = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x768x24",
                             "-nolisten", "tcp"], stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, pass_fds=(write,))
    os.close(write)
    with os.fdopen(read) as answer:
        ready = wait_until(lambda: select.select([answer], [], [], 0)[0] or xvfb.poll() is not None,
                           10)
        number = answer.readline().strip() if ready and xvfb.poll() is None else ""
    if number.isdigit():
        return xvfb, ":" + number
    stop(xvfb)
    raise SetupFailed("Xvfb did not start a display within 10 s")


# Ends a process we started: SIGTERM (Xvfb then removes its lock), SIGKILL if it lingers.
def stop(process, timeout=10):
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


# A server of Debian's, run in the foreground (its pid is ours) for a suite: up once its pid file
# names it, its output in `out`; stop() sends SIGTERM.
class Daemon:
    process = None

    def run(self, argv, pid, out):
        with open(out, "w") as said:
            self.process = subprocess.Popen(argv, stdout=said, stderr=subprocess.STDOUT)
        up = lambda: pid.exists() and pid.read_text().strip() == str(self.process.pid)
        wait_until(lambda: up() or self.process.poll() is not None, 10, 0.05)
        if not up():
            said = out.read_text().strip().splitlines()
            raise SetupFailed("%s did not start: %s" % (Path(argv[0]).name, said[-1] if said
                                                        else "no pid file within 10 s"))

    def stop(self):
        stop(self.process)


class Wine:
    # https: None or (port, certificates' folder) for the site over TLS too; roots: None or the
    # folder whose test authority the prefix's machine trusts; python_site: whether our site
    # runs, else the suite puts its server (anything with a stop()) in `servers` for close().
    def __init__(self, build_dir=None, out_dir=None, display=None, tag="e2e", arch=None,
                 https=None, roots=None, python_site=True, mirrors=()):
        self.arch, self.https, self.roots = arch or wine_arch(), https, roots
        self.mirrors = list(mirrors)  # (scheme, port) of each mirror our site also serves
        self.python_site = python_site
        self.build = Path(build_dir or default_build(self.arch))
        self.out = Path(out_dir or ROOT / "build" / tag)
        self.site = self.xvfb = self.env = None
        self.procs, self.servers, self.blocked, self.closed = [], [], [], False
        self.work = Path(tempfile.mkdtemp(prefix="b-%s-" % tag, dir="/tmp"))
        # SIGTERM (CTest's time-out, a kill) unwinds like an error, so close() still runs.
        if signal.getsignal(signal.SIGTERM) is signal.SIG_DFL:
            signal.signal(signal.SIGTERM, lambda *_: sys.exit("ended by SIGTERM"))
        atexit.register(self.close)
        try:
            self._set_up(display)
        except BaseException:
            self.close()
            raise

    def _set_up(self, display):
        self.out.mkdir(parents=True, exist_ok=True)
        self.config, self.site_log = self.work / "site.json", self.work / "site.log"
        if self.python_site:
            self.configure({})
            self.start_site()
        self.c = self.work / "prefix" / "drive_c"
        self.sys, self.app = self.c / "windows" / "system32", self.c / "app"
        self.xvfb, self.display = start_xvfb() if display is None else (None, display)
        self.env = dict(os.environ, WINEPREFIX=str(self.work / "prefix"),
                        WINEARCH=self.arch.prefix, WINELOADER=self.arch.loader,
                        LC_ALL="zh_CN.UTF-8", WINEDEBUG="-all", DISPLAY=self.display,
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        (self.work / "prefix").mkdir()
        self.run_unix(["wineserver", "-p"], "wineserver")  # stays up between the programs
        made = self.run_unix([str(ROOT / "scripts" / "wine-prefix.sh")], "wineboot")
        if made.returncode != 0:
            log = (self.work / "wineboot.log").read_text(errors="replace").strip().splitlines()
            raise SetupFailed(log[-1])
        if display is None:  # our own display has no window manager: Wine draws the frames
            self.reg("add", "HKCU\\Software\\Wine\\X11 Driver", "/v", "Managed", "/d", "N")
        (self.c / "e2e").mkdir()
        for name in ("probe.exe", "robot.exe"):  # the site and the tests read the component's
            shutil.copy(self.probe(name), self.c / "e2e" / name)
        # Web addresses open in our probe, which records them, instead of a browser.
        self.reg("add", "HKCR\\http\\shell\\open\\command", "/ve", "/d",
                 '"C:\\e2e\\probe.exe" open "%1"')
        if self.roots:  # the prefix's machine store; the host's trust is not touched
            der = ssl.PEM_cert_to_DER_cert((self.roots / "root.crt").read_text())
            (self.c / "e2e" / "root.der").write_bytes(der)
            if self.trust("machine") != 0:
                raise SetupFailed("the test authority could not be added to the prefix's roots")
        shutil.copy(self.probe("probe.exe"), self.sys / "cmd.exe")
        # Our cmd.exe probe instead of Wine's; our component probe instead of Wine's built-ins.
        self.env["WINEDLLOVERRIDES"] = "cmd.exe=n;comcat,msxml3,shdocvw,stdole2.tlb=n,b"

    # Wine's reg.exe with `args`, forced (/f); the exit code.
    def reg(self, *args):
        return self.run_unix([self.arch.loader, "reg", *args, "/f"], "reg").returncode

    # The test authority into the "machine" or "user" roots, or "untrust": out of the machine's,
    # by reg (Wine's crypt32 keeps the registry entry when asked to delete it). The exit code.
    def trust(self, how):
        if how == "untrust":
            thumb = hashlib.sha1((self.c / "e2e" / "root.der").read_bytes()).hexdigest().upper()
            return self.reg("delete", "HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\"
                            "Certificates\\" + thumb)
        step = [self.arch.loader, "C:\\e2e\\probe.exe", "trust", "C:\\e2e\\root.der", how]
        return self.run_unix(step, "trust").returncode

    # The program's support log (in %SystemRoot%\Temp), strictly UTF-8, or "".
    def program_log(self):
        log = self.c / "windows" / "temp" / "vexa_update.log"
        return log.read_bytes().decode("utf-8") if log.exists() else ""

    # Every file and folder in the user's temporary folders, where the program writes nothing.
    def user_temp(self):
        return {p for t in ("users/*/Temp", "users/*/AppData/Local/Temp")
                for top in self.c.glob(t) for p in top.rglob("*")}

    # The site on its port and its mirrors'; `without_first`: only on the mirrors (plain ones),
    # so that nothing listens at the build's first base.
    def start_site(self, without_first=False):
        self.site_log.unlink(missing_ok=True)
        plain = [port for scheme, port in self.mirrors if scheme == "http"]
        ports = plain if without_first else ["47080"] + plain
        args = ["--port", ports[0]] + [a for port in ports[1:] for a in ("--mirror", port)]
        if self.https:
            args += ["--https", self.https[0]] + [str(self.https[1] / n) for n in
                                                  ("site.crt", "site.key")]
            args += [a for s, port in self.mirrors if s == "https" for a in ("--https-mirror", port)]
        with open(self.work / "site.out", "w") as out:
            self.site = subprocess.Popen(
                [sys.executable, str(SITE_PY), "--config", str(self.config), "--log",
                 str(self.site_log)] + args, stdout=out, stderr=subprocess.STDOUT)
        # The site's log appears once it holds the port; it says so when another holds it.
        wait_until(lambda: self.site_log.exists() or self.site.poll() is not None, 10)
        if not self.site_log.exists():
            said = (self.work / "site.out").read_text().strip().splitlines()
            raise SetupFailed("the download site did not start: " + (said[-1] if said else
                                                                      "no answer within 10 s"))

    def probe(self, name):
        return probe_path(self.build, name)

    # Ends everything the run started; safe to call twice and after a failed set-up.
    def close(self):
        if self.closed:
            return
        self.closed = True
        self.stop_all()
        if self.env:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        for server in self.servers:
            server.stop()
        for p in (self.site, self.xvfb):
            stop(p)
        if not os.environ.get("E2E_KEEP"):
            shutil.rmtree(self.work, ignore_errors=True)

    def stop_all(self):
        for p in self.procs:
            p.kill()
            p.wait()
        self.procs = []

    # Moves `path` aside for `by(path)` until reset(): by default a folder, which nothing starts.
    def block(self, path, by=Path.mkdir):
        if path.exists():
            path.rename(path.with_name(path.name + ".away"))
        by(path)
        self.blocked.append(path)

    # Puts back what tests change: package, files on C:, components, blocked paths, our site.
    def reset(self):
        self.stop_all()
        self.wait_quiet()
        for path in self.blocked:
            if path.is_dir():
                shutil.rmtree(path)
            elif path.exists():  # an empty folder the program may have removed
                path.unlink()
            away = path.with_name(path.name + ".away")
            if away.exists():
                away.rename(path)
        self.blocked = []
        shutil.rmtree(self.app, ignore_errors=True)
        for f in ["e2e/events.log", "vexaoem.dat", "vexaverification.dat", "vexa_setup_zs.exe",
                  "theirs.txt"]:
            (self.c / f).unlink(missing_ok=True)
        for name in COMPONENTS:
            (self.sys / name).unlink(missing_ok=True)
        for log in self.c.glob("windows/temp/vexa_update*.log"):
            log.unlink()
        for folder in self.c.glob("windows/temp/vexa-*"):  # partials, runs' working folders
            shutil.rmtree(folder, ignore_errors=True)
        if self.python_site:
            if self.site.poll() is not None:  # a test stopped it
                self.start_site()
            self.site_log.write_text("")
            self.configure({})

    # Until probes record nothing for `quiet` s: registrations outlast a program, not its test.
    def wait_quiet(self, quiet=1.0, timeout=15):
        log = self.c / "e2e" / "events.log"
        size = lambda: log.stat().st_size if log.exists() else -1
        end, before = time.time() + timeout, size()
        while time.time() < end:
            time.sleep(quiet)
            if size() == before:
                return
            before = size()

    # Every path serves the component probe, the setup path the installer probe; `rules` (by
    # component name or "setup") are merged over that. Returns the paths' rules.
    def configure(self, rules):
        paths = {p: {"file": str(self.probe("component.dll"))} for p in site.COMPONENT_PATHS}
        paths[site.SETUP_PATH] = {"file": str(self.probe("probe.exe"))}
        for key, rule in rules.items():
            paths[site.SETUP_PATH if key == "setup" else URL_PATH[key]].update(rule)
        new = self.config.with_suffix(".new")  # whole, for a request that comes meanwhile
        new.write_text(json.dumps({"paths": paths}))
        new.replace(self.config)
        self.paths = paths
        return paths

    # Our site's requests since the last reset, each {path, range, if_range, tls, port, t}, or
    # with `fields` named, a tuple of those; no half line.
    def site_requests(self, *fields):
        asked = [json.loads(line) for line in self.site_log.read_text().split("\n")[:-1]]
        return [tuple(r[f] for f in fields) for r in asked] if fields else asked

    def fetched(self):
        return [r["path"] for r in self.site_requests()]

    def run_unix(self, argv, log):
        with open(self.work / (log + ".log"), "ab") as out:
            try:
                return subprocess.run(argv, env=self.env, stdout=out,
                                      stderr=subprocess.STDOUT, timeout=120)
            except subprocess.TimeoutExpired:
                raise SetupFailed("%s did not end within 120 s (see %s)"
                                  % (" ".join(argv[:2]), out.name)) from None
            except OSError as e:
                raise SetupFailed("%s can't run on this host (%s): choose the other build with "
                                  "VEXA_WINE_ARCH, or leave the choice to scripts/wine-arch.sh"
                                  % (argv[0], e.strerror)) from None

    # `planted`: variables put into the program's environment, over the run's.
    def start(self, path, *args, cwd=None, overrides=None, planted=None):
        env = dict(self.env, **(planted or {}))
        if overrides:
            env["WINEDLLOVERRIDES"] += ";" + overrides
        with open(self.work / "wine.log", "ab") as log:
            p = subprocess.Popen([self.arch.loader, path, *args], cwd=cwd, env=env, stdout=log,
                                 stderr=subprocess.STDOUT)
        self.procs.append(p)
        return p

    # The unpacked package: the program, its brand file if `brand` (its line in `encoding`),
    # the components `installed`.
    def package(self, brand, installed=(), encoding="cp936"):
        self.app.mkdir(exist_ok=True)
        shutil.copy(program_path(self.build), self.app)
        if brand is not None:
            (self.app / "Vexaoem.dat").write_bytes((brand + "\r\n").encode(encoding))
        for name in installed:
            shutil.copy(self.probe("component.dll"), self.sys / name)

    def start_program(self, *args, overrides=None, planted=None):
        return self.start("C:\\app\\vexa_update.exe", *args, cwd=self.app, overrides=overrides,
                          planted=planted)

    # Runs the UI robot; returns its lines split into fields.
    def robot(self, *steps):
        out = self.c / "e2e" / "robot.txt"
        out.unlink(missing_ok=True)
        subprocess.run([self.arch.loader, "C:\\e2e\\robot.exe", "C:\\e2e\\robot.txt",
                        *map(str, steps)], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)
        return [f.split("\t") for f in out.read_text("utf-8").splitlines()] if out.exists() else []

    # The text of the update window's control `id`; "" without one.
    def text(self, id):
        return getattr(self.window().get(id), "text", "")

    # The update window's state: {"form": fields, control id: Control}.
    def window(self):
        state = {}
        for f in self.robot("state"):
            if f[0] == "form":
                state["form"] = f
            else:
                state[int(f[1])] = Control(f[2] == "1", f[3] == "1", int(f[4]), f[5], f[6],
                                           int(f[7]), int(f[8]))
        return state

    # The files registered, sorted, once `count` registrations were recorded (or 30 s passed).
    def registered(self, count):
        wait_until(lambda: len(self.events("register")) >= count, 30)
        return sorted(f[1] for f in self.events("register"))

    def events(self, kind):
        log = self.c / "e2e" / "events.log"
        lines = log.read_text("utf-8").splitlines() if log.exists() else []
        return [f for f in (line.split("\t") for line in lines) if f[0] == kind]

    def shot(self, name):
        subprocess.run(["import", "-display", self.display, "-window", "root",
                        str(self.out / (name + ".png"))], stderr=subprocess.DEVNULL)
