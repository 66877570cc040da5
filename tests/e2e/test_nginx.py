# End-to-end runs of vexa_update.exe under Wine against a real web server: Debian's nginx on
# the loopback build's address (127.0.0.1:47080) instead of our Python site, with nginx's own
# ETags, ranges and error answers. The faults only our site can make (a body cut at a chosen
# byte, chunked bodies, 204, an unasked-for 206) stay in test_update.py.
#
# Usage: test_nginx.py [--build DIR] [--out DIR] [unittest arguments], as test_update.py; it
# exits 1 when nginx is not installed, and a case whose nginx does not start fails with
# nginx's own error line.

import os
import re
import subprocess
import sys
import time

import harness
from harness import COMPONENTS, URL_PATH, sha256, site, wait_until

NGINX = "/usr/sbin/nginx"  # Debian's package nginx
LABEL_HTTP_STATE2 = 104  # the transfer panel's percentage
BRAND = "品牌"

# One server on the build's address serving the nine paths from a folder; the access log (the
# run's site log, which env.site_requests() reads) is one JSON object per request with what a
# test asserts on; nginx logs none that its fast shutdown cut. Every component path answers 503
# with Retry-After while the flag file exists; the installer is sent at `rate` bytes per
# second (0: unlimited).
CONFIG = """daemon off;
pid %(home)s/nginx.pid;
%(user)s
events { worker_connections 64; }
http {
    log_format e2e escape=json '{"t": $msec, "took": $request_time, "path": "$request_uri", '
                               '"status": $status, "range": "$http_range", '
                               '"if_range": "$http_if_range", "sent": $body_bytes_sent}';
    access_log %(log)s e2e;
    client_body_temp_path %(home)s/body;
    proxy_temp_path %(home)s/proxy;
    fastcgi_temp_path %(home)s/fastcgi;
    uwsgi_temp_path %(home)s/uwsgi;
    scgi_temp_path %(home)s/scgi;
    default_type application/octet-stream;
    server {
        listen 127.0.0.1:47080;
        root %(www)s;
        location / {
            if (-f %(busy)s) {
                add_header Retry-After 1 always;
                return 503;
            }
        }
        location = %(setup)s {
            limit_rate %(rate)d;
        }
    }
}
"""


class Nginx:
    # Everything of nginx's but its access log lies in `home`, the files it serves in `www`:
    # all in the run's work folder.
    def __init__(self, env):
        self.home, self.www = env.work / "nginx", env.work / "www"
        self.installer = self.www / site.SETUP_PATH.lstrip("/")
        self.busy, self.access_log = self.home / "busy", env.site_log
        self.process = None

    # Runs nginx in the foreground, so its master's pid is ours to stop, and waits until its
    # pid file names it: nginx writes it once it listens. As root, its workers would run as
    # nobody, who may not enter the work folder: they run as root too. Its errors, from the
    # start on (-e), go to its error log only.
    def start(self, rate=0):
        config, pid, log = (self.home / n for n in ("nginx.conf", "nginx.pid", "error.log"))
        user = "user root;" if os.geteuid() == 0 else ""
        config.write_text(CONFIG % {
            "home": self.home, "log": self.access_log, "www": self.www, "busy": self.busy,
            "setup": site.SETUP_PATH, "rate": rate, "user": user})
        self.process = subprocess.Popen([NGINX, "-c", str(config), "-e", str(log)],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        up = lambda: pid.exists() and pid.read_text().strip() == str(self.process.pid)
        wait_until(lambda: up() or self.process.poll() is not None, 10, 0.05)
        if not up():
            said = [l for l in log.read_text().splitlines() if "[emerg]" in l]
            raise harness.SetupFailed("nginx did not start: " + (said[0] if said else
                                                                 "no pid file within 10 s"))

    # SIGTERM to the master: nginx's fast shutdown (what `nginx -s stop` sends), which cuts
    # the transfers under way; the master ends after its workers, so the port is free then.
    def stop(self):
        harness.stop(self.process)

    # Not running, no flag, an empty access log, a fresh copy of `component` for every
    # component; the installer is for the test to serve.
    def reset(self, component):
        self.stop()
        self.home.mkdir(exist_ok=True)
        self.busy.unlink(missing_ok=True)
        self.access_log.write_text("")
        for path in site.COMPONENT_PATHS:
            served = self.www / path.lstrip("/")
            served.parent.mkdir(parents=True, exist_ok=True)
            served.write_bytes(component.read_bytes())
        self.installer.parent.mkdir(parents=True, exist_ok=True)

    # The installer's file from now on: a new file in the old one's place.
    def serve_installer(self, body):
        new = self.installer.with_name("new")
        new.write_bytes(body)
        new.replace(self.installer)


# nginx's strong ETag of a file it serves: the modification time and the length, in hex.
def etag(path):
    st = path.stat()
    return '"%x-%x"' % (int(st.st_mtime), st.st_size)


# The installer probe followed by `pad` generated bytes, as our site pads it.
def installer_body(pad):
    return site.body({"file": str(env.probe("probe.exe")), "pad": pad})


class NginxRun(harness.WineTest):
    def setUp(self):
        super().setUp()
        nginx.reset(env.probe("component.dll"))

    # A full run whose first answer is a 503 with Retry-After: 1; the flag goes as soon as nginx
    # has logged it, so the request asked 1 s later gets the file, and the others follow.
    def test_refresh_fetches_everything_from_nginx_after_a_503_with_retry_after(self):
        env.package(BRAND)
        nginx.serve_installer(installer_body(1 << 20))
        nginx.busy.touch()
        nginx.start()
        program = env.start_program("REFRESH")
        self.assertTrue(wait_until(env.site_requests, 30, 0.05), "no request")
        nginx.busy.unlink()
        self.assert_installed(program, sha256(nginx.installer))
        asked = env.site_requests()
        self.assertEqual([(r["path"], r["status"], r["range"]) for r in asked],
                         [(URL_PATH["comcat.dll"], 503, "")] +
                         [(URL_PATH[n], 200, "") for n in COMPONENTS] +
                         [(site.SETUP_PATH, 200, "")])
        gap = asked[1]["t"] - asked[1]["took"] - asked[0]["t"]
        self.assertTrue(1 <= gap < 2, "asked again after %.2f s" % gap)

    # --- the installer cut by nginx's fast shutdown -------------------------------------

    # An 8 MB installer at 1 MB/s with the components present; nginx stopped once some of it
    # is in hand and started again at full speed within the program's first wait (2 s),
    # meanwhile the installer replaced by `replacement` if given, dated an hour back (another
    # length and time: another ETag). Returns the first file's ETag and the one request after
    # the restart.
    def cut_installer(self, replacement=None):
        env.package(BRAND, COMPONENTS)
        nginx.serve_installer(installer_body(8 << 20))
        first = etag(nginx.installer)
        nginx.start(rate=1 << 20)
        program = env.start_program("REFRESH")
        # Some of the installer in hand: with the components present, it is the one transfer.
        shown = lambda: getattr(env.window().get(LABEL_HTTP_STATE2), "text", "")
        self.assertTrue(wait_until(lambda: re.fullmatch(r"[1-9]\d*%", shown()), 30),
                        "no installer arriving: %s" % env.window())
        nginx.stop()
        cut_at, done = time.time(), len(env.site_requests())
        if replacement:
            nginx.serve_installer(replacement)
            os.utime(nginx.installer, (cut_at - 3600, cut_at - 3600))
        nginx.start()
        self.assert_installed(program, sha256(nginx.installer), fetched=[])
        [asked] = env.site_requests()[done:]
        self.assertLess(asked["t"] - asked["took"] - cut_at, 4, "not asked in the first wait")
        return first, asked

    def test_a_cut_installer_is_continued_with_nginx_s_etag(self):
        first, asked = self.cut_installer()
        size = nginx.installer.stat().st_size
        self.assertEqual((asked["status"], asked["if_range"]), (206, first))
        kept = int(asked["range"].removeprefix("bytes=").removesuffix("-"))
        self.assertTrue(0 < kept < size, asked)
        self.assertEqual(asked["sent"], size - kept)

    def test_an_installer_replaced_while_nginx_is_down_is_taken_whole(self):
        first, asked = self.cut_installer(replacement=installer_body(7 << 20))
        self.assertNotEqual(etag(nginx.installer), first)
        self.assertEqual((asked["status"], asked["if_range"]), (200, first))
        self.assertRegex(asked["range"], r"^bytes=[1-9]\d*-$")
        self.assertEqual(asked["sent"], nginx.installer.stat().st_size)
        self.assertIn("200 on a range request: started over from byte 0", env.program_log())


if __name__ == "__main__":
    if not os.path.exists(NGINX):
        sys.exit("e2e-nginx FAILED: %s is missing: scripts/install-deps.sh installs it." % NGINX)
    env = harness.suite_env("e2e-nginx", python_site=False)
    nginx = Nginx(env)
    env.servers.append(nginx)
    sys.exit(harness.run_tests(env))
