# End-to-end runs under Wine through Debian's tinyproxy as the user's system proxy (the prefix's
# Internet Settings), which asks for a login (BasicAuth): the system's login dialog, answered
# once for the whole run, or cancelled. Usage as test_update.py; exits 1 without tinyproxy.

import os
import re
import sys

import harness
from harness import COMMAND_REFRESH, COMPONENTS, LABEL_HTTP_STATE, URL_PATH, site, wait_until

TINYPROXY = "/usr/bin/tinyproxy"  # Debian's package tinyproxy
PORT = 47090
USER, PASSWORD = "e2e-user", "e2e-Pa55word"
SETTINGS = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings"

# In the foreground (-d); LogLevel Connect logs each request it is asked ("Request (file
# descriptor N): GET <url> HTTP/1.1") and each it passes on ("Established connection to host").
CONFIG = """Port %(port)d
Listen 127.0.0.1
Timeout 60
LogFile "%(log)s"
LogLevel Connect
PidFile "%(pid)s"
MaxClients 16
Allow 127.0.0.1
BasicAuth %(user)s %(password)s
"""


class TinyProxy(harness.Daemon):
    # Its configuration, log and pid file in the run's work folder.
    def __init__(self, env):
        self.home = env.work / "tinyproxy"
        self.log, self.pid = self.home / "tinyproxy.log", self.home / "tinyproxy.pid"

    # A new proxy with an empty log (tinyproxy writes its log at its own offset: a log cut short
    # under it fills with zeros).
    def start(self):
        self.stop()
        self.home.mkdir(exist_ok=True)
        for f in (self.log, self.pid):
            f.unlink(missing_ok=True)
        config = self.home / "tinyproxy.conf"
        config.write_text(CONFIG % {"port": PORT, "log": self.log, "pid": self.pid, "user": USER,
                                    "password": PASSWORD})
        self.run([TINYPROXY, "-d", "-c", str(config)], self.pid, self.home / "tinyproxy.out")

    def lines(self):
        return self.log.read_text(errors="replace").splitlines() if self.log.exists() else []

    # The addresses it was asked for, in order (a request refused with 407 too).
    def asked(self):
        return [m[1] for m in (re.search(r"Request \(file descriptor \d+\): GET (\S+) HTTP", l)
                               for l in self.lines()) if m]

    # How many requests it passed on to the site.
    def passed_on(self):
        return sum("Established connection to host" in l for l in self.lines())


class ProxyRun(harness.WineTest):
    def setUp(self):
        super().setUp()
        proxy.start()

    def wait_login(self):
        login = env.robot("login", 30)
        self.assertEqual(login[0][:2], ["login", "1"], "no login dialog: %s" % env.window())
        return login[0]

    # The dialog comes at the first request; what the robot types there serves every request:
    # the run completes with no second dialog (nobody would answer it), and every request the
    # site answered came through the proxy.
    def test_a_proxy_login_given_once_serves_the_whole_run(self):
        program = self.refresh()
        login = self.wait_login()
        env.shot("proxy-login")
        self.assertIn("127.0.0.1:%d" % PORT, login, "not the proxy's dialog")
        env.robot("answer", USER, PASSWORD)
        self.assert_installed(program)
        fetched = [URL_PATH[n] for n in COMPONENTS] + [site.SETUP_PATH]
        self.assertEqual(env.fetched(), fetched)
        self.assertEqual(proxy.passed_on(), len(fetched))
        self.assertEqual(sorted(set(proxy.asked())), sorted(env.base + p for p in fetched))
        log = env.program_log()
        self.assertEqual(log.count("the proxy asks for a login (Basic)"), len(fetched))
        self.assertEqual(log.count("the user gave the proxy's login"), 1)
        self.assertNotIn(PASSWORD, log)

    # Cancel: the state line says the proxy asks for a login, "重试" is offered and asks again.
    def test_a_cancelled_proxy_login_says_so_and_offers_retry(self):
        program = self.refresh(COMPONENTS)  # the installer is the one request
        self.wait_login()
        env.robot("answer", "-")
        self.assertTrue(wait_until(lambda: env.text(COMMAND_REFRESH) == "重试", 20),
                        "no retry offered")
        env.shot("proxy-login-cancelled")
        w = env.window()
        self.assertEqual(w[LABEL_HTTP_STATE].text, "代理服务器要求登录，已取消。")
        self.assertTrue(w[COMMAND_REFRESH].enabled)
        self.assertEqual(env.fetched(), [])
        self.assertIn("failed: the user cancelled the proxy's login", env.program_log())
        env.robot("click", COMMAND_REFRESH)
        self.wait_login()
        env.robot("answer", "-", "close")
        self.wait_exit(program, 10)
        self.assertEqual(env.program_log().count("the user cancelled the proxy's login"), 2)


if __name__ == "__main__":
    if not os.path.exists(TINYPROXY):
        sys.exit("e2e-proxy FAILED: %s is missing: scripts/install-deps.sh installs it."
                 % TINYPROXY)
    env = harness.suite_env("e2e-proxy")
    proxy = TinyProxy(env)
    env.servers.append(proxy)
    # The user's system proxy, in this suite's own prefix.
    env.reg("add", SETTINGS, "/v", "ProxyEnable", "/t", "REG_DWORD", "/d", "1")
    env.reg("add", SETTINGS, "/v", "ProxyServer", "/d", "127.0.0.1:%d" % PORT)
    sys.exit(harness.run_tests(env))
