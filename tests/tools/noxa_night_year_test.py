#!/usr/bin/env python3
"""noxa-night over a simulated year of mixed weather: one year's chart per instrument, and
monthly.csv as pandas computes it from the night files themselves."""
import glob
import os
import subprocess
import sys
import tempfile

import pandas as pd

BIN = sys.argv[1]
CLOUDY_ABOVE = 30
CHANNELS = {"MSAS1": "740nm", "MSAS2": "640nm", "MSASR": "red", "MSASG": "green", "MSASB": "blue"}


def run(*args):
    return subprocess.run([os.path.join(BIN, args[0]), *args[1:]], capture_output=True,
                          text=True, env={**os.environ, "LC_ALL": "C", "TZ": "Europe/Berlin"})


def check(condition, what):
    if not condition:
        sys.exit(f"FAILED: {what}")


def read_night(path):
    with open(path) as f:
        header = next(line for line in f if line.startswith("# UTC Date & Time"))
    names = [name.strip() for name in header[2:].split(",")]
    records = pd.read_csv(path, sep=";", comment="#", names=names)
    records["night"] = os.path.basename(path)[:4] + "-" + os.path.basename(path)[4:6]
    return records


def expected_months(folder):
    files = sorted(glob.glob(os.path.join(folder, "*.dat")))
    nights = pd.Series([os.path.basename(f)[:6] for f in files]).value_counts()
    records = pd.concat([read_night(f) for f in files], ignore_index=True)
    cloud = (100 - 3 * (records["Temperature"] - records["Sky Temperature"])).clip(0, 100)
    dark = records[(records["Sun Altitude"] < -18) & (records["Moon Altitude"] < 0)
                   & (cloud <= CLOUDY_ABOVE)]
    months = pd.DataFrame({"nights": nights.rename(lambda m: f"{m[:4]}-{m[4:]}")})
    months["dark_clear_records"] = dark.groupby("night").size()
    for column, key in CHANNELS.items():
        values = dark[dark[column] > 0].groupby("night")[column]
        months[f"median_{key}"] = values.median()
        months[f"records_{key}"] = values.size()
    months["blue_minus_red"] = months["median_blue"] - months["median_red"]
    return months.sort_index().fillna({"dark_clear_records": 0})


with tempfile.TemporaryDirectory() as work:
    nights = os.path.join(work, "ida")
    sim = run("noxa-sim", "--night-files", nights, "--from", "2024-01-01", "--days", "366",
              "--interval", "1200", "--kind", "mixed")
    check(sim.returncode == 0, f"noxa-sim: {sim.stderr}")
    out = os.path.join(work, "night")
    result = run("noxa-night", *glob.glob(os.path.join(nights, "*.dat")), "--out", out)
    check(result.returncode == 0, f"noxa-night: {result.stderr}")
    with open(os.path.join(out, "hourglass-sim-2024.png"), "rb") as f:
        check(f.read(8) == b"\x89PNG\r\n\x1a\n", "the year's chart is a PNG")

    written = pd.read_csv(os.path.join(out, "monthly.csv"), index_col="month")
    expected = expected_months(nights)
    check(list(written.index) == list(expected.index), f"months: {list(written.index)}")
    check((written["instrument"] == "sim").all(), "instrument")
    for column in ["nights", "dark_clear_records"] + [f"records_{k}" for k in CHANNELS.values()]:
        check((written[column] == expected[column]).all(), f"{column}:\n{written[column]}")
    for column in [f"median_{k}" for k in CHANNELS.values()] + ["blue_minus_red"]:
        differences = (written[column] - expected[column]).abs()
        check((differences < 0.011).all(), f"{column}:\n{written[column]}\n{expected[column]}")
    check(written["median_msas"].isna().all() and (written["records_msas"] == 0).all(), "msas")
    check((written["records_blue_minus_red"] == written[["records_red", "records_blue"]].min(
        axis=1)).all(), "colour index counts")
print("noxa-night: a simulated year's chart and monthly.csv as pandas computes them")
