#!/usr/bin/env bash
# Shows vexa_update.exe at work: builds it for Windows, starts the download site on
# 127.0.0.1:47080 (sending slowly, so the progress panel can be seen), unpacks a demo package
# (the program and the brand file "演示品牌") into a fresh Wine prefix and runs
# "vexa_update.exe REFRESH" there, taking screenshots; then tells what happened.
# The window appears on $DISPLAY when there is one, otherwise on a virtual display (Xvfb).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

bash scripts/install-deps.sh
# The shipped 32-bit build where this host's Wine runs 32-bit programs, else the 64-bit one.
arch=$(bash scripts/wine-arch.sh)
read -r VEXA_WINE_ARCH preset _ <<<"$arch"
export VEXA_WINE_ARCH
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"

display=""
if [ -n "${DISPLAY:-}" ] && xdpyinfo -display "$DISPLAY" >/dev/null 2>&1; then display="$DISPLAY"; fi

DEMO_DISPLAY="$display" python3 - <<'PY'
import os, sys, time
from pathlib import Path

sys.path.insert(0, "tests/e2e")
import harness

out = Path("build/demo")
for old in out.glob("*.png"):
    old.unlink()
try:
    env = harness.Wine(None, out, display=os.environ["DEMO_DISPLAY"] or None, tag="demo")
except harness.SetupFailed as e:
    sys.exit("The demo could not start: %s." % str(e).rstrip("."))
try:
    print("Wine prefix %s (%s), display %s, program %s"
          % (env.work / "prefix", env.arch.prefix, env.display, harness.program_path(env.build)))
    # Wine's own comcat, msxml3, shdocvw and stdole2 count as present; the others are fetched.
    env.env["WINEDLLOVERRIDES"] = "cmd.exe=n"
    env.configure({name: {"rate": 200_000} for name in harness.COMPONENTS} |
                  {"setup": {"pad": 1 << 20, "rate": 400_000}})
    env.package("演示品牌")
    program = env.start_program("REFRESH")
    shots = 0
    while program.poll() is None and shots < 60:
        time.sleep(1)
        shots += 1
        env.shot("demo-%02d" % shots)
    code = program.wait(60)
    harness.wait_until(lambda: env.events("setup"), 10)
    time.sleep(2)  # the last registrations

    print("\nvexa_update.exe ended with exit code %d" % code)
    line = (env.c / "vexaoem.dat").read_bytes()
    print("C:\\vexaoem.dat: %r  (brand 演示品牌 encoded: bffmffdbfhkhidbfikkjdbfinekd)" % line)
    fetched = env.fetched()
    for name in harness.COMPONENTS:
        how = "downloaded" if harness.URL_PATH[name] in fetched else "already present"
        ran = any(name in c[2] for c in env.events("cmd"))
        print("  %-13s %-16s %s" % (name, how, "registered" if ran else "NOT registered"))
    for _, cmd_exe, line, *_ in env.events("cmd")[:1]:
        print("  (e.g. %s ran: %s)" % (cmd_exe, line))
    started = env.events("setup")
    print("Installer %s: %s" % ("downloaded and started" if started else "NOT started",
                                 started[0][1] if started else "-"))
    print("Screenshots: %s/demo-*.png" % out.resolve())
finally:
    env.close()
PY
