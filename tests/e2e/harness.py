"""The program under Wine, an X display and the download site, for one test run.

One 32-bit Wine prefix per run; between tests only the files a test touches are reset.
The prefix's cmd.exe is our probe, so that registration really happens under Wine and
every registration command is recorded (C:\\e2e\\events.log).
"""

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
from pathlib import Path

SITE_PY = Path(__file__).resolve().parent / "site.py"
_spec = importlib.util.spec_from_file_location("download_site", SITE_PY)  # not the stdlib's
site = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(site)

COMPONENTS = ["comcat.dll", "MCI32.OCX", "stdole2.tlb", "shdocvw.dll", "shdocvw.oca",
              "msxml3.dll", "MSINET.OCX", "COMDLG32.OCX"]
URL_PATH = dict(zip(COMPONENTS, site.COMPONENT_PATHS))
SYSTEM = "C:\\windows\\system32\\"
Control = collections.namedtuple("Control", "visible enabled width text")


def encode_brand(text):
    """The encoded brand file's text for a brand name, with code page 936."""
    code = ""
    for ch in text:
        b = ch.encode("cp936", errors="replace")
        code += "%d/" % (b[0] if len(b) == 1 else b[0] * 256 + b[1] - 65536)
    shift = 5 - len(code) % 10
    shift -= shift <= 0
    return "".join(chr(ord(c) + 57 + shift) for c in code)


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.file_digest(f, "sha256").hexdigest()


def program_path(build):
    """vexa_update.exe in a build folder: at its top, or wherever its target put it."""
    top = Path(build) / "vexa_update.exe"
    return top if top.exists() else next(Path(build).glob("**/vexa_update.exe"), top)


def wait_until(predicate, timeout, interval=0.2):
    end = time.time() + timeout
    while True:
        value = predicate()
        if value or time.time() > end:
            return value
        time.sleep(interval)


class Wine:
    def __init__(self, build_dir, out_dir, display=None, tag="e2e"):
        self.build, self.out = Path(build_dir), Path(out_dir)
        self.out.mkdir(parents=True, exist_ok=True)
        self.work = Path(tempfile.mkdtemp(prefix="b-%s-" % tag, dir="/tmp"))
        self.config, self.site_log = self.work / "site.json", self.work / "site.log"
        self.configure({})
        with open(self.work / "site.out", "w") as out:
            self.site = subprocess.Popen(
                [sys.executable, str(SITE_PY), "--config", str(self.config), "--log",
                 str(self.site_log)], stdout=out, stderr=subprocess.STDOUT)
        # The site's log appears once it holds the port: another run's site may hold it.
        wait_until(lambda: self.site_log.exists() or self.site.poll() is not None, 10)
        if not self.site_log.exists():
            message = (self.work / "site.out").read_text()
            self.site.kill()
            shutil.rmtree(self.work)
            raise RuntimeError("the download site did not start (is port 47080 taken?): " + message)
        self.c = self.work / "prefix" / "drive_c"
        self.sys, self.app = self.c / "windows" / "system32", self.c / "app"
        self.procs, self.xvfb = [], None
        self.display = display or self._start_xvfb()
        self.env = dict(os.environ, WINEPREFIX=str(self.work / "prefix"), WINEARCH="win32",
                        LC_ALL="zh_CN.UTF-8", WINEDEBUG="-all", DISPLAY=self.display,
                        WINEDLLOVERRIDES="mscoree,mshtml=")
        (self.work / "prefix").mkdir()
        self.run_unix(["wineserver", "-p"], "wineserver")  # stays up between the programs
        self.run_unix(["wineboot", "-i"], "wineboot")
        if display is None:  # our own display has no window manager: Wine draws the frames
            self.run_unix(["wine", "reg", "add", "HKCU\\Software\\Wine\\X11 Driver", "/v",
                           "Managed", "/d", "N", "/f"], "reg")
        (self.c / "e2e").mkdir()
        for name in ("probe.exe", "robot.exe", "component.dll"):
            shutil.copy(self.probe(name), self.c / "e2e" / name)
        shutil.copy(self.probe("probe.exe"), self.sys / "cmd.exe")
        # Our cmd.exe probe instead of Wine's; our component probe instead of Wine's built-ins.
        self.env["WINEDLLOVERRIDES"] = "cmd.exe=n;comcat,msxml3,shdocvw,stdole2.tlb=n,b"

    def _start_xvfb(self):
        for n in range(93, 100):
            if not Path("/tmp/.X%d-lock" % n).exists():
                self.xvfb = subprocess.Popen(
                    ["Xvfb", ":%d" % n, "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                if wait_until(lambda: Path("/tmp/.X11-unix/X%d" % n).exists(), 10):
                    return ":%d" % n
                self.xvfb.terminate()
        raise RuntimeError("no free X display among :93 to :99")

    def probe(self, name):
        return self.build / "tests" / "e2e" / "probes" / name

    def close(self):
        self.stop_all()
        subprocess.run(["wineserver", "-k"], env=self.env)
        for p in (self.site, self.xvfb):
            if p:
                p.send_signal(signal.SIGTERM)
                p.wait(10)
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
        shutil.rmtree(self.app, ignore_errors=True)
        for f in ["e2e/events.log", "vexaoem.dat", "vexaverification.dat", "vexa_setup_zs.exe"]:
            (self.c / f).unlink(missing_ok=True)
        for name in COMPONENTS:
            (self.sys / name).unlink(missing_ok=True)
        self.site_log.write_text("")
        self.configure({})

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
            subprocess.run(argv, env=self.env, stdout=out, stderr=subprocess.STDOUT, timeout=120)

    def start(self, path, *args, cwd=None, overrides=None):
        env = dict(self.env)
        if overrides:
            env["WINEDLLOVERRIDES"] += ";" + overrides
        with open(self.work / "wine.log", "ab") as log:
            p = subprocess.Popen(["wine", path, *args], cwd=cwd, env=env, stdout=log,
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
        subprocess.run(["wine", "C:\\e2e\\robot.exe", "C:\\e2e\\robot.txt", *map(str, steps)],
                       env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=120)
        return [f.split("\t") for f in out.read_text("utf-8").splitlines()] if out.exists() else []

    def window(self):
        """The update window's state: {"form": fields, control id: Control}."""
        state = {}
        for f in self.robot("state"):
            if f[0] == "form":
                state["form"] = f
            else:
                state[int(f[1])] = Control(f[2] == "1", f[3] == "1", int(f[4]), f[5])
        return state

    def events(self, kind):
        log = self.c / "e2e" / "events.log"
        lines = log.read_text("utf-8").splitlines() if log.exists() else []
        return [f for f in (line.split("\t") for line in lines) if f[0] == kind]

    def shot(self, name):
        subprocess.run(["import", "-display", self.display, "-window", "root",
                        str(self.out / (name + ".png"))], stderr=subprocess.DEVNULL)
