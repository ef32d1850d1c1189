"use strict";
(function () {
  var SVG = "http://www.w3.org/2000/svg";
  var MEDIANS = ["median_740nm", "median_640nm", "median_red", "median_green", "median_blue"];

  function $(id) { return document.getElementById(id); }

  function element(tag, text) {
    var e = document.createElement(tag);
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function svg(tag, attributes, text) {
    var e = document.createElementNS(SVG, tag);
    Object.keys(attributes).forEach(function (k) { e.setAttribute(k, attributes[k]); });
    if (text !== undefined) e.textContent = text;
    return e;
  }

  function number(v, digits) { return typeof v === "number" ? v.toFixed(digits) : "–"; }

  function yearOf(m) { return m.month.slice(0, 4); }

  function showTable(months) {
    var body = $("months").tBodies[0];
    body.textContent = "";
    months.forEach(function (m) {
      var row = body.insertRow();
      row.appendChild(element("td", m.month));
      row.appendChild(element("td", number(m.nights, 0)));
      row.appendChild(element("td", number(m.dark_clear_records, 0)));
      MEDIANS.forEach(function (key) { row.appendChild(element("td", number(m[key], 2))); });
      row.appendChild(element("td", number(m.blue_minus_red, 2)));
      row.appendChild(element("td", m.median_rule || "–"));
    });
  }

  // The year's chart, once there is one: before the year's first dawn there is none, and a
  // missing image would show as a broken one.
  function showChart(year, hasMonths) {
    var img = $("hourglass"), link = $("hourglass-link"), none = $("hourglass-none");
    var missing = function () { link.hidden = true; none.hidden = false; };
    img.onerror = missing;
    img.onload = function () { link.hidden = false; none.hidden = true; };
    if (!hasMonths) { img.removeAttribute("src"); missing(); return; }
    img.src = "/hourglass/" + year + ".png";
    link.href = img.src;
  }

  var MONTH_NAMES = ["Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"];

  function daysIn(month) {
    return new Date(Number(month.slice(0, 4)), Number(month.slice(5, 7)), 0).getDate();
  }

  // The months' dark-sky medians of channel 1, a point each, in month order; each point says
  // how many nights it rests on, hollow when they are fewer than half the month's. The drawing
  // takes the width the page gives it, so that its text keeps its size on a phone.
  function drawTrend(months) {
    var trend = $("trend");
    trend.textContent = "";
    var width = Math.max(320, Math.round(trend.getBoundingClientRect().width) || 600);
    var plot = { left: 44, right: width - 12, top: 22, bottom: 196 };
    trend.setAttribute("viewBox", "0 0 " + width + " 240");
    var known = months.filter(function (m) { return typeof m.median_740nm === "number"; })
      .sort(function (a, b) { return a.month < b.month ? -1 : a.month > b.month ? 1 : 0; });
    if (!known.length) return;
    var values = known.map(function (m) { return m.median_740nm; });
    var low = Math.floor(Math.min.apply(null, values) * 2) / 2;
    var high = Math.ceil(Math.max.apply(null, values) * 2) / 2;
    if (high - low < 1) { low -= 0.5; high += 0.5; }
    var y = function (v) { return plot.bottom - (v - low) / (high - low) * (plot.bottom - plot.top); };
    // Months on a time axis, so that a month without a value leaves its gap.
    var index = function (month) { return Number(month.slice(0, 4)) * 12 + Number(month.slice(5, 7)) - 1; };
    var first = index(known[0].month), span = index(known[known.length - 1].month) - first;
    var x = function (i) {
      return span ? plot.left + (i - first) / span * (plot.right - plot.left) : (plot.left + plot.right) / 2;
    };
    [low, (low + high) / 2, high].forEach(function (v) {
      trend.appendChild(svg("line", { class: "grid-line", x1: plot.left, x2: plot.right, y1: y(v), y2: y(v) }));
      trend.appendChild(svg("text", { x: 4, y: y(v) + 4 }, v.toFixed(1)));
    });
    // A label for every month that leaves room (every month, or every 2nd, 3rd, 6th or 12th),
    // the year under each January and under the first.
    var perMonth = span ? (plot.right - plot.left) / span : width;
    var step = [1, 2, 3, 6, 12].filter(function (s) { return s * perMonth >= 34; })[0] || 12;
    for (var i = first; i <= first + span; ++i) {
      if (i % step) continue;
      var name = MONTH_NAMES[i % 12];
      // The last label ends at the drawing's edge rather than running over it.
      var anchor = x(i) > width - 24 ? "end" : "middle";
      trend.appendChild(svg("text", { x: x(i), y: 214, "text-anchor": anchor }, name));
      if (i % 12 === 0 || i - first < step)
        trend.appendChild(svg("text", { x: x(i), y: 230, "text-anchor": anchor }, String(Math.floor(i / 12))));
    }
    var points = known.map(function (m) { return x(index(m.month)).toFixed(1) + "," + y(m.median_740nm).toFixed(1); });
    trend.appendChild(svg("polyline", { class: "line", points: points.join(" ") }));
    known.forEach(function (m) {
      var nights = typeof m.nights === "number" ? m.nights : 0;
      var few = nights * 2 < daysIn(m.month);
      var cx = x(index(m.month)), cy = y(m.median_740nm);
      var dot = svg("circle", { class: few ? "point few" : "point", cx: cx, cy: cy, r: 4 });
      dot.appendChild(svg("title", {}, m.month + ": " + m.median_740nm.toFixed(2) + " mag/arcsec² over " + nights + " nights"));
      trend.appendChild(dot);
      if (perMonth >= 16)
        trend.appendChild(svg("text", { class: "nights", x: cx, y: cy - 8, "text-anchor": "middle" }, String(nights)));
    });
    trend.dataset.points = String(known.length);
  }

  function show(all) {
    // The station's own months; other instruments' lines are noxa-night's.
    var months = all.filter(function (m) { return m.instrument === null; });
    var years = months.map(yearOf).filter(function (y, i, list) { return list.indexOf(y) === i; });
    if (!years.length) years = [String(new Date().getFullYear())];
    years.sort().reverse();
    var picker = $("year");
    years.forEach(function (y) { picker.appendChild(element("option", y)); });
    var choose = function () {
      var ofYear = months.filter(function (m) { return yearOf(m) === picker.value; });
      showChart(picker.value, ofYear.length > 0);
      showTable(ofYear);
    };
    picker.addEventListener("change", choose);
    choose();
    drawTrend(months);
    var width = window.innerWidth;
    window.addEventListener("resize", function () {
      if (window.innerWidth !== width) { width = window.innerWidth; drawTrend(months); }
    });
    $("years-status").textContent = months.length ? "" : "No months yet: the first is counted at dawn.";
  }

  document.addEventListener("DOMContentLoaded", function () {
    fetch("/api/monthly", { cache: "no-store" })
      .then(function (response) {
        if (!response.ok) throw new Error(response.status);
        return response.json();
      })
      .then(show)
      .catch(function () { $("years-status").textContent = "No connection to the station"; });
  });
})();
