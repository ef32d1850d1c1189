#!/usr/bin/env python3
"""ApacheBench against a running station: its HTTP/1.0 run (a connection per request, closed
by the server after each answer) and its keep-alive run both finish, every answer a 200.
Usage: ab_http10_test.py NOXA_STATION"""
import re
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request


def free_port():
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(url, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with urllib.request.urlopen(url, timeout=2) as response:
                return response.read()
        except OSError:
            time.sleep(0.1)
    raise AssertionError("no answer from " + url)


def main():
    station = sys.argv[1]
    udp, http = free_port(), free_port()
    url = f"http://127.0.0.1:{http}/api/readings"
    with tempfile.TemporaryDirectory() as folder:
        process = subprocess.Popen(
            [station, "--headless", "--udp-port", str(udp), "--http", str(http)],
            cwd=folder, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wait_for(url)
            for extra in ([], ["-k"]):
                out = subprocess.run(["ab", "-q", "-n", "500", "-c", "8", "-s", "5", *extra, url],
                                     capture_output=True, text=True, timeout=30).stdout
                assert re.search(r"^Complete requests:\s+500$", out, re.M), out
                assert re.search(r"^Failed requests:\s+0$", out, re.M), out
                assert "Non-2xx" not in out, out
        finally:
            process.terminate()
            process.wait(timeout=10)
    print("ab runs finished")


if __name__ == "__main__":
    main()
