#!/usr/bin/env python3
"""The station's web server under ApacheBench and under clients that never read.

  ab            `ab -n N -c 16` (HTTP/1.0, a connection per request) and `ab -k` (keep-alive)
                against /api/readings of a headless station fed by noxa-sim, and against nginx
                serving the same JSON as a static file, in one run: requests/s, failed
                requests, mean and 99th-percentile latency
  tick          the worst delay of the station's once-a-second tick (from the "noxa.ticks"
                debug category) while 60 clients pipeline requests without ever reading an
                answer, each opening a new connection when the station cuts one off; once for
                each route: /api/history, /api/readings, /metrics, the dashboard and an Alpaca
                GET

Usage: bench/web_ab.py [--bin build/bin] [--requests 20000] [--concurrency 16]
                       [--pipeliners 60] [--seconds 15] [--rounds 1]
With --rounds N each server and mode is run N times in turns, and the ratios of the medians are
printed: one run on a shared machine moves by a fifth from one ab run to the next.
Needs ab (Debian "apache2-utils") and nginx (Debian "nginx-light"); nginx runs here as a
private process on a free loopback port with its files in a temporary folder. Nothing but
127.0.0.1 is contacted.
"""
import argparse
import multiprocessing
import os
import re
import statistics
import socket
import subprocess
import tempfile
import threading
import time

from loopback import free_port, start_nginx, wait_http



def run_ab(port, requests, concurrency, keep_alive):
    """ab's figures: requests/s, failed, mean and p99 latency in ms, non-2xx answers."""
    command = ["ab", "-q", "-n", str(requests), "-c", str(concurrency), "-s", "10"]
    if keep_alive:
        command.append("-k")
    out = subprocess.run(command + [f"http://127.0.0.1:{port}/api/readings"],
                         capture_output=True, text=True, timeout=300).stdout

    def number(pattern, default=0.0):
        match = re.search(pattern, out, re.M)
        return float(match.group(1)) if match else default
    return {
        "rate": number(r"^Requests per second:\s+([\d.]+)"),
        "failed": int(number(r"^Failed requests:\s+(\d+)", -1)),
        # ab counts an answer whose length differs from the first one's as failed; the
        # readings' "age_s" changes length as the report ages, so these are no errors.
        "length": int(number(r"Length: (\d+)")),
        "non2xx": int(number(r"^Non-2xx responses:\s+(\d+)")),
        "complete": int(number(r"^Complete requests:\s+(\d+)")),
        "mean": number(r"^Time per request:\s+([\d.]+) \[ms\] \(mean\)"),
        "p99": number(r"^\s+99%\s+(\d+)"),
    }


ROUTES = ["/api/history", "/api/readings", "/metrics", "/",
          "/api/v1/safetymonitor/0/issafe?ClientID=1"]


def pipeliners(port, count, seconds, path):
    """`count` clients for `seconds`, in a process of their own at the lowest priority: on a
    real network they run on other machines, so here they should not take the station's CPU."""
    os.nice(19)
    stop = threading.Event()
    # Each from an address of its own (loopback has all of 127/8), as from as many machines.
    threads = [threading.Thread(target=pipeliner, args=(port, path, f"127.0.1.{1 + i}", stop),
                                daemon=True)
               for i in range(count)]
    for t in threads:
        t.start()
    time.sleep(seconds)
    stop.set()
    for t in threads:
        t.join(timeout=5)


def pipeliner(port, path, source, stop):
    """Sends requests back to back and never reads; reconnects when cut off."""
    request = f"GET {path} HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n".encode() * 64
    while not stop.is_set():
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=1,
                                          source_address=(source, 0)) as s:
                s.settimeout(0.5)
                while not stop.is_set():
                    try:
                        s.sendall(request)
                    except socket.timeout:
                        pass
        except OSError:
            time.sleep(0.05)


def start_station(bin_dir, folder, udp, http, env):
    station_dir = os.path.join(folder, "station")
    os.mkdir(station_dir)
    log = open(os.path.join(folder, "station.log"), "w+")
    station = subprocess.Popen(
        [os.path.join(bin_dir, "noxa-station"), "--headless", "--udp-port", str(udp),
         "--http", str(http)],
        cwd=station_dir, env=env, stdout=log, stderr=subprocess.STDOUT)
    return station, log


def worst_tick(log, mark):
    log.seek(mark)
    ticks = [int(m) for m in re.findall(r"tick after (\d+) ms", log.read())]
    return ticks, (max(abs(t - 1000) for t in ticks) if ticks else None)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default="build/bin")
    parser.add_argument("--requests", type=int, default=20000)
    parser.add_argument("--concurrency", type=int, default=16)
    parser.add_argument("--pipeliners", type=int, default=60)
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--rounds", type=int, default=1,
                        help="ab runs of each server and mode, taken in turns (default: 1)")
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)
    env = dict(os.environ, QT_LOGGING_RULES="noxa.ticks.debug=true", QT_QPA_PLATFORM="offscreen")
    env.pop("DBUS_SESSION_BUS_ADDRESS", None)

    with tempfile.TemporaryDirectory() as folder:
        udp, http, nginx_port = free_port(socket.SOCK_DGRAM), free_port(), free_port()
        station, log = start_station(args.bin, folder, udp, http, env)
        nginx = None
        try:
            url = f"http://127.0.0.1:{http}/api/readings"
            wait_http(url)
            subprocess.run([os.path.join(args.bin, "noxa-sim"), "--port", str(udp), "--count",
                            "1"], check=True, stdout=subprocess.DEVNULL)
            time.sleep(1)
            body = wait_http(url)
            nginx = start_nginx(folder, nginx_port, body)
            wait_http(f"http://127.0.0.1:{nginx_port}/api/readings")

            rows = []
            for _ in range(args.rounds):
                for name, port in (("station", http), ("nginx", nginx_port)):
                    for keep_alive in (False, True):
                        rows.append((name, keep_alive,
                                     run_ab(port, args.requests, args.concurrency, keep_alive)))

            # The tick with nothing to do, for comparison: the machine's own noise.
            log.seek(0, os.SEEK_END)
            mark = log.tell()
            time.sleep(args.seconds)
            quiet, quiet_worst = worst_tick(log, mark)
            floods = []
            for path in ROUTES:
                log.seek(0, os.SEEK_END)
                mark = log.tell()
                flood = multiprocessing.Process(target=pipeliners,
                                                args=(http, args.pipeliners, args.seconds, path))
                flood.start()
                flood.join()
                time.sleep(1.5)
                ticks, worst = worst_tick(log, mark)
                floods.append((path, ticks, worst, bool(wait_http(url, 10))))
        finally:
            if nginx:
                nginx.terminate()
                nginx.wait(timeout=10)
            station.terminate()
            station.wait(timeout=10)

    print(f"ab -n {args.requests} -c {args.concurrency} http://127.0.0.1:PORT/api/readings")
    print(f"{'server':8} {'mode':11} {'requests/s':>10} {'failed':>7} {'length':>7} "
          f"{'non-2xx':>7} {'mean ms':>8} {'p99 ms':>7}")
    for name, keep_alive, r in rows:
        mode = "keep-alive" if keep_alive else "HTTP/1.0"
        print(f"{name:8} {mode:11} {r['rate']:10.0f} {r['failed']:7d} {r['length']:7d} "
              f"{r['non2xx']:7d} {r['mean']:8.3f} {r['p99']:7.0f}")
    print("(failed: all of ab's failed requests; length: those only because the body's length "
          "changed)")
    for keep_alive in (False, True):
        rates = {name: statistics.median(r["rate"] for n, k, r in rows
                                         if n == name and k == keep_alive)
                 for name in ("station", "nginx")}
        mode = "keep-alive" if keep_alive else "HTTP/1.0"
        print(f"{mode}: station / nginx, medians of {args.rounds} runs: "
              f"{rates['station'] / rates['nginx']:.2f}")
    print(f"tick while quiet, {args.seconds:g} s: {len(quiet)} ticks, worst delay "
          f"{quiet_worst} ms")
    for path, ticks, worst, after in floods:
        if worst is None:
            print(f"{path}: no tick timing found in the station's log")
            continue
        print(f"tick under {args.pipeliners} clients that never read {path}, "
              f"{args.seconds:g} s: {len(ticks)} ticks, intervals {min(ticks)}..{max(ticks)} ms, "
              f"worst delay {worst} ms; answered afterwards: {after}")


if __name__ == "__main__":
    main()
