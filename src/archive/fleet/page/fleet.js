"use strict";
// The fleet page: every station as a card, refreshed every half minute; a tap on a card opens
// its last 24 hours of sky brightness, drawn here from /api/records.
(function () {
  var POLL_MS = 30000;
  var DAY_MS = 86400000;

  var root = document.documentElement;
  var open = null;     // the id of the station whose chart is open
  var records = null;  // its records

  function $(id) { return document.getElementById(id); }

  function ageText(seconds) {
    if (seconds === null) return "No record yet";
    if (seconds < 90) return "Last record " + Math.max(0, Math.round(seconds)) + " s ago";
    if (seconds < 5400) return "Last record " + Math.round(seconds / 60) + " min ago";
    if (seconds < 172800) return "Last record " + Math.round(seconds / 3600) + " h ago";
    return "Last record " + Math.round(seconds / 86400) + " days ago";
  }

  function magText(v) { return typeof v === "number" ? v.toFixed(2) : "–"; }

  function element(tag, className, text) {
    var e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function card(s) {
    var li = element("li");
    li.setAttribute("data-station", s.station);
    li.classList.toggle("stale", s.stale);
    li.classList.toggle("online", s.availability === "online");
    li.classList.toggle("offline", s.availability === "offline");
    var button = element("button", "station card");
    button.type = "button";
    button.setAttribute("aria-expanded", s.station === open ? "true" : "false");
    var title = element("div", "name");
    var dot = element("span", "dot");
    dot.setAttribute("aria-hidden", "true");
    title.appendChild(dot);
    title.appendChild(document.createTextNode(s.name || s.station));
    button.appendChild(title);
    var facts = element("div", "facts");
    facts.appendChild(element("span", "availability", s.availability || "availability unknown"));
    facts.appendChild(element("span", "age", ageText(s.age_seconds)));
    facts.appendChild(element("span", "silent", "Silent"));
    var verdict = element("span", "verdict" + (s.safe === true ? " safe" : ""),
      s.safe === true ? "Sky safe" : s.safe === false ? "Sky unsafe" : "Safety unknown");
    facts.appendChild(verdict);
    button.appendChild(facts);
    var figures = element("div", "figures");
    [["mag", s.mag_v, "mag/arcsec² now"], ["median", s.last_night_median, "last night, dark sky median"]]
      .forEach(function (f) {
        var figure = element("div", "figure");
        figure.appendChild(element("span", f[0], magText(f[1])));
        figure.appendChild(element("span", "unit", f[2]));
        figures.appendChild(figure);
      });
    button.appendChild(figures);
    button.addEventListener("click", function () { toggle(s, li); });
    li.appendChild(button);
    return li;
  }

  function show(stations) {
    var list = $("stations");
    var detail = $("detail");
    detail.hidden = true;
    document.body.appendChild(detail);
    while (list.firstChild) list.removeChild(list.firstChild);
    stations.forEach(function (s) {
      var li = card(s);
      list.appendChild(li);
      if (s.station === open) { li.appendChild(detail); detail.hidden = false; }
    });
    var silent = stations.filter(function (s) { return s.stale; }).length;
    $("summary").textContent = stations.length + (stations.length === 1 ? " station" : " stations") +
      (silent ? ", " + silent + " silent" : "");
    drawChart();
  }

  function poll() {
    fetch("/api/stations", { cache: "no-store" })
      .then(function (response) {
        if (!response.ok) throw new Error(response.status);
        return response.json();
      })
      .then(show)
      .catch(function () { $("summary").textContent = "No connection to the archive"; })
      .then(function () { setTimeout(poll, POLL_MS); });
  }

  function toggle(s, li) {
    var detail = $("detail");
    if (open === s.station) {
      open = null;
      detail.hidden = true;
      li.querySelector("button").setAttribute("aria-expanded", "false");
      return;
    }
    var was = document.querySelector('[aria-expanded="true"]');
    if (was) was.setAttribute("aria-expanded", "false");
    li.querySelector("button").setAttribute("aria-expanded", "true");
    open = s.station;
    records = null;
    li.appendChild(detail);
    detail.hidden = false;
    $("detail-title").textContent = s.name || s.station;
    var query = "/api/records?station=" + encodeURIComponent(s.station) +
      "&from=" + (Date.now() - DAY_MS);
    $("detail-csv").href = query + "&format=csv";
    $("detail-json").href = query;
    $("detail-note").textContent = "Loading";
    drawChart();
    fetch(query, { cache: "no-store" })
      .then(function (response) {
        if (!response.ok) throw new Error(response.status);
        return response.json();
      })
      .then(function (list) {
        if (open !== s.station) return;
        records = list;
        $("detail-note").textContent = list.length + " records";
        drawChart();
      })
      .catch(function () { $("detail-note").textContent = "The records could not be loaded"; });
  }

  function niceStep(range, count) {
    var raw = range / count;
    var power = Math.pow(10, Math.floor(Math.log10(raw)));
    var n = raw / power;
    return (n < 1.5 ? 1 : n < 3 ? 2 : n < 7 ? 5 : 10) * power;
  }

  // The sky brightness of the open station's records; a gap where a record has none or where
  // records are more than half an hour apart.
  function drawChart() {
    var canvas = $("chart");
    if ($("detail").hidden) return;
    var style = getComputedStyle(root);
    var css = function (name) { return style.getPropertyValue(name).trim(); };
    var ratio = window.devicePixelRatio || 1;
    var width = canvas.clientWidth, height = canvas.clientHeight;
    if (!width || !height) return;
    canvas.width = Math.round(width * ratio);
    canvas.height = Math.round(height * ratio);
    var g = canvas.getContext("2d");
    g.setTransform(ratio, 0, 0, ratio, 0, 0);
    g.clearRect(0, 0, width, height);
    g.font = "12px system-ui, sans-serif";
    g.strokeStyle = css("--grid");
    g.fillStyle = css("--muted");
    g.lineWidth = 1;
    var points = (records || []).filter(function (r) { return r.mag_v !== null; })
      .map(function (r) { return { t: Date.parse(r.end), v: r.mag_v }; });
    canvas.setAttribute("data-points", points.length);
    if (!points.length) {
      g.textAlign = "center";
      g.fillText(records ? "No sky brightness in the last 24 hours" : "Loading", width / 2, height / 2);
      return;
    }
    var lo = Infinity, hi = -Infinity;
    points.forEach(function (p) { lo = Math.min(lo, p.v); hi = Math.max(hi, p.v); });
    var t1 = Date.now(), t0 = t1 - DAY_MS;
    if (hi - lo < 0.5) { var mid = (hi + lo) / 2; lo = mid - 0.25; hi = mid + 0.25; }
    var step = niceStep(hi - lo, 4);
    lo = Math.floor(lo / step) * step; hi = Math.ceil(hi / step) * step;
    var left = 44, right = 10, top = 10, bottom = 24;
    var w = width - left - right, h = height - top - bottom;
    var x = function (t) { return left + (t - t0) / (t1 - t0) * w; };
    var y = function (v) { return top + (hi - v) / (hi - lo) * h; };
    g.textAlign = "right";
    g.textBaseline = "middle";
    for (var v = lo; v <= hi + step / 2; v += step) {
      g.beginPath(); g.moveTo(left, Math.round(y(v)) + 0.5); g.lineTo(left + w, Math.round(y(v)) + 0.5); g.stroke();
      g.fillText(v.toFixed(step < 1 ? 1 : 0), left - 6, y(v));
    }
    g.textAlign = "center";
    g.textBaseline = "top";
    var every = (width < 500 ? 6 : 3) * 3600000;
    var offset = new Date(t0).getTimezoneOffset() * 60000;
    for (var t = Math.ceil((t0 - offset) / every) * every + offset; t <= t1; t += every) {
      var d = new Date(t);
      g.beginPath(); g.moveTo(Math.round(x(t)) + 0.5, top); g.lineTo(Math.round(x(t)) + 0.5, top + h); g.stroke();
      g.fillText(String(d.getHours()).padStart(2, "0") + ":00", x(t), top + h + 6);
    }
    g.strokeStyle = css("--s0");
    g.lineWidth = 2;
    g.lineJoin = "round";
    g.beginPath();
    var last = null;
    (records || []).forEach(function (r) {
      var t = Date.parse(r.end);
      if (r.mag_v === null) { last = null; return; }
      if (last !== null && t - last <= 1800000) g.lineTo(x(t), y(r.mag_v)); else g.moveTo(x(t), y(r.mag_v));
      last = t;
    });
    g.stroke();
  }

  document.addEventListener("DOMContentLoaded", function () {
    document.addEventListener("nightmodechange", drawChart);
    window.addEventListener("resize", drawChart);
    poll();
  });
})();
