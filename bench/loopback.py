"""What the measuring scripts share: they talk only to servers they start on 127.0.0.1."""

import os
import shutil
import socket
import subprocess
import time
import urllib.request


def free_port(kind=socket.SOCK_STREAM):
    """A port of 127.0.0.1 that is free now, for a server the script is about to start."""
    with socket.socket(socket.AF_INET, kind) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


# nginx serving a file as /api/readings, for comparison with the station's web server.
NGINX_CONF = """
daemon off;
worker_processes 1;
pid {dir}/nginx.pid;
error_log {dir}/error.log;
events {{ worker_connections 1024; }}
http {{
    access_log off;
    keepalive_requests 100000000;
    keepalive_timeout 60s;
    client_body_temp_path {dir}/tmp;
    proxy_temp_path {dir}/tmp;
    fastcgi_temp_path {dir}/tmp;
    uwsgi_temp_path {dir}/tmp;
    scgi_temp_path {dir}/tmp;
    server {{
        listen 127.0.0.1:{port};
        root {dir}/www;
        location = /api/readings {{
            default_type application/json;
            add_header Cache-Control no-store;
            try_files /readings.json =404;
        }}
    }}
}}
"""


def wait_http(url, seconds=20):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        try:
            with urllib.request.urlopen(url, timeout=2) as r:
                return r.read()
        except OSError:
            time.sleep(0.1)
    raise RuntimeError("no answer from " + url)


def start_nginx(folder, port, body):
    web = os.path.join(folder, "nginx")
    os.makedirs(os.path.join(web, "www"))
    os.makedirs(os.path.join(web, "tmp"))
    # nginx's worker runs as another user when started by root.
    for path in (folder, web, os.path.join(web, "www")):
        os.chmod(path, 0o755)
    with open(os.path.join(web, "www", "readings.json"), "wb") as f:
        f.write(body)
    with open(os.path.join(web, "nginx.conf"), "w") as conf:
        conf.write(NGINX_CONF.format(dir=web, port=port))
    nginx = shutil.which("nginx") or "/usr/sbin/nginx"
    return subprocess.Popen([nginx, "-c", os.path.join(web, "nginx.conf"), "-p", web],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
