"use strict";
(function () {
  var SVG = "http://www.w3.org/2000/svg";
  var MEDIANS = ["median_740nm", "median_640nm", "median_red", "median_green", "median_blue"];
  // The trend's drawing area inside the viewBox 600 × 240.
  var PLOT = { left: 44, right: 590, top: 12, bottom: 212 };

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
    });
  }

  function showChart(year) {
    var img = $("hourglass");
    img.src = "/hourglass/" + year + ".png";
    $("hourglass-link").href = img.src;
  }

  // The months' dark-sky medians of channel 1, a point each, in month order.
  function drawTrend(months) {
    var trend = $("trend");
    trend.textContent = "";
    var known = months.filter(function (m) { return typeof m.median_740nm === "number"; })
      .sort(function (a, b) { return a.month < b.month ? -1 : a.month > b.month ? 1 : 0; });
    if (!known.length) return;
    var values = known.map(function (m) { return m.median_740nm; });
    var low = Math.floor(Math.min.apply(null, values) * 2) / 2;
    var high = Math.ceil(Math.max.apply(null, values) * 2) / 2;
    if (high - low < 1) { low -= 0.5; high += 0.5; }
    var y = function (v) { return PLOT.bottom - (v - low) / (high - low) * (PLOT.bottom - PLOT.top); };
    // Months on a time axis, so that a month without a value leaves its gap.
    var index = function (m) { return Number(m.month.slice(0, 4)) * 12 + Number(m.month.slice(5, 7)); };
    var first = index(known[0]), span = index(known[known.length - 1]) - first;
    var x = function (i) {
      return span ? PLOT.left + (index(known[i]) - first) / span * (PLOT.right - PLOT.left) : (PLOT.left + PLOT.right) / 2;
    };
    [low, (low + high) / 2, high].forEach(function (v) {
      trend.appendChild(svg("line", { class: "grid-line", x1: PLOT.left, x2: PLOT.right, y1: y(v), y2: y(v) }));
      trend.appendChild(svg("text", { x: 4, y: y(v) + 4 }, v.toFixed(1)));
    });
    var points = known.map(function (m, i) { return x(i).toFixed(1) + "," + y(m.median_740nm).toFixed(1); });
    trend.appendChild(svg("polyline", { class: "line", points: points.join(" ") }));
    known.forEach(function (m, i) {
      var dot = svg("circle", { class: "point", cx: x(i), cy: y(m.median_740nm), r: 3.5 });
      dot.appendChild(svg("title", {}, m.month + ": " + m.median_740nm.toFixed(2)));
      trend.appendChild(dot);
    });
    trend.appendChild(svg("text", { x: PLOT.left, y: 232 }, known[0].month));
    if (known.length > 1)
      trend.appendChild(svg("text", { x: PLOT.right, y: 232, "text-anchor": "end" }, known[known.length - 1].month));
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
      showChart(picker.value);
      showTable(months.filter(function (m) { return yearOf(m) === picker.value; }));
    };
    picker.addEventListener("change", choose);
    choose();
    drawTrend(months);
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
