"""The project's programs as the network tests run them: a headless station in a folder of its
own, fed by its own simulator, and an archive."""
import os
import signal
import subprocess
import time

import servers
from station_records import data_file_records


class Station:
    def __init__(self, bin_dir, folder, index, broker_port, record_seconds):
        self.name = f"F{index:03d}"
        self.folder = os.path.join(folder, self.name)
        self.bin = bin_dir
        self.udp = servers.free_port(servers.socket.SOCK_DGRAM)
        os.makedirs(self.folder)
        subprocess.run([os.path.join(bin_dir, "noxa-station"), f"--set=station={self.name}",
                        f"--set=record_seconds={record_seconds}"], cwd=self.folder, check=True,
                       capture_output=True)
        self.point_at(broker_port)
        self.process = self.sim = None
        self.peak_rss_kib = 0
        self.cpu_seconds = 0.0

    def point_at(self, port):
        with open(os.path.join(self.folder, "noxa-station.ini"), "w") as f:
            f.write(f"[mqtt]\nhost=127.0.0.1:{port}\n")

    def start(self):
        self.log = open(os.path.join(self.folder, "station.log"), "ab")
        self.process = subprocess.Popen(
            [os.path.join(self.bin, "noxa-station"), "--headless", "--udp-port", str(self.udp)],
            cwd=self.folder, stdout=self.log, stderr=subprocess.STDOUT,
            env=dict(os.environ, TZ="UTC", QT_QPA_PLATFORM="offscreen"))
        self.started = time.monotonic()
        if self.sim is None:
            self.sim = subprocess.Popen(
                [os.path.join(self.bin, "noxa-sim"), "--name", self.name, "--port", str(self.udp),
                 "--interval-ms", "500", "--seed", str(self.udp)],
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def sample(self):
        """Keeps the peak resident memory and the CPU time of the running process."""
        try:
            with open(f"/proc/{self.process.pid}/status") as f:
                for line in f:
                    if line.startswith("VmRSS:"):
                        self.peak_rss_kib = max(self.peak_rss_kib, int(line.split()[1]))
            with open(f"/proc/{self.process.pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            ticks = int(fields[11]) + int(fields[12])
            self.cpu_now = ticks / os.sysconf("SC_CLK_TCK")
        except (OSError, IndexError, ValueError):
            pass

    def stop(self):
        self.sample()
        self.cpu_seconds += getattr(self, "cpu_now", 0.0)
        self.cpu_now = 0.0
        servers.stop(self.process)
        self.log.close()

    def stop_sim(self):
        servers.stop(self.sim)

    def records(self):
        return data_file_records(self.folder)


class Archive:
    def __init__(self, bin_dir, folder, name, broker_port, db):
        self.folder = os.path.join(folder, f"archive-{name}")
        os.makedirs(self.folder, exist_ok=True)
        self.command = [os.path.join(bin_dir, "noxa-archive"), "--name", name, "--mqtt",
                        f"127.0.0.1:{broker_port}", "--db", db]
        self.process = None

    def start(self):
        self.log = open(os.path.join(self.folder, "archive.log"), "ab")
        self.process = subprocess.Popen(self.command, cwd=self.folder, stdout=self.log,
                                        stderr=subprocess.STDOUT)

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait()
        self.log.close()

    def stop(self):
        servers.stop(self.process)
        self.log.close()
