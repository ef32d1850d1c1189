"use strict";
(function () {
  var POLL_MS = 500;
  var HISTORY_MS = 60000;
  // A report older than this is shown as stale.
  var STALE_S = 10;

  var root = document.documentElement;
  var history = null;

  function $(id) { return document.getElementById(id); }

  function ageText(seconds) {
    if (seconds < 1.5) return "Last report just now";
    if (seconds < 90) return "Last report " + Math.round(seconds) + " s ago";
    if (seconds < 5400) return "Last report " + Math.round(seconds / 60) + " min ago";
    if (seconds < 172800) return "Last report " + Math.round(seconds / 3600) + " h ago";
    return "Last report " + Math.round(seconds / 86400) + " days ago";
  }

  function setState(name) {
    var main = document.body;
    ["link-ok", "link-down", "stale", "offline"].forEach(function (c) {
      main.classList.toggle(c, name.indexOf(c) >= 0);
    });
  }

  function show(r) {
    var fields = document.querySelectorAll("[data-key]");
    for (var i = 0; i < fields.length; i++) {
      var el = fields[i];
      var v = r[el.getAttribute("data-key")];
      var scale = Number(el.getAttribute("data-scale") || 1);
      el.textContent = typeof v === "number" ? (v * scale).toFixed(Number(el.getAttribute("data-digits"))) : "–";
    }
    if (r.station) {
      $("station").textContent = r.station;
      document.title = r.station + " – night-sky station";
    }
    var states = [];
    if (r.time === null) {
      $("age").textContent = "No report yet";
    } else {
      $("age").textContent = ageText(r.age_s);
      if (r.age_s > STALE_S) states.push("stale");
      var t = new Date(r.time);
      $("time").textContent = t.toLocaleString() + " (" + r.time.replace("T", " ").replace(/\.\d+Z$/, "Z") + ")";
    }
    states.push(r.link_ok ? "link-ok" : "link-down");
    $("safety").textContent = r.safe ? "Sky safe"
      : "Sky unsafe" + (r.unsafe_reason ? ": " + r.unsafe_reason : "");
    $("safety").classList.toggle("safe", r.safe === true);
    $("link-text").textContent = r.link_ok ? "Receiving reports" : "No reports coming in";
    setState(states);
  }

  function poll() {
    fetch("/api/readings", { cache: "no-store" })
      .then(function (response) {
        if (!response.ok) throw new Error(response.status);
        return response.json();
      })
      .then(show)
      .catch(function () {
        $("link-text").textContent = "No connection to the station";
        setState(["offline"]);
      })
      .then(function () { setTimeout(poll, POLL_MS); });
  }

  function loadHistory() {
    fetch("/api/history", { cache: "no-store" })
      .then(function (response) { return response.ok ? response.json() : null; })
      .then(function (h) { if (h) { history = h; drawCharts(); } })
      .catch(function () { /* tried again later */ })
      .then(function () { setTimeout(loadHistory, HISTORY_MS); });
  }

  // Each line its own colour, width and dashes, as on the nights' charts: in night mode, where
  // every line is red, widths and dashes tell them apart.
  var MAG_SERIES = [
    { key: "mag_v", name: "740 nm", colour: "--s0", width: 2.6, dash: [] },
    { key: "mag_v2", name: "640 nm", colour: "--s1", width: 2.2, dash: [12, 4] },
    { key: "mag_r", name: "Red", colour: "--s2", width: 1.8, dash: [9, 3, 2, 3] },
    { key: "mag_g", name: "Green", colour: "--s3", width: 1.3, dash: [5, 3] },
    { key: "mag_b", name: "Blue", colour: "--s4", width: 3, dash: [0.01, 5], cap: "round" }
  ];
  var TEMP_SERIES = [
    { key: "temperature", name: "Sensor", colour: "--t0", width: 2.2, dash: [] },
    { key: "sky_temperature", name: "Sky (infrared)", colour: "--t1", width: 1.6, dash: [12, 4] }
  ];

  var SVG = "http://www.w3.org/2000/svg";

  // A short stretch of the series' line before its name; hidden until the series has a value.
  function legend(id, series) {
    var p = $(id);
    if (p.childNodes.length) return;
    series.forEach(function (s) {
      var span = document.createElement("span");
      span.className = s.colour.slice(2);
      span.setAttribute("data-series", s.key);
      span.hidden = true;
      var svg = document.createElementNS(SVG, "svg");
      svg.setAttribute("width", "36");
      svg.setAttribute("height", "10");
      svg.setAttribute("aria-hidden", "true");
      var line = document.createElementNS(SVG, "line");
      [["x1", 2], ["y1", 5], ["x2", 34], ["y2", 5], ["stroke-width", s.width],
        ["stroke-dasharray", s.dash.join(" ") || "none"], ["stroke-linecap", s.cap || "butt"]]
        .forEach(function (a) { line.setAttribute(a[0], a[1]); });
      svg.appendChild(line);
      span.appendChild(svg);
      span.appendChild(document.createTextNode(s.name));
      p.appendChild(span);
    });
  }

  function niceStep(range, count) {
    var raw = range / count;
    var power = Math.pow(10, Math.floor(Math.log10(raw)));
    var n = raw / power;
    return (n < 1.5 ? 1 : n < 3 ? 2 : n < 7 ? 5 : 10) * power;
  }

  function drawChart(canvas, series) {
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

    var times = history ? history.time.map(function (t) { return t ? Date.parse(t) : null; }) : [];
    var lo = Infinity, hi = -Infinity, t0 = Infinity, t1 = -Infinity;
    series.forEach(function (s) {
      (history ? history[s.key] : []).forEach(function (v, i) {
        if (v === null || times[i] === null) return;
        lo = Math.min(lo, v); hi = Math.max(hi, v);
        t0 = Math.min(t0, times[i]); t1 = Math.max(t1, times[i]);
      });
    });
    var left = 44, right = 10, top = 10, bottom = 24;
    var w = width - left - right, h = height - top - bottom;
    g.strokeStyle = css("--grid");
    g.fillStyle = css("--muted");
    g.lineWidth = 1;
    if (lo === Infinity) {
      g.textAlign = "center";
      g.fillText("No chart points yet", width / 2, height / 2);
      return;
    }
    if (hi - lo < 0.5) { var mid = (hi + lo) / 2; lo = mid - 0.25; hi = mid + 0.25; }
    var step = niceStep(hi - lo, 4);
    lo = Math.floor(lo / step) * step; hi = Math.ceil(hi / step) * step;
    if (t1 - t0 < 3600000) t0 = t1 - 3600000;
    var x = function (t) { return left + (t - t0) / (t1 - t0) * w; };
    var y = function (v) { return top + (hi - v) / (hi - lo) * h; };

    g.textAlign = "right";
    g.textBaseline = "middle";
    var digits = step < 1 ? 1 : 0;
    for (var v = lo; v <= hi + step / 2; v += step) {
      g.beginPath(); g.moveTo(left, Math.round(y(v)) + 0.5); g.lineTo(left + w, Math.round(y(v)) + 0.5); g.stroke();
      g.fillText(v.toFixed(digits), left - 6, y(v));
    }
    g.textAlign = "center";
    g.textBaseline = "top";
    var hour = 3600000, span = t1 - t0;
    var every = span > 12 * hour ? (width < 500 ? 6 : 3) * hour : span > 4 * hour ? hour : hour / 4;
    var offset = new Date(t0).getTimezoneOffset() * 60000;
    for (var t = Math.ceil((t0 - offset) / every) * every + offset; t <= t1; t += every) {
      var d = new Date(t);
      g.beginPath(); g.moveTo(Math.round(x(t)) + 0.5, top); g.lineTo(Math.round(x(t)) + 0.5, top + h); g.stroke();
      g.fillText(String(d.getHours()).padStart(2, "0") + ":" + String(d.getMinutes()).padStart(2, "0"), x(t), top + h + 6);
    }

    g.lineJoin = "round";
    var points = 0;
    series.forEach(function (s) {
      g.strokeStyle = css(s.colour);
      g.lineWidth = s.width;
      g.lineCap = s.cap || "butt";
      g.setLineDash(s.dash);
      g.beginPath();
      var drawing = false, drawn = 0;
      history[s.key].forEach(function (v, i) {
        if (v === null || times[i] === null) { drawing = false; return; }
        if (drawing) g.lineTo(x(times[i]), y(v)); else g.moveTo(x(times[i]), y(v));
        drawing = true;
        drawn++;
      });
      g.stroke();
      points += drawn;
      document.querySelector('[data-series="' + s.key + '"]').hidden = drawn === 0;
    });
    g.setLineDash([]);
    g.lineCap = "butt";
    canvas.setAttribute("data-points", points);
  }

  function drawCharts() {
    if (!$("chart-mag")) return;
    drawChart($("chart-mag"), MAG_SERIES);
    drawChart($("chart-temp"), TEMP_SERIES);
  }

  document.addEventListener("DOMContentLoaded", function () {
    legend("legend-mag", MAG_SERIES);
    legend("legend-temp", TEMP_SERIES);
    // Night mode itself is the shared script's; the charts take its colours.
    document.addEventListener("nightmodechange", drawCharts);
    window.addEventListener("resize", drawCharts);
    drawCharts();
    poll();
    loadHistory();
  });
})();
