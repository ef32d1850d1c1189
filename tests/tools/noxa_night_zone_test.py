#!/usr/bin/env python3
"""noxa-night --zone: night files written at a site in Denver by a computer on UTC, split at UTC
noon (05:00 in Denver), come back as whole nights, noon to noon in Denver."""
import os
import subprocess
import sys
import tempfile

BIN = sys.argv[1]


def run(*args):
    return subprocess.run([os.path.join(BIN, args[0]), *args[1:]], capture_output=True,
                          text=True, env={**os.environ, "LC_ALL": "C", "TZ": "UTC"})


def check(condition, what):
    if not condition:
        sys.exit(f"FAILED: {what}")


with tempfile.TemporaryDirectory() as work:
    nights = os.path.join(work, "ida")
    sim = run("noxa-sim", "--night-files", nights, "--from", "2024-01-10", "--days", "2",
              "--kind", "clear", "--lat", "39.74", "--lon", "-104.99", "--zone", "UTC")
    check(sim.returncode == 0, f"noxa-sim: {sim.stderr}")
    files = sorted(os.path.join(nights, n) for n in os.listdir(nights))
    out = os.path.join(work, "night")
    result = run("noxa-night", *files, "--zone", "America/Denver", "--out", out)
    check(result.returncode == 0, result.stderr)
    charts = sorted(n for n in os.listdir(out) if n.endswith(".png"))
    check(charts == ["2024-01-09_sim.png", "2024-01-10_sim.png", "2024-01-11_sim.png"], charts)
    with open(os.path.join(out, "summary.csv")) as f:
        lines = f.read().splitlines()
    check([line.split(",")[12] for line in lines[1:]] == ["420", "1440", "1020"], lines)
print("noxa-night --zone: nights of the given zone over the files' own")
