#!/usr/bin/env python3
"""Years of night files: pandas reading them against noxa-night writing every output.

The years (--years, default 10) are synthetic night files of one-minute lines (ten years:
3,653 files, 5.26 million lines, mixed weather, from 2016-01-01) written by noxa-sim
--night-files into a folder of the temporary directory, kept there and reused by later runs.
Each side then runs --runs times, timed from outside:

  pandas       in this process: for each file pd.read_csv(file, sep=";", comment="#",
               header=None, names=[15 columns], parse_dates=["utc", "local"]), which parses
               both time columns as datetimes, then pd.concat of the frames into one frame
               (ignore_index). It reads the data and charts nothing.
  noxa-night   the process noxa-night FILES... --out FOLDER (a fresh folder each run): it reads
               the same files and writes every output: a chart per night, summary.csv, the
               year's chart of every year and monthly.csv. Its peak memory (the largest
               resident set, from the kernel's account of the process) is printed too.
  --no-charts  the same process with --no-charts: it reads the files, splits them into nights
               and writes summary.csv, drawing nothing: the work that compares with pandas'.

  --matplotlib (only when asked, once: it takes about a minute) pandas reading each file as
               above and matplotlib (Agg) drawing the night's five brightnesses into a 1200x640
               PNG (the files carry no Sun or Moon, which noxa-night works out): the chart work
               done the usual Python way, for scale.

Prints the median and the fastest time of each and the ratio of the medians.

The output folders are removed only when every run is done. Removed between runs, the 3,653
charts a run leaves would make the next run slower for a reason outside it: ext4 without a
journal (as the root file system of some virtual machines) passes over inodes freed in the last
few seconds, or until their table is written back, each time it gives out a new one, so a run
just after the removal spends its time in the kernel walking past the files of the run before.

Usage: bench/night_vs_pandas.py [--bin build/bin] [--years 10] [--runs 1] [--pandas-only]
                               [--matplotlib]
Needs python3-pandas (Debian), and python3-matplotlib for --matplotlib. Nothing is contacted
over the network.
"""
import argparse
import datetime
import glob
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

FIRST_YEAR = 2016
COLUMNS = ["utc", "local", "sensor_temperature", "counts", "freq1", "msas1", "sky_temperature",
           "freq2", "msas2", "freq_r", "msas_r", "freq_g", "msas_g", "freq_b", "msas_b"]


def nights_of_years(sim, years):
    """The years' night files, written once into the temporary directory and then reused."""
    days = (datetime.date(FIRST_YEAR + years, 1, 1) - datetime.date(FIRST_YEAR, 1, 1)).days
    # Named by the lines' width too, so that files of an older layout are not reused.
    folder = os.path.join(tempfile.gettempdir(),
                          f"noxa-bench-nights-{FIRST_YEAR}-{years}y-{len(COLUMNS)}")
    done = os.path.join(folder, "complete")
    files = sorted(glob.glob(os.path.join(folder, "*.dat")))
    if os.path.exists(done) and len(files) == days:
        print(f"reusing {days} night files in {folder}")
        return files
    shutil.rmtree(folder, ignore_errors=True)
    begin = time.perf_counter()
    result = subprocess.run([sim, "--night-files", folder, "--from", f"{FIRST_YEAR}-01-01",
                             "--days", str(days), "--kind", "mixed", "--seed", "1"],
                            capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit(f"{sim} could not write the nights (does it know --night-files?):\n"
                 f"{result.stderr.strip()}")
    print(f"noxa-sim wrote {days} night files in {time.perf_counter() - begin:.1f} s "
          f"into {folder}")
    open(done, "w").close()
    return sorted(glob.glob(os.path.join(folder, "*.dat")))


def read_with_pandas(pd, files):
    frames = [pd.read_csv(f, sep=";", comment="#", header=None, names=COLUMNS,
                          parse_dates=["utc", "local"]) for f in files]
    return pd.concat(frames, ignore_index=True)


def time_pandas(files, runs):
    try:
        import pandas as pd
    except ImportError:
        sys.exit("pandas is missing: apt-get install python3-pandas (scripts/install-deps)")
    times = []
    for _ in range(runs):
        begin = time.perf_counter()
        frame = read_with_pandas(pd, files)
        times.append(time.perf_counter() - begin)
    lines = len(files) * 1440
    if len(frame) != lines or str(frame["utc"].dtype) != "datetime64[ns]":
        sys.exit(f"pandas read {len(frame)} rows, utc as {frame['utc'].dtype}; "
                 f"expected {lines} rows of datetimes")
    return times, f"pandas {pd.__version__}: {len(frame)} rows, {frame.shape[1]} columns"


def time_noxa_night(binary, files, runs, outputs, options=()):
    """Timed from outside; the peak memory from GNU time (`time` package) when it is there, which
    runs the program from a small process: a child of this one would count the memory of this
    process, pandas' frames included, from before it started the program. Each run writes into a
    new folder of `outputs`, which the caller removes after the last run."""
    gnu_time = shutil.which("time", path="/usr/bin")
    times, peaks = [], []
    for run in range(runs):
        out = os.path.join(outputs, f"{os.path.basename(binary)}{''.join(options)}-{run}")
        command = [binary, *files, "--out", out, *options]
        if gnu_time:
            command = [gnu_time, "-f", "peak %M", *command]
        begin = time.perf_counter()
        result = subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                text=True)
        times.append(time.perf_counter() - begin)
        if result.returncode != 0:
            sys.exit(f"noxa-night failed ({result.returncode}):\n{result.stderr.strip()}")
        peak = [line for line in result.stderr.splitlines() if line.startswith("peak ")]
        if peak:
            peaks.append(int(peak[-1].split()[1]) / 1024)  # kilobytes to MiB
        charts = glob.glob(os.path.join(out, "**", "*.png"), recursive=True)
        written = [name for name in ("summary.csv", "monthly.csv")
                   if os.path.exists(os.path.join(out, name))]
    memory = f"peak memory {max(peaks):.0f} MiB" if peaks else "peak memory unknown (no GNU time)"
    return times, f"noxa-night: {len(charts)} charts, {' and '.join(written)}; {memory}"


def time_matplotlib(files):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
        import pandas as pd
    except ImportError:
        sys.exit("--matplotlib needs python3-matplotlib and python3-pandas")
    with tempfile.TemporaryDirectory() as out:
        begin = time.perf_counter()
        for f in files:
            night = pd.read_csv(f, sep=";", comment="#", header=None, names=COLUMNS,
                                parse_dates=["utc", "local"])
            figure, brightness = plt.subplots(figsize=(12, 6.4), dpi=100)
            for column in ["msas1", "msas2", "msas_r", "msas_g", "msas_b"]:
                brightness.plot(night["local"], night[column], linewidth=1, label=column)
            brightness.invert_yaxis()
            brightness.legend(loc="upper left")
            figure.savefig(os.path.join(out, os.path.basename(f) + ".png"))
            plt.close(figure)
        elapsed = time.perf_counter() - begin
        charts = len(glob.glob(os.path.join(out, "*.png")))
    return [elapsed], f"matplotlib {matplotlib.__version__}: {charts} charts"


def report(name, times, detail):
    print(f"{name:12} median {statistics.median(times):7.2f} s   min {min(times):7.2f} s   "
          f"({len(times)} runs; {detail})")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default="build/bin", help="folder of noxa-sim and noxa-night")
    parser.add_argument("--years", type=int, default=10)
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--matplotlib", action="store_true",
                        help="also time pandas and matplotlib drawing every night, once")
    parser.add_argument("--pandas-only", action="store_true",
                        help="time pandas alone (noxa-night is not needed)")
    args = parser.parse_args()
    binary = os.path.abspath(args.bin)
    sim, night = os.path.join(binary, "noxa-sim"), os.path.join(binary, "noxa-night")
    for program in [sim] + ([] if args.pandas_only else [night]):
        if not os.access(program, os.X_OK):
            sys.exit(f"{program} is missing: build it first (scripts/build), "
                     f"or time pandas alone with --pandas-only")

    files = nights_of_years(sim, args.years)
    pandas_times, pandas_detail = time_pandas(files, args.runs)
    report("pandas", pandas_times, pandas_detail)
    if args.pandas_only:
        return
    outputs = tempfile.TemporaryDirectory()
    for name, options in [("noxa-night", ()), ("--no-charts", ("--no-charts",))]:
        night_times, night_detail = time_noxa_night(night, files, args.runs, outputs.name,
                                                    options)
        report(name, night_times, night_detail)
        ratio = statistics.median(pandas_times) / statistics.median(night_times)
        print(f"pandas / {name} (medians): {ratio:.2f}")
        if name == "noxa-night":
            charted = statistics.median(night_times)
    outputs.cleanup()
    if args.matplotlib:
        plot_times, plot_detail = time_matplotlib(files)
        report("matplotlib", plot_times, plot_detail)
        print(f"pandas+matplotlib / noxa-night: {plot_times[0] / charted:.1f}")


if __name__ == "__main__":
    main()
