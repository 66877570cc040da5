"""What the installer's signature check costs: vexa_update.exe built with INSTALLER_SIGNER
against the same program built without it, under Wine, fetching the same signed installer of
16 MB and of 256 MB from the loopback download site, in alternating runs of one session.

Usage: signature_bench.py [--on DIR] [--off DIR] [--certs DIR] [--out DIR]
Defaults: build/<preset>-signed and build/<preset> of the architecture this host's Wine runs,
build/test-certs (tests/e2e/make_test_certs.sh), build/bench-signature.
Prints per size the medians from REFRESH to the installer started, check off and on, their
difference and ratio. Waits while another run holds 127.0.0.1:47080. Not part of the tests.
"""

import argparse
import os
import random
import shutil
import statistics
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))
import harness  # noqa: E402
from harness import sha256, wait_until  # noqa: E402

MB = 1 << 20
ROUNDS = {16: 9, 256: 5}  # alternating pairs per size


def signed_installer(probe, size, certs, folder):
    """The installer stand-in grown to about `size` bytes with data after its sections (part
    of what the signature covers), then signed by the test vendor."""
    plain, signed = folder / ("plain-%d.exe" % size), folder / ("signed-%d.exe" % size)
    with open(plain, "wb") as f:
        f.write(probe.read_bytes())
        rng = random.Random(size)
        while f.tell() < size - 8192:
            f.write(rng.randbytes(min(MB, size - 8192 - f.tell())))
    harness.sign(plain, signed, certs, "vendor")
    plain.unlink()
    return signed


def run_once(env, program, installer):
    """Seconds from starting `program` REFRESH to the installer stand-in having started."""
    shutil.copy(program, env.app / "vexa_update.exe")
    for f in ("vexa_setup_zs.exe", "e2e/events.log"):
        (env.c / f).unlink(missing_ok=True)
    os.sync()
    log = env.c / "e2e" / "events.log"
    begin = time.time()
    p = env.start_program("REFRESH")
    if not wait_until(lambda: env.events("setup"), 600, 0.005):
        raise SystemExit("%s: the installer was not started; on screen: %s"
                         % (program, env.robot("box", 0)))
    took = log.stat().st_mtime - begin
    if p.wait(60) != 0:
        raise SystemExit("%s ended with %d" % (program, p.returncode))
    if sha256(env.c / "vexa_setup_zs.exe") != sha256(installer):
        raise SystemExit("%s saved the installer wrongly" % program)
    return took


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--on", type=Path)
    ap.add_argument("--off", type=Path)
    ap.add_argument("--certs", type=Path, default=ROOT / "build" / "test-certs")
    ap.add_argument("--out", type=Path, default=ROOT / "build" / "bench-signature")
    args = ap.parse_args()
    arch = harness.wine_arch()
    on = args.on or harness.default_build(arch, signed=True)
    off = args.off or harness.default_build(arch)
    programs = {"off": harness.program_path(off), "on": harness.program_path(on)}
    env = harness.Wine(on, args.out, tag="bench-signature", arch=arch)
    try:
        env.package("品牌", harness.COMPONENTS)  # all present: the run goes straight to the installer
        folder = env.work / "installers"
        folder.mkdir()
        print("Architecture %s; check off: %s, check on: %s" % (arch.name, programs["off"],
                                                              programs["on"]), flush=True)
        for size, rounds in ROUNDS.items():
            installer = signed_installer(env.probe("probe.exe"), size * MB, args.certs, folder)
            env.configure({"setup": {"file": str(installer)}})
            times = {"off": [], "on": []}
            run_once(env, programs["on"], installer)  # not counted: warms the caches
            for _ in range(rounds):
                for kind in ("off", "on"):
                    times[kind].append(run_once(env, programs[kind], installer))
            off_s, on_s = (statistics.median(times[k]) for k in ("off", "on"))
            print("%d MB installer (%d bytes), REFRESH to installer started, medians of %d "
                  "alternating runs: check off %.2f s, check on %.2f s: +%.2f s, ratio %.2f"
                  % (size, installer.stat().st_size, rounds, off_s, on_s, on_s - off_s,
                     on_s / off_s), flush=True)
            print("   runs off %s s; on %s s" % tuple("/".join("%.2f" % t for t in times[k])
                                                    for k in ("off", "on")), flush=True)
            installer.unlink()
    finally:
        env.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
