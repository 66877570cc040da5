# End-to-end runs of a build with a mirror of its download site (DOWNLOAD_MIRRORS): the first
# base http://127.0.0.1:47080, the mirror http://127.0.0.1:47082, both our site. Usage as
# test_update.py; build/<preset>-mirrored.

import sys

import harness
from harness import COMPONENTS, LABEL_HTTP_STATE, URL_PATH, site

MIRROR = 47082


class Mirrors(harness.WineTest):
    # Nothing listens at the first base: every item comes from the mirror, the first one after
    # its four attempts at the first site, the others from the mirror at once.
    def test_a_first_site_that_does_not_answer_leaves_the_mirror(self):
        harness.stop(env.site)
        env.start_site(without_first=True)
        program = self.refresh(COMPONENTS[:6])
        self.assert_installed(program, fetched=COMPONENTS[6:], timeout=90)
        self.assertEqual(env.site_requests("path", "port"),
                         [(URL_PATH[n], MIRROR) for n in COMPONENTS[6:]] + [(site.SETUP_PATH, MIRROR)])
        log = env.program_log()
        self.assertIn("47080/Soft/System/MSINET.txt: given up after attempt 4 of 4", log)
        self.assertIn("47080/Soft/System/MSINET.txt: left this site: the next is "
                      "http://127.0.0.1:47082", log)
        harness.stop(env.site)  # the next reset starts it on both ports again

    # The first site lacks one component (404): the items before it come from the first site,
    # that one and those after it from the mirror, where the last one worked; the state line says
    # it fetches from a second site.
    def test_an_item_missing_at_the_first_site_comes_from_the_mirror_and_so_do_the_next(self):
        program = self.refresh(COMPONENTS[:3], {"shdocvw.oca": {"at": {"47080": {"status": 404}}},
                                                "setup": {"pad": 2 << 20, "rate": 1_000_000}})
        shown = harness.wait_until(
            lambda: "正在从备用站点下载...vexa_setup_zs.exe" in env.text(LABEL_HTTP_STATE), 30)
        env.shot("from-the-mirror")
        self.assertTrue(shown, "the state line does not say it fetches from a second site")
        self.assert_installed(program, fetched=COMPONENTS[3:])
        self.assertEqual(env.site_requests("path", "port"),
                         [(URL_PATH["shdocvw.dll"], 47080), (URL_PATH["shdocvw.oca"], 47080)] +
                         [(URL_PATH[n], MIRROR) for n in COMPONENTS[4:]] + [(site.SETUP_PATH, MIRROR)])
        self.assertIn("47080/Soft/System/shdocvwoca.txt: failed: HTTP status 404", env.program_log())


if __name__ == "__main__":
    env = harness.suite_env("e2e-sites", mirrored=True)
    sys.exit(harness.run_tests(env))
