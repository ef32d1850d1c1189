"""A PostgreSQL server of a test's own: Debian's postgresql-15 in a temporary folder, its
socket there too, listening on a free port of 127.0.0.1, with trust authentication for one
user. As root (CI) it runs as the user "nobody", since the server refuses to run as root.

    with PostgresServer() as pg:
        pg.url            # postgresql://archive@127.0.0.1:PORT/archive
        pg.query("SELECT 1")  # rows as lists of text
"""
import os
import pwd
import shutil
import socket
import subprocess
import tempfile

BIN = "/usr/lib/postgresql/15/bin"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class PostgresServer:
    def __init__(self, user="archive", database="archive"):
        self.user, self.database = user, database
        self.dir = tempfile.mkdtemp(prefix="noxa-pg-")
        self.data = os.path.join(self.dir, "data")
        self.port = free_port()
        self.url = f"postgresql://{user}@127.0.0.1:{self.port}/{database}"
        self._runas = []
        if os.getuid() == 0:
            nobody = pwd.getpwnam("nobody")
            os.chown(self.dir, nobody.pw_uid, nobody.pw_gid)
            self._runas = ["runuser", "-u", "nobody", "--"]
        os.chmod(self.dir, 0o755)

    def _run(self, *command):
        subprocess.run(self._runas + list(command), check=True, cwd=self.dir,
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)

    def start(self):
        """Starts the server; the first start makes the cluster and the database, a later one
        (after stop()) finds them again."""
        first = not os.path.exists(self.data)
        if first:
            self._run(f"{BIN}/initdb", "-D", self.data, "-U", self.user, "--auth=trust",
                      "--no-sync", "-E", "UTF8")
        options = f"-k {self.dir} -p {self.port} -c listen_addresses=127.0.0.1 -c fsync=off"
        self._run(f"{BIN}/pg_ctl", "-D", self.data, "-o", options,
                  "-l", os.path.join(self.dir, "server.log"), "-w", "start")
        if first:
            self.query(f"CREATE DATABASE {self.database}", database="postgres")
        return self

    def stop(self):
        if os.path.exists(os.path.join(self.data, "postmaster.pid")):
            self._run(f"{BIN}/pg_ctl", "-D", self.data, "-m", "fast", "-w", "stop")

    def query(self, sql, database=None):
        out = subprocess.run(
            ["psql", "-h", "127.0.0.1", "-p", str(self.port), "-U", self.user,
             "-d", database or self.database, "-X", "-q", "-A", "-t", "-F", "\t",
             "-v", "ON_ERROR_STOP=1", "-c", sql],
            check=True, capture_output=True, text=True).stdout
        return [line.split("\t") for line in out.splitlines() if line]

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.close()

    def close(self):
        """Stops the server and removes its folder."""
        self.stop()
        shutil.rmtree(self.dir, ignore_errors=True)
