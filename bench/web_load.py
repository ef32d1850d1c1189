#!/usr/bin/env python3
"""/api/readings of the station's web server against nginx serving the same JSON as a file.

Both are measured in one run with the same client: keep-alive connections on loopback, each
sending its next request as soon as the answer is in, for a bounded time. nginx runs with one
worker, as the station answers on its one thread. During the station's flood the once-a-second
tick's timing is read from the "noxa.ticks" debug category, and its worst delay is reported.

Usage: bench/web_load.py [--bin build/bin] [--seconds 10] [--connections 16] [--clients 1]
Needs nginx (Debian "nginx"); started here on a free loopback port with a configuration in a
temporary folder. Nothing but 127.0.0.1 is contacted.
"""
import argparse
import asyncio
import multiprocessing
import os
import re
import socket
import subprocess
import tempfile
import time

from loopback import free_port, start_nginx, wait_http




async def connection(port, deadline, counts):
    reader, writer = await asyncio.open_connection("127.0.0.1", port)
    request = b"GET /api/readings HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"
    done = 0
    try:
        while time.monotonic() < deadline:
            writer.write(request)
            head = await reader.readuntil(b"\r\n\r\n")
            if not head.startswith(b"HTTP/1.1 200"):
                raise RuntimeError(head[:40])
            length = int(re.search(rb"(?i)content-length: *(\d+)", head).group(1))
            await reader.readexactly(length)
            done += 1
    finally:
        counts.append(done)
        writer.close()


def client(port, seconds, connections, queue):
    async def run():
        deadline = time.monotonic() + seconds
        counts = []
        await asyncio.gather(*(connection(port, deadline, counts) for _ in range(connections)))
        return sum(counts)
    try:
        queue.put(asyncio.run(run()))
    except BaseException as error:
        queue.put(error)
        raise


def load(port, seconds, connections, clients):
    """Requests per second over `clients` processes of `connections` connections each."""
    queue = multiprocessing.Queue()
    workers = [multiprocessing.Process(target=client, args=(port, seconds, connections, queue))
               for _ in range(clients)]
    start = time.monotonic()
    for w in workers:
        w.start()
    results = [queue.get() for _ in workers]
    for result in results:
        if isinstance(result, BaseException):
            raise RuntimeError(f"client failed: {result!r}")
    total = sum(results)
    for w in workers:
        w.join()
    return total / (time.monotonic() - start)




def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bin", default="build/bin")
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--connections", type=int, default=16)
    parser.add_argument("--clients", type=int, default=1, help="client processes")
    args = parser.parse_args()
    args.bin = os.path.abspath(args.bin)

    with tempfile.TemporaryDirectory() as folder:
        # nginx's worker runs as another user when started by root.
        os.chmod(folder, 0o755)
        udp, http, nginx_port = free_port(socket.SOCK_DGRAM), free_port(), free_port()
        env = dict(os.environ, QT_LOGGING_RULES="noxa.ticks.debug=true", QT_QPA_PLATFORM="offscreen")
        env.pop("DBUS_SESSION_BUS_ADDRESS", None)
        os.mkdir(os.path.join(folder, "station"))
        log = open(os.path.join(folder, "ticks.log"), "w+")
        station = subprocess.Popen(
            [os.path.join(args.bin, "noxa-station"), "--headless", "--udp-port", str(udp),
             "--http", str(http)],
            cwd=os.path.join(folder, "station"), env=env, stdout=subprocess.DEVNULL, stderr=log)
        web = os.path.join(folder, "nginx")
        proxy = start_nginx(folder, nginx_port, b"")
        try:
            url = f"http://127.0.0.1:{http}/api/readings"
            wait_http(url)
            subprocess.run([os.path.join(args.bin, "noxa-sim"), "--port", str(udp), "--count", "1"],
                           check=True, stdout=subprocess.DEVNULL)
            time.sleep(1)
            with open(os.path.join(web, "www", "readings.json"), "wb") as f:
                f.write(wait_http(url))
            wait_http(f"http://127.0.0.1:{nginx_port}/api/readings")

            nginx_rate = load(nginx_port, args.seconds, args.connections, args.clients)
            log.seek(0, os.SEEK_END)
            mark = log.tell()
            station_rate = load(http, args.seconds, args.connections, args.clients)
            time.sleep(1.5)
            log.seek(mark)
            ticks = [int(m) for m in re.findall(r"tick after (\d+) ms", log.read())]
        finally:
            proxy.terminate()
            station.terminate()
            proxy.wait(timeout=10)
            station.wait(timeout=10)

    print(f"client: {args.clients} process(es) x {args.connections} keep-alive connections, "
          f"{args.seconds:g} s each")
    print(f"nginx (1 worker, static file): {nginx_rate:10.0f} requests/s")
    print(f"station /api/readings:         {station_rate:10.0f} requests/s "
          f"({100 * station_rate / nginx_rate:.0f} % of nginx)")
    if ticks:
        worst = max(abs(t - 1000) for t in ticks)
        print(f"tick during the station's flood: {len(ticks)} ticks, intervals "
              f"{min(ticks)}..{max(ticks)} ms, worst delay {worst} ms")
    else:
        print("no tick timing found in the log")


if __name__ == "__main__":
    main()
