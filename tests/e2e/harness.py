"""The program under Wine, an X display and the download site, for one test run.

One Wine prefix per run, of the architecture this host's Wine runs (scripts/wine-arch.sh);
between tests only the files a test touches are reset. The prefix's cmd.exe is our probe, so
that registration really happens under Wine and every registration command is recorded
(C:\\e2e\\events.log). Everything a run starts (site, Xvfb, wineserver, Wine programs) is
ended by close(), which also runs when the set-up fails, at exit and on SIGTERM.
"""

import atexit
import collections
import hashlib
import importlib.util
import json
import os
import shutil
import signal
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
Control = collections.namedtuple("Control", "visible enabled width text cls left top")

# What follows from the architecture: Debian's Wine loader (/usr/bin/wine always picks the
# 32-bit one), the prefix's kind, the objdump that reads the program; scripts/wine-arch.sh
# names the preset of the program and its probes.
# Either way the program runs in a prefix of its own bitness, so the folder it sees as
# C:\windows\system32 is the prefix's system32 (a 32-bit program in a 64-bit prefix would see
# syswow64 there, as on 64-bit Windows).
Arch = collections.namedtuple("Arch", "name preset loader prefix objdump")
ARCHES = {
    "x86": ("/usr/lib/wine/wine", "win32", "i686-w64-mingw32-objdump"),
    "x64": ("/usr/lib/wine/wine64", "win64", "x86_64-w64-mingw32-objdump"),
}


class SetupFailed(Exception):
    """The run could not be set up; the message is one sentence saying what and what to do."""


class NotBuilt(Exception):
    """What a suite needs has not been built: the files missing and how to build them."""

    def __init__(self, missing, how):
        super().__init__(", ".join(missing))
        self.how = how


def suite_main(name, prepare, unittest_args):
    """The main of an end-to-end suite: `prepare()` sets up and returns its Wine environment;
    then the test cases of __main__ run. Returns the exit code: 77 (skipped) for a missing
    build unless E2E_REQUIRED is set, 1 with one sentence when the set-up fails."""
    try:
        env = prepare()
    except NotBuilt as e:
        print("%s SKIPPED: not built: %s\nbuild it: %s" % (name, e, e.how), file=sys.stderr)
        return 1 if os.environ.get("E2E_REQUIRED") else 77
    except SetupFailed as e:
        print("%s FAILED: %s." % (name, str(e).rstrip(".")), file=sys.stderr)
        return 1
    print("Wine prefix %s (%s), program %s" % (env.work / "prefix", env.arch.prefix,
                                               program_path(env.build)), file=sys.stderr)
    run = unittest.main(module="__main__", argv=sys.argv[:1] + unittest_args, verbosity=2,
                        exit=False)
    return 0 if run.result.wasSuccessful() else 1


def wine_arch():
    """The architecture this host's Wine runs (or VEXA_WINE_ARCH forces), as scripts/wine-arch.sh
    decides; its one line saying why goes to standard error."""
    p = subprocess.run(["bash", str(ROOT / "scripts" / "wine-arch.sh")], stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, text=True)
    sys.stderr.write(p.stderr)
    if p.returncode != 0:
        raise SetupFailed(p.stderr.strip())
    name, preset = p.stdout.split()
    return Arch(name, preset, *ARCHES[name])


def default_build(arch):
    """The build folder of the program and probes for an architecture."""
    return ROOT / "build" / arch.preset


def missing_files(build):
    """What the end-to-end runs need from a build folder and it lacks."""
    probes = Path(build) / "tests" / "e2e" / "probes"
    needed = [program_path(build)] + [probes / n for n in ("probe.exe", "robot.exe",
                                                           "component.dll")]
    return [str(p) for p in needed if not p.exists()]


def encode_brand(text):
    """The encoded brand file's text for a brand name, with code page 936."""
    code = ""
    for ch in text:
        b = ch.encode("cp936", errors="replace")
        code += "%d/" % (b[0] if len(b) == 1 else b[0] * 256 + b[1] - 65536)
    shift = 5 - len(code) % 10
    shift -= shift <= 0
    return "".join(chr(ord(c) + 57 + shift) for c in code)


def sign(source, out, certs, name):
    """`source` signed into `out` with the test certificate `name` (vendor, other) of the folder
    tests/e2e/make_test_certs.sh made."""
    subprocess.run(["osslsigncode", "sign", "-h", "sha256", "-certs", certs / (name + ".crt"),
                    "-key", certs / (name + ".key"), "-in", source, "-out", out],
                   check=True, stdout=subprocess.DEVNULL)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.file_digest(f, "sha256").hexdigest()


def program_path(build):
    """vexa_update.exe at the top of a build folder, where src/app/CMakeLists.txt puts it."""
    return Path(build) / "vexa_update.exe"


def wait_until(predicate, timeout, interval=0.2):
    end = time.time() + timeout
    while True:
        value = predicate()
        if value or time.time() > end:
            return value
        time.sleep(interval)


def _end_on_sigterm():
    """SIGTERM (CTest's time-out, a kill) unwinds like an error, so close() still runs."""
    if signal.getsignal(signal.SIGTERM) is signal.SIG_DFL:
        signal.signal(signal.SIGTERM, lambda *_: sys.exit("ended by SIGTERM"))


def start_xvfb(first):
    """An X server on the first free display from :first on; returns (process, display)."""
    for n in range(first, first + 8):
        if Path("/tmp/.X%d-lock" % n).exists():
            continue
        xvfb = subprocess.Popen(["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24", "-nolisten",
                                 "tcp"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if wait_until(lambda: Path("/tmp/.X11-unix/X%d" % n).exists() or xvfb.poll() is not None,
                      10) and xvfb.poll() is None:
            return xvfb, ":%d" % n
        stop(xvfb)
    raise SetupFailed("no X display among :%d to :%d could be started: end stale Xvfb servers "
                      "or remove their /tmp/.X<n>-lock files" % (first, first + 7))


def stop(process, timeout=10):
    """Ends a process we started: SIGTERM (Xvfb then removes its lock), SIGKILL if it lingers."""
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Wine:
    def __init__(self, build_dir=None, out_dir=None, display=None, tag="e2e", arch=None):
        self.arch = arch or wine_arch()
        self.build = Path(build_dir) if build_dir else default_build(self.arch)
        self.out = Path(out_dir or ROOT / "build" / tag)
        self.site = self.xvfb = self.env = None
        self.procs, self.closed = [], False
        self.work = Path(tempfile.mkdtemp(prefix="b-%s-" % tag, dir="/tmp"))
        _end_on_sigterm()
        atexit.register(self.close)
        try:
            self._set_up(display)
        except BaseException:
            self.close()
            raise

    def _set_up(self, display):
        self.out.mkdir(parents=True, exist_ok=True)
        self.config, self.site_log = self.work / "site.json", self.work / "site.log"
        self.configure({})
        self.start_site()
        self.c = self.work / "prefix" / "drive_c"
        self.sys, self.app = self.c / "windows" / "system32", self.c / "app"
        self.display = display or self._own_display()
        self.env = dict(os.environ, WINEPREFIX=str(self.work / "prefix"),
                        WINEARCH=self.arch.prefix, WINELOADER=self.arch.loader,
                        LC_ALL="zh_CN.UTF-8", WINEDEBUG="-all", DISPLAY=self.display,
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        (self.work / "prefix").mkdir()
        self.run_unix(["wineserver", "-p"], "wineserver")  # stays up between the programs
        self.run_unix([self.arch.loader, "wineboot", "-i"], "wineboot")
        if not (self.sys / "kernel32.dll").exists():
            log = self.work / "wineboot.log"
            last = (log.read_text(errors="replace").strip().splitlines() or ["no output"])[-1]
            raise SetupFailed("Wine could not create a %s prefix in %s (%s): check that %s "
                              "runs here, or choose the other build with VEXA_WINE_ARCH"
                              % (self.arch.prefix, self.work / "prefix", last, self.arch.loader))
        if display is None:  # our own display has no window manager: Wine draws the frames
            self.run_unix([self.arch.loader, "reg", "add", "HKCU\\Software\\Wine\\X11 Driver",
                           "/v", "Managed", "/d", "N", "/f"], "reg")
        (self.c / "e2e").mkdir()
        for name in ("probe.exe", "robot.exe", "component.dll"):
            shutil.copy(self.probe(name), self.c / "e2e" / name)
        # Web addresses open in our probe, which records them, instead of a browser.
        self.run_unix([self.arch.loader, "reg", "add", "HKCR\\http\\shell\\open\\command",
                       "/ve", "/d", '"C:\\e2e\\probe.exe" open "%1"', "/f"], "reg")
        shutil.copy(self.probe("probe.exe"), self.sys / "cmd.exe")
        # Our cmd.exe probe instead of Wine's; our component probe instead of Wine's built-ins.
        self.env["WINEDLLOVERRIDES"] = "cmd.exe=n;comcat,msxml3,shdocvw,stdole2.tlb=n,b"

    def program_log(self):
        """The program's support log (in the temporary folder), strictly UTF-8, or ""."""
        logs = list(self.c.glob("users/*/Temp/vexa_update.log"))
        return logs[0].read_bytes().decode("utf-8") if logs else ""

    def stop_site(self):
        """Nothing listens on the site's port until start_site: connections are refused."""
        stop(self.site)

    def start_site(self):
        with open(self.work / "site.out", "w") as out:
            self.site = subprocess.Popen(
                [sys.executable, str(SITE_PY), "--config", str(self.config), "--log",
                 str(self.site_log)], stdout=out, stderr=subprocess.STDOUT)
        # The site's log appears once it holds the port; it says so when another holds it.
        wait_until(lambda: self.site_log.exists() or self.site.poll() is not None, 10)
        if not self.site_log.exists():
            said = (self.work / "site.out").read_text().strip().splitlines()
            raise SetupFailed("the download site did not start: " + (said[-1] if said else
                                                                      "no answer within 10 s"))

    def _own_display(self):
        self.xvfb, display = start_xvfb(93)
        return display

    def probe(self, name):
        return self.build / "tests" / "e2e" / "probes" / name

    def close(self):
        """Ends everything the run started; safe to call twice and after a failed set-up."""
        if self.closed:
            return
        self.closed = True
        self.stop_all()
        if self.env:
            subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        for p in (self.site, self.xvfb):
            stop(p)
        if not os.environ.get("E2E_KEEP"):
            shutil.rmtree(self.work, ignore_errors=True)

    def stop_all(self):
        for p in self.procs:
            p.kill()
            p.wait()
        self.procs = []

    def reset(self):
        """Puts back what tests change: the package, the files on C: and the components."""
        self.stop_all()
        self.wait_quiet()
        shutil.rmtree(self.app, ignore_errors=True)
        for f in ["e2e/events.log", "vexaoem.dat", "vexaverification.dat", "vexa_setup_zs.exe"]:
            (self.c / f).unlink(missing_ok=True)
        for name in COMPONENTS:
            (self.sys / name).unlink(missing_ok=True)
        for log in self.c.glob("users/*/Temp/vexa_update*.log"):
            log.unlink()
        self.site_log.write_text("")
        self.configure({})

    def wait_quiet(self, quiet=1.0, timeout=15):
        """Waits until the probes have recorded nothing for `quiet` seconds: registrations a
        program started go on after it has ended, and must not count in the next test."""
        log = self.c / "e2e" / "events.log"
        size = lambda: log.stat().st_size if log.exists() else -1
        end, before = time.time() + timeout, size()
        while time.time() < end:
            time.sleep(quiet)
            if size() == before:
                return
            before = size()

    def configure(self, rules):
        """Every path serves the component probe, the setup path the installer probe; a rule
        given for a path (by component name or "setup") is merged over that. Returns the paths'
        rules."""
        paths = {p: {"file": str(self.probe("component.dll"))} for p in site.COMPONENT_PATHS}
        paths[site.SETUP_PATH] = {"file": str(self.probe("probe.exe"))}
        for key, rule in rules.items():
            paths[site.SETUP_PATH if key == "setup" else URL_PATH[key]].update(rule)
        new = self.config.with_suffix(".new")  # whole, for a request that comes meanwhile
        new.write_text(json.dumps({"paths": paths}))
        new.replace(self.config)
        return paths

    def requests(self):
        return [json.loads(line) for line in self.site_log.read_text().splitlines()]

    def run_unix(self, argv, log):
        with open(self.work / (log + ".log"), "ab") as out:
            try:
                subprocess.run(argv, env=self.env, stdout=out, stderr=subprocess.STDOUT,
                               timeout=120)
            except subprocess.TimeoutExpired:
                raise SetupFailed("%s did not end within 120 s (see %s)"
                                  % (" ".join(argv[:2]), out.name)) from None
            except OSError as e:
                raise SetupFailed("%s can't run on this host (%s): choose the other build with "
                                  "VEXA_WINE_ARCH, or leave the choice to scripts/wine-arch.sh"
                                  % (argv[0], e.strerror)) from None

    def start(self, path, *args, cwd=None, overrides=None):
        env = dict(self.env)
        if overrides:
            env["WINEDLLOVERRIDES"] += ";" + overrides
        with open(self.work / "wine.log", "ab") as log:
            p = subprocess.Popen([self.arch.loader, path, *args], cwd=cwd, env=env, stdout=log,
                                 stderr=subprocess.STDOUT)
        self.procs.append(p)
        return p

    def package(self, brand):
        """The unpacked package: the program and, when a brand is given, its brand file."""
        self.app.mkdir(exist_ok=True)
        shutil.copy(program_path(self.build), self.app)
        if brand is not None:
            (self.app / "Vexaoem.dat").write_bytes(brand.encode("cp936") + b"\r\n")

    def start_program(self, *args, overrides=None):
        return self.start("C:\\app\\vexa_update.exe", *args, cwd=self.app, overrides=overrides)

    def robot(self, *steps):
        """Runs the UI robot; returns its lines split into fields."""
        out = self.c / "e2e" / "robot.txt"
        out.unlink(missing_ok=True)
        subprocess.run([self.arch.loader, "C:\\e2e\\robot.exe", "C:\\e2e\\robot.txt",
                        *map(str, steps)], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)
        return [f.split("\t") for f in out.read_text("utf-8").splitlines()] if out.exists() else []

    def window(self):
        """The update window's state: {"form": fields, control id: Control}."""
        state = {}
        for f in self.robot("state"):
            if f[0] == "form":
                state["form"] = f
            else:
                state[int(f[1])] = Control(f[2] == "1", f[3] == "1", int(f[4]), f[5], f[6],
                                           int(f[7]), int(f[8]))
        return state

    def events(self, kind):
        log = self.c / "e2e" / "events.log"
        lines = log.read_text("utf-8").splitlines() if log.exists() else []
        return [f for f in (line.split("\t") for line in lines) if f[0] == kind]

    def shot(self, name):
        subprocess.run(["import", "-display", self.display, "-window", "root",
                        str(self.out / (name + ".png"))], stderr=subprocess.DEVNULL)
