"""End-to-end runs of a vexa_update.exe built to accept only installers signed by the vendor
(INSTALLER_SIGNER) and itself signed, under Wine against the loopback download site.

Usage: test_signature.py [--build DIR] [--certs DIR] [--out DIR] [unittest arguments]
Defaults: build/<preset>-signed of the architecture this host's Wine runs (see
scripts/wine-arch.sh), the test certificates of tests/e2e/make_test_certs.sh in
build/test-certs, build/e2e-signature for screenshots. Exits 77 (skipped) when the signed build
is missing, unless E2E_REQUIRED is set; exits 1 with one sentence when it can't be set up.

Under Wine 8 WinVerifyTrust accepts a signature whose certificate authority is not among the
trusted roots (measured: 0 for a file signed by a test authority that was never added), so
these runs can show unsigned, altered and other-signer installers refused, but not an
untrusted authority; the test authority is not installed. On Windows it would first have to be
added to the machine's trusted roots (certutil -addstore Root root.crt).
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import unittest
from pathlib import Path

import harness
from harness import COMPONENTS, sha256, site, wait_until

VENDOR = "Tollumo Test Vendor"  # the common names tests/e2e/make_test_certs.sh gives
OTHER = "Other Test Publisher"
INSTALLER = "C:\\vexa_setup_zs.exe"
REFUSAL = "安装程序的签名不是厂商的：" + INSTALLER
ROOT = Path(__file__).resolve().parents[2]
_args = argparse.ArgumentParser(add_help=False, allow_abbrev=False)
_args.add_argument("--build", type=Path)
_args.add_argument("--certs", type=Path, default=ROOT / "build" / "test-certs")
_args.add_argument("--out", type=Path, default=ROOT / "build" / "e2e-signature")
ARGS, UNITTEST_ARGS = _args.parse_known_args()
env = None
installers = {}  # kind -> file the site can serve


def tearDownModule():
    env.close()


def make_installers(folder):
    """The installer stand-in unsigned, signed by the vendor, signed by another name, and signed
    by the vendor with one byte of its code changed afterwards."""
    folder.mkdir()
    probe = env.probe("probe.exe")
    installers["unsigned"] = shutil.copy(probe, folder / "unsigned.exe")
    for kind, name in (("vendor", "vendor"), ("other", "other")):
        installers[kind] = folder / (kind + ".exe")
        harness.sign(probe, installers[kind], ARGS.certs, name)
    body = bytearray(installers["vendor"].read_bytes())
    body[probe.stat().st_size // 2] ^= 0xFF  # inside a section: covered by the signature
    installers["altered"] = folder / "altered.exe"
    installers["altered"].write_bytes(body)


class SignedInstaller(unittest.TestCase):
    def setUp(self):
        self.prepare()

    def prepare(self):
        env.reset()
        env.package("品牌")
        for name in COMPONENTS:  # all present: the run goes straight to the installer
            shutil.copy(env.probe("component.dll"), env.sys / name)

    def run_refresh(self, served, old):
        """Serves an installer over an old one at C:\\vexa_setup_zs.exe and starts REFRESH."""
        (env.c / "vexa_setup_zs.exe").write_bytes(old)
        env.configure({"setup": {"file": str(served)}})
        return env.start_program("REFRESH")

    def test_installer_signed_by_the_vendor_is_saved_and_opened(self):
        program = self.run_refresh(installers["vendor"], os.urandom(4096))
        try:
            self.assertEqual(program.wait(60), 0)
        except subprocess.TimeoutExpired:
            self.fail("the program did not end within 60 s; on screen: %s" % env.robot("box", 0))
        self.assertEqual(sha256(env.c / "vexa_setup_zs.exe"), sha256(installers["vendor"]))
        setup = wait_until(lambda: env.events("setup"), 10)
        self.assertEqual([s[1] for s in setup], [INSTALLER])

    def test_other_installers_are_refused_and_the_old_one_kept(self):
        # The old installer is the vendor's own: a check that read the target instead of the
        # new file would pass.
        old = installers["vendor"].read_bytes()
        # Once the file is altered, Wine finds no signer; Windows may still name it.
        found = "(未找到签名者|签名者：%s)" % re.escape(VENDOR)
        for kind, reason in (("unsigned", "（未找到签名者；文件没有签名）"),
                             ("other", "（签名者：%s）" % OTHER),
                             ("altered", "（%s；文件在签名之后被改动过）" % found)):
            with self.subTest(kind):
                self.prepare()
                program = self.run_refresh(installers[kind], old)
                box = env.robot("box", 30)
                env.shot("refused-" + kind)
                self.assertEqual(box[0][:3], ["box", "1", "Tollumo"], box)
                # The box's lines, whether the robot's record breaks them or escapes them.
                lines = re.split(r"\t|\r?\n|\\r\\n|\\n", "\n".join("\t".join(f) for f in box))
                self.assertIn("程序遇到意外错误，无法继续运行：", lines)
                line = re.escape(REFUSAL) + (reason if kind == "altered" else re.escape(reason))
                self.assertTrue(any(re.fullmatch(line, l) for l in lines), box)
                env.robot("ok")
                self.assertEqual(program.wait(20), 1)
                self.assertEqual([r["path"] for r in env.requests()], [site.SETUP_PATH])
                self.assertEqual((env.c / "vexa_setup_zs.exe").read_bytes(), old)
                self.assertEqual(sorted(p.name for p in env.c.glob("vexa_setup_zs.exe*")),
                                 ["vexa_setup_zs.exe"], "the refused file was left behind")
                self.assertEqual(env.events("setup"), [])

    def test_program_is_signed_by_the_vendor(self):
        program = harness.program_path(env.build)
        p = subprocess.run(["osslsigncode", "verify", "-CAfile", ARGS.certs / "root.crt",
                            "-in", program], capture_output=True, text=True)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        self.assertRegex(p.stdout, r"Signer's certificate:\s+-+\s+Signer #0:\s+Subject: /CN=%s\n"
                         % re.escape(VENDOR))


def signer_of(build):
    cache = Path(build) / "CMakeCache.txt"
    lines = cache.read_text().splitlines() if cache.exists() else []
    return next((l.split("=", 1)[1] for l in lines if l.startswith("INSTALLER_SIGNER:")), None)


def prepare():
    global env
    arch = harness.wine_arch()
    build = ARGS.build or ROOT / "build" / (arch.preset + "-signed")
    missing = harness.missing_files(build)
    missing += [str(p) for p in (ARGS.certs / n for n in ("root.crt", "vendor.key", "other.key"))
                if not p.exists()]
    if missing:
        raise harness.NotBuilt(missing, "tests/e2e/make_test_certs.sh && cmake --preset %s-signed "
                               "&& cmake --build --preset %s-signed" % (arch.preset, arch.preset))
    if signer_of(build) != VENDOR:
        raise harness.SetupFailed("%s was not built with INSTALLER_SIGNER=%s" % (build, VENDOR))
    env = harness.Wine(build, ARGS.out, tag="e2e-signature", arch=arch)
    make_installers(env.work / "installers")
    return env


if __name__ == "__main__":
    sys.exit(harness.suite_main("e2e-signature", prepare, UNITTEST_ARGS))
