#!/usr/bin/env python3
"""How many reports a second the headless station takes with nothing lost, beside a plain
receiving loop (noxa-flood --sink: recv() and count) on the same port of 127.0.0.1, in one run.

For each receiver the rate is raised step by step, and then bisected, until the kernel drops
datagrams at the port; the highest rate with nothing dropped is the receiver's figure. The
station's figure over the plain loop's is the share of the machine's ingest the station keeps.
"""

import argparse
import os
import subprocess
import sys
import tempfile
import time

from loopback import free_port


def trial(flood_tool, port, rate, seconds):
    """Sends at `rate` for `seconds`; returns (sent, dropped, rate reached)."""
    out = subprocess.run([flood_tool, "--rate", str(rate), "--seconds", str(seconds),
                          "--port", str(port)], capture_output=True, text=True, check=True)
    words = out.stdout.split()
    return int(words[1]), int(words[3]), float(words[5].rstrip("/s"))


def start_station(bin_dir, folder, port):
    station = subprocess.Popen([os.path.join(bin_dir, "noxa-station"), "--headless",
                                "--udp-port", str(port)], cwd=folder, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True)
    station.stdout.readline()  # the first log line: the station has started
    time.sleep(1)
    return station


def start_sink(bin_dir, port, seconds):
    sink = subprocess.Popen([os.path.join(bin_dir, "noxa-flood"), "--sink", "--port", str(port),
                             "--seconds", str(seconds)], stdout=subprocess.PIPE, text=True)
    time.sleep(0.3)
    return sink


def lossless_rate(try_rate, first, steps):
    """The highest rate reached with nothing dropped: doubling from `first`, then `steps`
    bisections. `try_rate(rate)` returns (nothing lost, rate the sender reached); a sender that
    falls short of the rate asked is the limit, and the search ends there."""
    good, bad, best, sender_bound = 0, None, 0.0, False
    rate = first
    while bad is None and rate <= 3_200_000:
        lossless, real = try_rate(rate)
        if not lossless:
            bad = rate
        else:
            good, best = rate, max(best, real)
            if real < 0.95 * rate:
                return best, True
            rate *= 2
    for _ in range(steps if bad else 0):
        middle = (good + bad) // 2
        lossless, real = try_rate(middle)
        if lossless:
            good, best = middle, max(best, real)
            if real < 0.95 * middle:
                sender_bound = True
                break
        else:
            bad = middle
    return best, sender_bound


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--bin", default="build/bin")
    parser.add_argument("--seconds", type=float, default=3)
    parser.add_argument("--first-rate", type=int, default=25000)
    parser.add_argument("--steps", type=int, default=4)
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)
    flood_tool = os.path.join(args.bin, "noxa-flood")

    def station_rate():
        port = free_port(kind=2)  # SOCK_DGRAM
        with tempfile.TemporaryDirectory() as folder:
            station = start_station(args.bin, folder, port)

            def ok(rate):
                sent, dropped, real = trial(flood_tool, port, rate, args.seconds)
                print(f"  station     {rate:>9}/s sent {sent:>9} dropped {dropped}", flush=True)
                return dropped == 0, real

            try:
                return lossless_rate(ok, args.first_rate, args.steps)
            finally:
                station.terminate()
                station.wait(10)

    def plain_rate():
        port = free_port(kind=2)

        def ok(rate):
            sink = start_sink(args.bin, port, args.seconds + 1.5)
            sent, dropped, real = trial(flood_tool, port, rate, args.seconds)
            received = int(sink.communicate()[0].split()[1])
            print(f"  plain loop  {rate:>9}/s sent {sent:>9} dropped {dropped} "
                  f"received {received}", flush=True)
            return dropped == 0 and received == sent, real

        return lossless_rate(ok, args.first_rate, args.steps)

    plain, plain_bound = plain_rate()
    station, station_bound = station_rate()
    note = {True: " (the sender's limit)", False: ""}
    print()
    print("| receiver | reports/s with nothing lost |")
    print("|---|---|")
    print(f"| plain recv loop (noxa-flood --sink) | {plain:,.0f}{note[plain_bound]} |")
    print(f"| headless station | {station:,.0f}{note[station_bound]} |")
    share = station / plain if plain else 0
    print(f"| station / plain loop | {share:.2f} |")
    return 0 if share >= 0.9 else 1


if __name__ == "__main__":
    sys.exit(main())
