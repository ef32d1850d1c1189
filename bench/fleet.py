#!/usr/bin/env python3
"""The whole fleet run: 100 stations at a record a minute, publishing through one mosquitto to
an archive into PostgreSQL and one into SQLite, with every fault of the test's short version at
full length (the database stopped for a minute, one station without its broker for five
records). About 25 minutes; prints the latency from a record's end to its commit and each
station's memory and CPU.

Usage: bench/fleet.py [--bin build/bin] [fleet_test.py's options]"""
import os
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
test = os.path.join(here, "..", "tests", "network", "fleet_test.py")
args = sys.argv[1:]
bin_dir = os.path.join(here, "..", "build", "bin")
if "--bin" in args:
    i = args.index("--bin")
    bin_dir = args[i + 1]
    del args[i:i + 2]
full = ["--stations", "100", "--record-seconds", "60", "--phase-seconds", "180",
        "--db-outage-seconds", "60"]
sys.exit(subprocess.call([sys.executable, test, bin_dir] + full + args))
