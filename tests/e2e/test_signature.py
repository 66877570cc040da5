# End-to-end runs of a signed vexa_update.exe that accepts only installers signed by the vendor
# (INSTALLER_SIGNER); usage as test_update.py, plus --certs DIR (make_test_certs.sh's folder).
# Wine 8's WinVerifyTrust accepts (0) a signature whose authority is no trusted root; the
# program's own check of the signer's chain against the machine's roots refuses it, so the suite
# adds the test authority to the prefix's machine roots (on Windows: certutil -addstore Root).

import os
import re
import subprocess
import sys

import harness
from harness import COMPONENTS, sha256, site

VENDOR = "Tollumo Test Vendor"  # the common names tests/e2e/make_test_certs.sh gives
OTHER = "Other Test Publisher"
REFUSAL = "安装程序的签名不是厂商的：C:\\vexa_setup_zs.exe"


# The installer stand-in unsigned, signed by the vendor, signed by another name, and signed by
# the vendor with one byte of its code changed afterwards: {kind: file the site can serve}.
def make_installers(folder):
    folder.mkdir()
    probe = env.probe("probe.exe")
    made = {"unsigned": probe}
    for kind in ("vendor", "other"):
        made[kind] = folder / (kind + ".exe")
        harness.sign(probe, made[kind], env.certs, kind)
    body = bytearray(made["vendor"].read_bytes())
    body[probe.stat().st_size // 2] ^= 0xFF  # inside a section: covered by the signature
    made["altered"] = folder / "altered.exe"
    made["altered"].write_bytes(body)
    return made


class SignedInstaller(harness.WineTest):
    # REFRESH with every component present, straight to `served` over an `old` installer.
    def run_refresh(self, served, old):
        (env.c / "vexa_setup_zs.exe").write_bytes(old)
        return self.refresh(COMPONENTS, {"setup": {"file": str(served)}})

    def test_installer_signed_by_the_vendor_is_saved_and_opened(self):
        program = self.run_refresh(installers["vendor"], os.urandom(4096))
        self.assert_installer_opened(program, sha256(installers["vendor"]))

    def test_other_installers_are_refused_and_the_old_one_kept(self):
        # The old file is the vendor's: a check of the target instead of the new file would pass.
        old = installers["vendor"].read_bytes()
        # Once the file is altered, Wine finds no signer; Windows may still name it.
        found = "(未找到签名者|签名者：%s)" % re.escape(VENDOR)
        for kind, reason in (("unsigned", "（未找到签名者；文件没有签名）"),
                             ("other", "（签名者：%s）" % OTHER),
                             ("altered", "（%s；文件在签名之后被改动过）" % found)):
            with self.subTest(kind):
                env.reset()
                program = self.run_refresh(installers[kind], old)
                lines = self.close_error_box(program, 30, "refused-" + kind)
                self.assertIn("程序遇到意外错误，无法继续运行：", lines)
                line = re.escape(REFUSAL) + (reason if kind == "altered" else re.escape(reason))
                self.assertTrue(any(re.fullmatch(line, l) for l in lines), lines)
                self.assertEqual(env.fetched(), [site.SETUP_PATH] * 2)  # once more after a refusal
                self.assertEqual((env.c / "vexa_setup_zs.exe").read_bytes(), old)
                self.assertEqual(sorted(p.name for p in env.c.glob("vexa_setup_zs.exe*")),
                                 ["vexa_setup_zs.exe"], "the refused file was left behind")

    # A root the user put into their own store (as any of their unelevated programs can) does
    # not make an installer the vendor's: the signer's chain must end in the machine's roots.
    def test_an_authority_only_the_user_trusts_is_refused(self):
        self.assertEqual(env.trust("untrust"), 0)
        self.assertEqual(env.trust("user"), 0)
        try:
            old = os.urandom(4096)
            program = self.run_refresh(installers["vendor"], old)
            lines = self.close_error_box(program, 30, "refused-user-root")
            self.assertIn(REFUSAL + "（签名者：%s；签名证书的颁发机构不受信任）" % VENDOR, lines)
            self.assertEqual((env.c / "vexa_setup_zs.exe").read_bytes(), old)
        finally:
            self.assertEqual(env.trust("machine"), 0)

    def test_program_is_signed_by_the_vendor(self):
        p = subprocess.run(["osslsigncode", "verify", "-CAfile", env.certs / "root.crt", "-in",
                            harness.program_path(env.build)], capture_output=True, text=True)
        self.assertEqual(p.returncode, 0, p.stdout + p.stderr)
        self.assertRegex(p.stdout, r"Signer's certificate:\s+-+\s+Signer #0:\s+Subject: /CN=%s\n"
                         % re.escape(VENDOR))


if __name__ == "__main__":
    env = harness.suite_env("e2e-signature", signer=VENDOR)
    installers = make_installers(env.work / "installers")
    sys.exit(harness.run_tests(env))
