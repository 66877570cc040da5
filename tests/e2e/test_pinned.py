# End-to-end runs of a build with the components' SHA-256 pinned (COMPONENT_SHA256SUMS), over
# https as shipped (127.0.0.1:47443, its test authority trusted in the prefix), with a mirror
# (127.0.0.1:47444, the same site). Usage as test_update.py; build/<preset>-pinned is pinned to
# build/<preset>'s component probe.

import sys

import harness
from harness import COMPONENTS, SYSTEM, URL_PATH, sha256, site


class PinnedComponents(harness.WineTest):
    # Starts REFRESH with every component served as the pinned body, merged with `rules`.
    def run_refresh(self, rules=None):
        served = {name: {"file": str(env.served)} for name in COMPONENTS}
        return self.refresh(rules=dict(served, **(rules or {})))

    def test_intact_components_are_placed_and_registered_and_the_installer_opened(self):
        program = self.run_refresh()
        self.assert_installed(program, timeout=90)
        self.assertEqual(env.site_requests("path", "tls"),
                         [(URL_PATH[n], True) for n in COMPONENTS] + [(site.SETUP_PATH, True)])

    # MCI32.OCX is missing at the first site, and the mirror's differs from the pinned body in
    # one byte, at the same length: refused, fetched again (first site again, then the mirror),
    # refused again, and the run ends. A component already present is no download: registered
    # as it is, whatever its content.
    def test_a_component_the_mirror_changed_is_refused_twice_then_ends_the_run(self):
        body = bytearray(env.served.read_bytes())
        body[len(body) // 2] ^= 0x01
        changed = env.work / "MCI32.OCX"
        changed.write_bytes(body)
        (env.sys / "comcat.dll").write_bytes(body)
        program = self.run_refresh({"MCI32.OCX": {"file": str(changed),
                                                  "at": {"47443": {"status": 404}}}})
        self.assertIn("文件校验失败：MCI32.OCX", self.close_error_box(program, 60, "refused-MCI32"))
        self.assertEqual(env.site_requests("path", "port"),
                         [(URL_PATH["MCI32.OCX"], port) for port in (47443, 47444) * 2])
        self.assertEqual([p.name for p in env.sys.glob("MCI32.OCX*")], [])
        env.wait_quiet()
        self.assertEqual(env.registered(1), [SYSTEM + "comcat.dll"])
        self.assertEqual((env.sys / "comcat.dll").read_bytes(), body)
        said = (sha256(env.served), sha256(changed),
                env.base + URL_PATH["MCI32.OCX"] + " at mirror 1")
        refusals = [l for l in env.program_log().splitlines() if all(s in l for s in said)]
        self.assertEqual(len(refusals), 2, "the log gives both digests and the address")

    # A 302 from https to the plain site is refused at each site: nothing saved, the old installer
    # kept. Under Wine the plain site is asked after each (why: TransferRequest::LeftHttps).
    def test_a_redirect_from_https_to_http_is_refused(self):
        (env.c / "vexa_setup_zs.exe").write_bytes(b"old installer")
        program = self.run_refresh({"setup": {"to_http": True}})
        self.assert_stalls(program)
        self.assertEqual([tls for path, tls in env.site_requests("path", "tls")
                          if path == site.SETUP_PATH], [True, False] * 2)
        self.assertIn(env.base + site.SETUP_PATH + ": failed: redirected from https to http",
                      env.program_log())
        self.close(program)
        self.assertEqual([p.name for p in env.c.glob("vexa_setup*")], ["vexa_setup_zs.exe"])
        self.assertEqual((env.c / "vexa_setup_zs.exe").read_bytes(), b"old installer")


if __name__ == "__main__":
    env = harness.suite_env("e2e-pinned", pinned=True)
    sys.exit(harness.run_tests(env))
