#!/usr/bin/env python3
"""noxa-night over a simulated year of mixed weather: one year's chart per instrument, and
monthly.csv as pandas computes it from the night files themselves."""
import glob
import math
import os
import subprocess
import sys
import tempfile

import ephem
import pandas as pd

BIN = sys.argv[1]
CLOUDY_ABOVE = 30
CHANNELS = {"MSAS": "740nm", "MSAS2": "640nm", "MSASR": "red", "MSASG": "green", "MSASB": "blue"}


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


def altitudes(times):
    """The Sun's and the Moon's altitudes at the simulator's site from PyEphem: topocentric,
    without refraction, as noxa-night works them out for files that do not carry them."""
    observer = ephem.Observer()
    observer.lat, observer.lon, observer.elevation, observer.pressure = "48.1", "11.6", 0, 0
    sun, moon = [], []
    for time in times:
        observer.date = ephem.Date(time.to_pydatetime())
        sun.append(math.degrees(ephem.Sun(observer).alt))
        moon.append(math.degrees(ephem.Moon(observer).alt))
    return pd.Series(sun, index=times.index), pd.Series(moon, index=times.index)


def expected_months(folder):
    """The months as pandas works them out, and per month how many records lie so near the
    Sun's or the Moon's limit (0.05 degree) that two computations may differ on them."""
    files = sorted(glob.glob(os.path.join(folder, "*.dat")))
    nights = pd.Series([os.path.basename(f)[:6] for f in files]).value_counts()
    records = pd.concat([read_night(f) for f in files], ignore_index=True)
    sun, moon = altitudes(pd.to_datetime(records["UTC Date & Time"]))
    cloud = (100 - 3 * (records["Temperature"] - records["Sky Temperature"])).clip(0, 100)
    clear = cloud <= CLOUDY_ABOVE
    near = clear & (((sun + 18).abs() < 0.05) | ((moon.abs() < 0.05) & (sun < -18)))
    dark = records[(sun < -18) & (moon < 0) & clear]
    months = pd.DataFrame({"nights": nights.rename(lambda m: f"{m[:4]}-{m[4:]}")})
    months["dark_clear_records"] = dark.groupby("night").size()
    for column, key in CHANNELS.items():
        values = dark[dark[column] > 0].groupby("night")[column]
        months[f"median_{key}"] = values.median()
        months[f"records_{key}"] = values.size()
    months["blue_minus_red"] = months["median_blue"] - months["median_red"]
    months["near_limits"] = records[near].groupby("night").size()
    return months.sort_index().fillna({"dark_clear_records": 0, "near_limits": 0})


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
    check((written["nights"] == expected["nights"]).all(), f"nights:\n{written['nights']}")
    for column in ["dark_clear_records"] + [f"records_{k}" for k in CHANNELS.values()]:
        off = (written[column] - expected[column]).abs()
        check((off <= expected["near_limits"]).all(), f"{column}:\n{written[column]}")
    for column in [f"median_{k}" for k in CHANNELS.values()] + ["blue_minus_red"]:
        differences = (written[column] - expected[column]).abs()
        check((differences < 0.011).all(), f"{column}:\n{written[column]}\n{expected[column]}")
    check(written["median_msas"].isna().all() and (written["records_msas"] == 0).all(), "msas")
    check((written["records_blue_minus_red"] == written[["records_red", "records_blue"]].min(
        axis=1)).all(), "colour index counts")
print("noxa-night: a simulated year's chart and monthly.csv as pandas computes them")
