"use strict";
// The fleet page: the stations that need their operator first, then the rest by name; counts
// of each condition that filter the list, a search, and the list shown a page at a time so
// that thousands of stations stay quick. Refreshed every half minute; a tap on a station opens
// its last 24 hours of sky brightness, drawn here from /api/records.
(function () {
  var POLL_MS = 30000;
  var DAY_MS = 86400000;
  var PAGE = 50;

  // Each condition of /api/stations: its words, and whether it needs the operator. In order of
  // urgency; the rest are sorted by name alone.
  var CONDITIONS = {
    offline: { label: "Offline", problem: true, rank: 0 },
    instrument_silent: { label: "Instrument silent", problem: true, rank: 1 },
    silent: { label: "Silent", problem: true, rank: 2 },
    backlog: { label: "Records missing", problem: true, rank: 3 },
    no_records: { label: "No records yet", problem: true, rank: 4 },
    unsafe: { label: "Sky unsafe", problem: false, rank: 5 },
    unknown: { label: "Safety unknown", problem: false, rank: 5 },
    safe: { label: "Sky safe", problem: false, rank: 5 }
  };
  // The filters, in the order shown.
  var FILTERS = [
    ["all", "All"], ["problems", "Need attention"], ["offline", "Offline"],
    ["instrument_silent", "Instrument silent"], ["silent", "Silent"], ["backlog", "Records missing"],
    ["no_records", "No records"], ["unsafe", "Unsafe sky"], ["safe", "Safe sky"], ["unknown", "Safety unknown"]
  ];

  var root = document.documentElement;
  // Names in the order a reader expects: "Station 9" before "Station 10", case aside.
  var names = new Intl.Collator(undefined, { numeric: true, sensitivity: "base" });
  var stations = [];   // as /api/stations gave them, problems first
  var filter = "all";
  var query = "";
  var shown = PAGE;    // how many of the matching stations are on the page
  var open = null;     // the id of the station whose chart is open
  var records = null;  // its records
  var loaded = false;

  function $(id) { return document.getElementById(id); }

  function conditionOf(s) { return CONDITIONS[s.condition] || CONDITIONS.unknown; }

  function number(n) { return n.toLocaleString("en-US"); }

  function ageText(seconds) {
    if (seconds === null) return "No record yet";
    if (seconds < 90) return "Last record " + Math.max(0, Math.round(seconds)) + " s ago";
    if (seconds < 5400) return "Last record " + Math.round(seconds / 60) + " min ago";
    if (seconds < 172800) return "Last record " + Math.round(seconds / 3600) + " h ago";
    return "Last record " + Math.round(seconds / 86400) + " days ago";
  }

  function clockText(iso) {
    var d = new Date(iso);
    var hm = String(d.getHours()).padStart(2, "0") + ":" + String(d.getMinutes()).padStart(2, "0");
    return Date.now() - d.getTime() < DAY_MS ? hm : d.toISOString().slice(0, 10) + " " + hm;
  }

  function magText(v) { return typeof v === "number" ? v.toFixed(2) : "–"; }

  function element(tag, className, text) {
    var e = document.createElement(tag);
    if (className) e.className = className;
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // What the badge says: the condition, with the reason or the time where there is one.
  function badgeText(s) {
    var c = conditionOf(s);
    if (s.condition === "unsafe" && s.unsafe_reason) return c.label + ": " + s.unsafe_reason;
    if (s.condition === "backlog" && s.through) return c.label + " after " + clockText(s.through);
    return c.label;
  }

  function matches(s) {
    if (query) {
      var name = (s.name || "").toLowerCase();
      if (name.indexOf(query) < 0 && s.station.toLowerCase().indexOf(query) < 0) return false;
    }
    if (filter === "all") return true;
    if (filter === "problems") return conditionOf(s).problem;
    return s.condition === filter;
  }

  function card(s) {
    var c = conditionOf(s);
    var li = element("li", "entry " + (c.problem ? "problem" : "fine") + " is-" + s.condition);
    li.setAttribute("data-station", s.station);
    li.setAttribute("data-condition", s.condition);
    li.classList.toggle("stale", s.stale);
    var button = element("button", "station card");
    button.type = "button";
    button.setAttribute("aria-expanded", s.station === open ? "true" : "false");
    var title = element("div", "name");
    title.appendChild(document.createTextNode(s.name || s.station));
    if (s.name && s.name !== s.station) title.appendChild(element("span", "id", s.station));
    button.appendChild(title);
    var badge = element("div", "badge " + (c.problem ? "fault" : s.condition === "unsafe" ? "weather" : s.condition));
    badge.appendChild(element("span", "mark", c.problem ? "!" : s.condition === "unsafe" ? "☁" : s.condition === "safe" ? "✓" : "?"));
    badge.appendChild(document.createTextNode(badgeText(s)));
    button.appendChild(badge);
    var facts = element("div", "facts");
    var availability = element("span", "availability " + (s.availability === "online" ? "online" :
      s.availability === "offline" ? "offline" : "unheard"));
    availability.appendChild(element("span", "dot"));
    availability.appendChild(document.createTextNode(s.availability || "availability unknown"));
    facts.appendChild(availability);
    if (s.link_ok !== null) {
      facts.appendChild(element("span", "link " + (s.link_ok ? "heard" : "lost"),
        s.link_ok ? "instrument heard" : "instrument silent"));
    }
    facts.appendChild(element("span", "age", ageText(s.age_seconds)));
    button.appendChild(facts);
    var figures = element("div", "figures");
    [["mag", s.mag_v, "mag/arcsec² now"], ["median", s.last_night_median, "last night's dark median"]]
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

  function heading(text) {
    var li = element("li", "group");
    li.appendChild(element("h2", null, text));
    return li;
  }

  function counts() {
    var n = { all: stations.length, problems: 0, stale: 0 };
    stations.forEach(function (s) {
      n[s.condition] = (n[s.condition] || 0) + 1;
      if (s.stale) n.stale++;
      if (conditionOf(s).problem) n.problems++;
    });
    return n;
  }

  function showFilters(n) {
    var box = $("filters");
    while (box.firstChild) box.removeChild(box.firstChild);
    FILTERS.forEach(function (f) {
      var count = n[f[0]] || 0;
      if (!count && f[0] !== "all" && f[0] !== "problems" && f[0] !== filter) return;
      var b = element("button", "filter f-" + f[0]);
      b.type = "button";
      b.setAttribute("data-filter", f[0]);
      b.setAttribute("aria-pressed", f[0] === filter ? "true" : "false");
      b.appendChild(element("span", "count", number(count)));
      b.appendChild(document.createTextNode(" " + f[1]));
      b.addEventListener("click", function () { setFilter(f[0]); });
      box.appendChild(b);
    });
  }

  function showSummary(n) {
    var text = number(n.all) + (n.all === 1 ? " station" : " stations");
    if (n.stale) text += ", " + number(n.stale) + " silent";
    text += n.problems ? ", " + number(n.problems) + " need attention" : ", none needs attention";
    if (n.unsafe) text += ", " + number(n.unsafe) + " under an unsafe sky";
    $("summary").textContent = text;
  }

  function render() {
    var list = $("stations");
    var detail = $("detail");
    detail.hidden = true;
    document.body.appendChild(detail);
    var matching = stations.filter(matches);
    var page = matching.slice(0, shown);
    var fragment = document.createDocumentFragment();
    var group = null;
    page.forEach(function (s) {
      var problem = conditionOf(s).problem;
      if (filter === "all" && problem !== group) {
        group = problem;
        var n = matching.filter(function (m) { return conditionOf(m).problem === problem; }).length;
        fragment.appendChild(heading((problem ? "Need attention" : "Reporting") + " · " + number(n)));
      }
      var li = card(s);
      fragment.appendChild(li);
      if (s.station === open) { li.appendChild(detail); detail.hidden = false; }
    });
    while (list.firstChild) list.removeChild(list.firstChild);
    list.appendChild(fragment);
    $("shown").textContent = matching.length ? "Showing " + number(page.length) + " of " + number(matching.length) :
      loaded ? "No station matches" : "";
    var more = $("more");
    more.hidden = page.length >= matching.length;
    more.textContent = "Show " + number(Math.min(PAGE, matching.length - page.length)) + " more";
    drawChart();
  }

  function byUrgency(a, b) {
    var ra = conditionOf(a).rank, rb = conditionOf(b).rank;
    if (ra !== rb) return ra - rb;
    return names.compare(a.name || a.station, b.name || b.station) ||
      (a.station < b.station ? -1 : a.station > b.station ? 1 : 0);
  }

  function show(list) {
    loaded = true;
    stations = list.slice().sort(byUrgency);
    var n = counts();
    showSummary(n);
    showFilters(n);
    render();
  }

  function remember() {
    var parts = [];
    if (filter !== "all") parts.push("filter=" + encodeURIComponent(filter));
    if (query) parts.push("q=" + encodeURIComponent(query));
    history.replaceState(null, "", parts.length ? "#" + parts.join("&") : location.pathname);
  }

  function setFilter(f) {
    filter = f;
    shown = PAGE;
    remember();
    showFilters(counts());
    render();
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
    var url = "/api/records?station=" + encodeURIComponent(s.station) +
      "&from=" + (Date.now() - DAY_MS);
    $("detail-csv").href = url + "&format=csv";
    $("detail-json").href = url;
    $("detail-note").textContent = "Loading";
    drawChart();
    fetch(url, { cache: "no-store" })
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

  function readHash() {
    location.hash.replace(/^#/, "").split("&").forEach(function (part) {
      var kv = part.split("=");
      if (kv[0] === "filter" && FILTERS.some(function (f) { return f[0] === decodeURIComponent(kv[1]); }))
        filter = decodeURIComponent(kv[1]);
      if (kv[0] === "q") query = decodeURIComponent(kv[1] || "").toLowerCase();
    });
  }

  document.addEventListener("DOMContentLoaded", function () {
    readHash();
    $("search").value = query;
    $("search").addEventListener("input", function (e) {
      query = e.target.value.trim().toLowerCase();
      shown = PAGE;
      remember();
      render();
    });
    $("more").addEventListener("click", function () { shown += PAGE; render(); });
    document.addEventListener("nightmodechange", drawChart);
    window.addEventListener("resize", drawChart);
    showFilters(counts());
    poll();
  });
})();
