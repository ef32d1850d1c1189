#!/usr/bin/env python3
"""noxa-night as a user runs it: simulated night files of two instruments (one file given twice),
a month's data file and a file that is neither, into one folder of charts and one summary; run
twice, the summary keeps one line a night and instrument. --zone puts nights together again."""
import os
import subprocess
import sys
import tempfile

BIN = sys.argv[1]


def run(*args):
    return subprocess.run([os.path.join(BIN, args[0]), *args[1:]], capture_output=True,
                          text=True, env={**os.environ, "LC_ALL": "C", "TZ": "Europe/Berlin"})


def check(condition, what):
    if not condition:
        sys.exit(f"FAILED: {what}")


with tempfile.TemporaryDirectory() as work:
    nights = os.path.join(work, "ida")
    sim = run("noxa-sim", "--night-files", nights, "--from", "2024-01-10", "--days", "2",
              "--kind", "clear")
    check(sim.returncode == 0, f"noxa-sim: {sim.stderr}")
    month = os.path.join(work, "qelvoxxx_01_2024.csv")
    with open(month, "w", newline="") as f:  # the C locale's %x and %X, as the station writes
        f.write("# qelvoxxx\tCI1: 20.37\n#  C1: 740 \r\n# Date\t Time\r\n")
        f.write("01/20/24\t23:00:00\t01234.5\t21.50\t0.0\t 0.0\t00050.5\t20.10\t00.500\t19.00"
                "\t00020.0\t18.50\t05.0\t-25.00\t\r\n")
    broken = os.path.join(work, "broken.dat")
    with open(broken, "wb") as f:
        f.write(b"# Community Standard Skyglow Data Format 1.0\r\n\x00\xff;;;\r\n")
    simulated = sorted(os.path.join(nights, n) for n in os.listdir(nights))
    other = os.path.join(work, "other.dat")  # the same night from another instrument
    with open(simulated[0], "rb") as f, open(other, "wb") as o:
        o.write(f.read().replace(b"# Instrument ID: sim", b"# Instrument ID: other"))
    files = simulated + [simulated[0], other, month, broken]
    out = os.path.join(work, "night")

    for attempt in range(2):
        result = run("noxa-night", *files, "--site", "48.1,11.6", "--out", out)
        check(result.returncode == 1, f"a broken file ends with 1, not {result.returncode}")
        check("broken.dat" in result.stderr, f"the broken file is named: {result.stderr}")
        check("1440 records of sim were given more than once" in result.stderr, result.stderr)
        charts = sorted(n for n in os.listdir(out) if n.endswith(".png"))
        check(charts == ["2024-01-10_other.png", "2024-01-10_sim.png", "2024-01-11_sim.png",
                         "2024-01-20_qelvoxxx.png", "hourglass-other-2024.png",
                         "hourglass-qelvoxxx-2024.png", "hourglass-sim-2024.png"], charts)
        with open(os.path.join(out, "summary.csv")) as f:
            lines = f.read().splitlines()
        check(lines[0].startswith("date,darkest_740nm,") and len(lines) == 5, lines)
        check([line.split(",")[13] for line in lines[1:]] == ["other", "sim", "sim", "qelvoxxx"],
              lines)
        check(lines[2].split(",")[12] == "1440", lines[2])
        check(lines[4].startswith("2024-01-20,21.50,,20.10,"), lines[4])
        for chart in charts:
            with open(os.path.join(out, chart), "rb") as f:
                check(f.read(8) == b"\x89PNG\r\n\x1a\n", f"{chart} is a PNG")

    # Night files of a station in Denver on a UTC computer, split at noon UTC: --zone makes
    # whole nights of Denver's again.
    west = os.path.join(work, "west")
    sim = run("noxa-sim", "--night-files", west, "--from", "2024-01-10", "--days", "2", "--kind",
              "clear", "--lat", "39.74", "--lon", "-104.99", "--zone", "UTC")
    check(sim.returncode == 0, f"noxa-sim: {sim.stderr}")
    out = os.path.join(work, "west-nights")
    result = run("noxa-night", *(os.path.join(west, n) for n in sorted(os.listdir(west))),
                 "--zone", "America/Denver", "--out", out)
    with open(os.path.join(out, "summary.csv")) as f:
        nights = [line.split(",") for line in f.read().splitlines()[1:]]
    check([(n[0], n[12]) for n in nights] == [("2024-01-09", "420"), ("2024-01-10", "1440"),
                                              ("2024-01-11", "1020")], nights)

    usage = run("noxa-night")
    check(usage.returncode == 2 and "no files" in usage.stderr, usage.stderr)
    for zone in ("", "Mars/Olympus"):  # an unset shell variable, a zone that is none
        refused = run("noxa-night", simulated[0], "--zone", zone, "--out", out)
        check(refused.returncode == 1 and "zone" in refused.stderr, (zone, refused.stderr))

    # A fortnight over a month's end and the spring-forward night, given at once and given
    # over several runs, the last one night alone: the same year's chart and months, and the
    # last run draws only its night's chart and the year's.
    spring = os.path.join(work, "spring")
    sim = run("noxa-sim", "--night-files", spring, "--from", "2024-03-25", "--days", "14",
              "--interval", "300")
    check(sim.returncode == 0, f"noxa-sim: {sim.stderr}")
    files = [os.path.join(spring, n) for n in sorted(os.listdir(spring))]
    once, runs = os.path.join(work, "once"), os.path.join(work, "runs")
    check(run("noxa-night", *files, "--out", once).returncode == 0, "one run")
    for part in (files[:6], files[6:13]):
        check(run("noxa-night", *part, "--out", runs).returncode == 0, "a run of some nights")
    drawn = {n: os.stat(os.path.join(runs, n)).st_mtime_ns for n in os.listdir(runs)}
    check(run("noxa-night", files[13], "--out", runs).returncode == 0, "the last night's run")
    redrawn = sorted(n for n in os.listdir(runs) if n.endswith(".png") and
                     os.stat(os.path.join(runs, n)).st_mtime_ns != drawn.get(n))
    check(redrawn == ["2024-04-07_sim.png", "hourglass-sim-2024.png"], redrawn)
    for name in ("monthly.csv", "summary.csv", "hourglass-sim-2024.png"):
        with open(os.path.join(once, name), "rb") as a, open(os.path.join(runs, name), "rb") as b:
            check(a.read() == b.read(), f"{name} of several runs is that of one run")
    # A run without charts leaves nothing drawn; the same night given again with charts draws
    # its chart and the year's, though its records did not change.
    later = os.path.join(work, "later")
    for extra in (["--no-charts"], []):
        check(run("noxa-night", files[0], *extra, "--out", later).returncode == 0, extra)
    charts = sorted(n for n in os.listdir(later) if n.endswith(".png"))
    check(charts == ["2024-03-25_sim.png", "hourglass-sim-2024.png"], charts)
print("noxa-night: charts, summary, two instruments, a file twice, a broken file, a second "
      "run, --zone, a year's views over several runs and a run without charts as expected")
