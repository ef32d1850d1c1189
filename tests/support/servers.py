"""Real servers for the network tests, each started privately in a folder of the test on a free
loopback port and stopped by it: mosquitto, PostgreSQL and RabbitMQ's MQTT plugin."""
import os
import shutil
import signal
import socket
import subprocess
import time


def free_port(kind=socket.SOCK_STREAM):
    with socket.socket(socket.AF_INET, kind) as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(condition, seconds=30, what="a condition"):
    """Polls `condition`; `what`, a text or a function giving one, names it on a timeout."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            if condition():
                return
        except OSError:
            pass
        time.sleep(0.1)
    what = what() if callable(what) else what
    raise AssertionError(f"timed out after {seconds} s waiting for {what}")


def accepting(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def stop(process, seconds=20):
    if process and process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class Mosquitto:
    """A broker that keeps its sessions and queued messages across a restart."""

    def __init__(self, folder, port=None):
        self.folder = os.path.join(folder, "mosquitto")
        os.makedirs(self.folder, exist_ok=True)
        self.port = port or free_port()
        self.config = os.path.join(self.folder, "mosquitto.conf")
        with open(self.config, "w") as f:
            f.write(f"listener {self.port} 127.0.0.1\nallow_anonymous true\n"
                    f"persistence true\npersistence_location {self.folder}/\n"
                    "autosave_interval 1\nmax_queued_messages 0\n"
                    "max_inflight_messages 0\n")
        self.process = None

    def start(self):
        self.log = open(os.path.join(self.folder, "mosquitto.log"), "ab")
        self.process = subprocess.Popen(["mosquitto", "-c", self.config],
                                        stdout=self.log, stderr=subprocess.STDOUT)
        wait_for(lambda: accepting(self.port), what="mosquitto")
        return self

    def stop(self):
        stop(self.process)
        self.log.close()

    def restart(self):
        self.stop()
        self.start()


class RabbitMq:
    """RabbitMQ with its MQTT plugin, as a node of its own in the test's folder."""

    SERVER = "/usr/lib/rabbitmq/bin/rabbitmq-server"

    def __init__(self, folder):
        self.folder = os.path.join(folder, "rabbitmq")
        os.makedirs(self.folder, exist_ok=True)
        self.port = free_port()
        with open(os.path.join(self.folder, "rabbitmq.conf"), "w") as f:
            f.write(f"listeners.tcp = none\nmqtt.listeners.tcp.default = 127.0.0.1:{self.port}\n"
                    "mqtt.allow_anonymous = true\nloopback_users = none\n")
        with open(os.path.join(self.folder, "enabled_plugins"), "w") as f:
            f.write("[rabbitmq_mqtt].\n")
        name = f"noxa{self.port}"
        self.env = dict(os.environ, HOME=self.folder,
                        RABBITMQ_MNESIA_BASE=os.path.join(self.folder, "mnesia"),
                        RABBITMQ_LOG_BASE=os.path.join(self.folder, "log"),
                        RABBITMQ_CONFIG_FILE=os.path.join(self.folder, "rabbitmq.conf"),
                        RABBITMQ_ENABLED_PLUGINS_FILE=os.path.join(self.folder, "enabled_plugins"),
                        RABBITMQ_NODENAME=f"{name}@localhost", RABBITMQ_NODE_PORT="0",
                        RABBITMQ_DIST_PORT=str(free_port()), ERL_EPMD_PORT=str(free_port()),
                        RABBITMQ_PID_FILE=os.path.join(self.folder, "pid"))
        self.env.pop("RABBITMQ_ALLOW_INPUT", None)
        self.process = None

    def start(self):
        self.log = open(os.path.join(self.folder, "server.log"), "ab")
        self.process = subprocess.Popen([self.SERVER], env=self.env, stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=subprocess.STDOUT,
                                        start_new_session=True)
        wait_for(lambda: accepting(self.port), seconds=90, what="RabbitMQ's MQTT listener")
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(timeout=30)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        # The node's own port mapper outlives it.
        subprocess.run(["epmd", "-kill"], env=self.env, check=False, capture_output=True)
        self.log.close()


def available(*programs):
    return all(shutil.which(p) or os.path.exists(p) for p in programs)


class Relay:
    """A TCP relay to a local port (socat); stopping it cuts every connection through it."""

    def __init__(self, port, target):
        self.port, self.target = port, target
        self.process = None

    def start(self):
        self.process = subprocess.Popen(
            ["socat", f"TCP-LISTEN:{self.port},bind=127.0.0.1,reuseaddr,fork",
             f"TCP:127.0.0.1:{self.target}"], start_new_session=True,
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(lambda: accepting(self.port), what="the relay")
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
