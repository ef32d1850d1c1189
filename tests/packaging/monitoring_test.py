#!/usr/bin/env python3
"""The packaged alert rules and Grafana dashboard against live data. promtool accepts the rules;
a Prometheus started here loads them and scrapes a headless station fed by the simulator (and
noxa-archive, when it is built), and then:
- every rule is healthy, and every expression of the dashboard (its panels, and its variables'
  label_values() as the equivalent `group by`) evaluates without error and gives data;
- an alert's expression is empty while all is well, so each series it reads must give data
  instead, and no alert beyond an unsafe sky is active;
- stopping the simulator and then the station raises the alerts for a silent photometer and a
  station down.
Usage: monitoring_test.py RULES DASHBOARD BIN_DIR"""
import getpass
import json
import os
import re
import socket
import subprocess
import sys
import tempfile
import urllib.error
import urllib.parse
import urllib.request

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from servers import free_port, wait_for  # noqa: E402

# What Grafana puts in for its own variable in a range query, with a 1 s scrape interval.
GRAFANA_BUILTINS = {"$__rate_interval": "10s", "$__interval": "2s", "$__range": "1m"}
# The series a rule or panel reads: ours and Prometheus' own `up`.
SELECTOR = re.compile(r'(?<![\w$])(up|noxa_\w+)(\{[^}]*\})?')


def api(port, path, **params):
    url = f"http://127.0.0.1:{port}/api/v1/{path}?" + urllib.parse.urlencode(params)
    try:
        with urllib.request.urlopen(url, timeout=5) as response:
            return json.loads(response.read())["data"]
    except urllib.error.HTTPError as error:
        if error.code != 400:  # 400: a query Prometheus cannot evaluate
            raise
        raise AssertionError(f"{params}: {error.read().decode()}") from None


def needs_archive(expr):
    return "noxa_archive_" in expr or 'job="noxa-archive"' in expr


def dashboard_queries(path):
    """(title, expression) of every panel target and query variable, the variables put in as
    they are when "All" is chosen."""
    with open(path) as f:
        dashboard = json.load(f)
    variables = dict(GRAFANA_BUILTINS)
    queries = []
    for variable in dashboard["templating"]["list"]:
        if variable["type"] != "query":
            continue
        variables["$" + variable["name"]] = variable["allValue"]
        metric, label = re.fullmatch(r"label_values\((\w+), (\w+)\)",
                                     variable["definition"]).groups()
        queries.append((f"variable {variable['name']}", f"group by ({label}) ({metric})"))
    for panel in dashboard["panels"]:
        for target in panel.get("targets", []):
            assert panel["datasource"]["uid"] == target["datasource"]["uid"] == "${DS_PROMETHEUS}"
            expr = target["expr"]
            for name in sorted(variables, key=len, reverse=True):
                expr = expr.replace(name, variables[name])
            queries.append((panel["title"], expr))
    return queries


def rule_queries(rules):
    """(name, expression): a recording rule's expression, and for an alert each series it
    reads."""
    queries = []
    for rule in rules:
        if rule["type"] == "alerting":
            queries += [(rule["name"], m.group(0)) for m in SELECTOR.finditer(rule["query"])]
        else:
            queries.append((rule["name"], rule["query"]))
    return queries


def all_rules(port):
    return [rule for group in api(port, "rules")["groups"] for rule in group["rules"]]


def active_alerts(port):
    return {(a["labels"]["alertname"], a["labels"]["severity"])
            for a in api(port, "alerts")["alerts"]}


class Services:
    """The processes of the test, each in a folder of its own, stopped in reverse order."""

    def __init__(self, folder):
        self.folder, self.processes = folder, {}

    def start(self, name, command, config=None):
        cwd = os.path.join(self.folder, name)
        os.makedirs(cwd, exist_ok=True)
        if config:
            with open(os.path.join(cwd, config[0]), "w") as f:
                f.write(config[1])
        with open(os.path.join(cwd, "output.log"), "w") as log:
            self.processes[name] = subprocess.Popen(command, cwd=cwd, stdout=log,
                                                    stderr=subprocess.STDOUT)

    def stop(self, name):
        process = self.processes.pop(name)
        process.terminate()
        process.wait(timeout=20)

    def stop_all(self):
        for name in reversed(list(self.processes)):
            self.stop(name)


def start_station(services, bin_dir, udp, http, broker):
    station = os.path.join(bin_dir, "noxa-station")
    folder = os.path.join(services.folder, "station")
    os.makedirs(folder)
    # A chart interval of 2 s, so that the cloud cover is known within seconds; a record a
    # second, so that an archive's newest record stays well within the stale limit of 4 s.
    subprocess.run([station, "--set", "chart_seconds=2", "--set", "record_seconds=1"],
                   cwd=folder, check=True, stdout=subprocess.DEVNULL)
    services.start("station", [station, "--headless", "--udp-port", str(udp), "--http", str(http),
                               "--mqtt", f"127.0.0.1:{broker}", "--stale-seconds", "4"])
    services.start("sim", [os.path.join(bin_dir, "noxa-sim"), "--port", str(udp),
                           "--interval-ms", "200"])


def start_archive(services, bin_dir, broker, http):
    """noxa-archive with its database in its folder, subscribed to the test's broker and
    serving /metrics on a loopback port. False when it is not built."""
    archive = os.path.join(bin_dir, "noxa-archive")
    if not os.path.exists(archive):
        print("noxa-archive not built: its expressions are checked for errors but not for data")
        return False
    services.start("archive", [archive, "--mqtt", f"127.0.0.1:{broker}", "--http", str(http)])
    return True


def prometheus_config(rules, jobs):
    text = (f"global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
            f"rule_files:\n  - {rules}\nscrape_configs:\n")
    for job, port in jobs.items():
        text += f"  - job_name: {job}\n    static_configs:\n      - targets: ['127.0.0.1:{port}']\n"
    return text


def check_queries(port, queries, archive):
    """Every query evaluates without error; every one gives data, but those that read the
    archive only when it runs."""
    required = [(title, expr) for title, expr in queries if archive or not needs_archive(expr)]
    for _, expr in queries:
        api(port, "query", query=expr)

    def empty():
        return [f"{t}: {e}" for t, e in required if not api(port, "query", query=e)["result"]]
    wait_for(lambda: not empty(), 60, lambda: "data for " + "; ".join(empty()))
    return len(required)


def check_alerts(port, services):
    """No alert but an unsafe sky while all is well; then each fault raises its alert."""
    def equipment_alerts():
        return {alert for alert in active_alerts(port) if alert[1] != "info"}
    wait_for(lambda: not equipment_alerts(), 60, lambda: f"no alerts, not {equipment_alerts()}")
    for process, alert in (("sim", "NoxaInstrumentSilent"), ("station", "NoxaStationDown")):
        services.stop(process)
        wait_for(lambda: alert in {name for name, _ in active_alerts(port)}, 60, alert)


def main():
    rules, dashboard, bin_dir = map(os.path.abspath, sys.argv[1:4])
    subprocess.run(["promtool", "check", "rules", rules], check=True, stdout=subprocess.DEVNULL)
    ports = {name: free_port() for name in ("broker", "station", "archive", "prometheus")}
    udp = free_port(socket.SOCK_DGRAM)
    with tempfile.TemporaryDirectory() as folder:
        services = Services(folder)
        try:
            services.start("broker", ["/usr/sbin/mosquitto", "-c", "mosquitto.conf"],
                           ("mosquitto.conf", f"listener {ports['broker']} 127.0.0.1\n"
                            f"persistence false\nallow_anonymous true\nuser {getpass.getuser()}\n"))
            start_station(services, bin_dir, udp, ports["station"], ports["broker"])
            archive = start_archive(services, bin_dir, ports["broker"], ports["archive"])
            jobs = {"noxa-station": ports["station"]}
            if archive:
                jobs["noxa-archive"] = ports["archive"]
            services.start("prometheus", [
                "prometheus", "--config.file", "prometheus.yml", "--storage.tsdb.path", "tsdb",
                f"--web.listen-address=127.0.0.1:{ports['prometheus']}"],
                ("prometheus.yml", prometheus_config(rules, jobs)))
            prom = ports["prometheus"]

            def unhealthy():
                return [f"{r['name']} ({r['health']}: {r.get('lastError')})"
                        for r in all_rules(prom) if r["health"] != "ok"]
            wait_for(lambda: all_rules(prom) and not unhealthy(), 60,
                     lambda: "healthy rules, not " + ", ".join(unhealthy()))
            queries = rule_queries(all_rules(prom)) + dashboard_queries(dashboard)
            count = check_queries(prom, queries, archive)
            check_alerts(prom, services)
        finally:
            services.stop_all()
    print(f"{count} expressions gave data; the alerts fired")


if __name__ == "__main__":
    main()
