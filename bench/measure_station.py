#!/usr/bin/env python3
"""Whole-process figures of the headless station, on loopback only.

  start-up      time from starting noxa-station --headless to its first log line (median)
  memory        resident memory a few seconds after start-up
  quiet CPU     CPU time used over a quiet period with no reports
  flood         the highest report rate absorbed without a dropped datagram, against a plain
                receiving loop (noxa-flood --sink) at the same rates
  overload      a flood as fast as two senders go, for 30 s: the worst delay of the
                once-a-second tick (from the "noxa.ticks" debug category), memory before and
                after, and whether reports are received normally right after
  window        with --window, under a display (xvfb-run -a): time from start to the window
                being mapped (median)

Usage: bench/measure_station.py [--bin build/bin] [--quiet-seconds 60] [--runs 9] [--window]
The station runs in a temporary folder; nothing but 127.0.0.1 is contacted.
"""
import argparse
import os
import re
import threading
import statistics
import subprocess
import tempfile
import time


def start_station(binary, folder, extra=()):
    return subprocess.Popen([binary, "--headless", *extra], cwd=folder, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True)


def stop(process):
    process.terminate()
    process.wait(timeout=10)


def status_kib(pid, key):
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith(key):
                return int(line.split()[1])
    return -1


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def startup_ms(binary, runs):
    times = []
    for _ in range(runs):
        with tempfile.TemporaryDirectory() as folder:
            begin = time.perf_counter()
            station = start_station(binary, folder)
            station.stdout.readline()
            times.append((time.perf_counter() - begin) * 1000)
            stop(station)
    return statistics.median(times)


def flood(bin_dir, rates, seconds):
    flood_tool = os.path.join(bin_dir, "noxa-flood")
    results = []
    with tempfile.TemporaryDirectory() as folder:
        station = start_station(os.path.join(bin_dir, "noxa-station"), folder)
        station.stdout.readline()
        time.sleep(1)
        for rate in rates:
            out = subprocess.run([flood_tool, "--rate", str(rate), "--seconds", str(seconds)],
                                 capture_output=True, text=True).stdout.split()
            results.append(("station", rate, int(out[1]), int(out[3])))
            time.sleep(1)
        stop(station)
    for rate in rates:
        sink = subprocess.Popen([flood_tool, "--sink", "--port", "2300", "--seconds",
                                 str(seconds + 1)], stdout=subprocess.PIPE, text=True)
        time.sleep(0.3)
        out = subprocess.run([flood_tool, "--rate", str(rate), "--seconds", str(seconds),
                              "--port", "2300"], capture_output=True, text=True).stdout.split()
        received = int(sink.communicate()[0].split()[1])
        results.append(("plain loop", rate, int(out[1]), int(out[1]) - received))
    return results


def overload(bin_dir, seconds):
    flood_tool = os.path.join(bin_dir, "noxa-flood")
    env = dict(os.environ, QT_LOGGING_RULES="noxa.ticks.debug=true")
    with tempfile.TemporaryDirectory() as folder:
        station = subprocess.Popen([os.path.join(bin_dir, "noxa-station"), "--headless"],
                                   cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                                   text=True, env=env)
        ticks = []  # (arrival time, interval in ms)

        def read_ticks():
            for line in station.stderr:
                match = re.search(r"tick after (\d+) ms", line)
                if match:
                    ticks.append((time.monotonic(), int(match.group(1))))

        reader = threading.Thread(target=read_ticks, daemon=True)
        reader.start()
        time.sleep(3)
        before_kib = status_kib(station.pid, "VmRSS:")
        begin = time.monotonic()
        senders = [subprocess.Popen([flood_tool, "--rate", "1000000", "--seconds", str(seconds)],
                                    stdout=subprocess.PIPE, text=True) for _ in range(2)]
        outputs = [s.communicate()[0].split() for s in senders]
        sent = sum(int(out[1]) for out in outputs)
        dropped = max(int(out[3]) for out in outputs)  # both read the same socket's count
        end = time.monotonic()
        after_kib = status_kib(station.pid, "VmRSS:")
        during = [ms for at, ms in ticks if begin + 1 < at <= end]
        after = subprocess.run([flood_tool, "--rate", "1000", "--seconds", "3"],
                               capture_output=True, text=True).stdout.split()
        stop(station)
    worst = max(abs(ms - 1000) for ms in during) if during else None
    return sent / seconds, dropped, len(during), worst, before_kib, after_kib, int(after[3])


def window_ms(binary, runs):
    times = []
    for _ in range(runs):
        with tempfile.TemporaryDirectory() as folder:
            begin = time.perf_counter()
            station = subprocess.Popen([binary], cwd=folder, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL)
            while "NOXA-V4I" not in subprocess.run(["xwininfo", "-root", "-tree"],
                                                   capture_output=True, text=True).stdout:
                time.sleep(0.005)
            times.append((time.perf_counter() - begin) * 1000)
            stop(station)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin", default="build/bin")
    parser.add_argument("--runs", type=int, default=9)
    parser.add_argument("--quiet-seconds", type=float, default=60)
    parser.add_argument("--flood-seconds", type=float, default=10)
    parser.add_argument("--rates", default="10000,20000,30000,40000,50000")
    parser.add_argument("--overload-seconds", type=float, default=30)
    parser.add_argument("--window", action="store_true",
                        help="only the window's start-up, under a display")
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)
    station_bin = os.path.join(args.bin, "noxa-station")
    if args.window:
        print(f"window mapped after: {window_ms(station_bin, args.runs):.0f} ms "
              f"(median of {args.runs})")
        return

    print(f"start-up to first log line: {startup_ms(station_bin, args.runs):.0f} ms "
          f"(median of {args.runs})")

    with tempfile.TemporaryDirectory() as folder:
        station = start_station(station_bin, folder)
        station.stdout.readline()
        time.sleep(3)
        print(f"resident memory after start-up: {status_kib(station.pid, 'VmRSS:')} KiB")
        before = cpu_seconds(station.pid)
        time.sleep(args.quiet_seconds)
        used = cpu_seconds(station.pid) - before
        print(f"CPU over {args.quiet_seconds:.0f} quiet seconds: {used:.2f} s "
              f"({100 * used / args.quiet_seconds:.2f} %)")
        stop(station)

    rates = [int(r) for r in args.rates.split(",")]
    for who, rate, sent, lost in flood(args.bin, rates, args.flood_seconds):
        print(f"flood {who:10} {rate:6}/s for {args.flood_seconds:.0f} s: sent {sent}, lost {lost}")

    rate, dropped, ticks, worst, before, after, lost_after = overload(args.bin,
                                                                      args.overload_seconds)
    print(f"overload: {rate:.0f} reports/s for {args.overload_seconds:.0f} s ({dropped} dropped "
          f"by the kernel); {ticks} ticks, "
          f"worst {worst} ms off the second; memory {before} -> {after} KiB; "
          f"1000/s right after: {lost_after} lost")


if __name__ == "__main__":
    main()
