"use strict";
(function () {
  var CHANNELS = [
    { name: "740 nm", key: "740nm" },
    { name: "640 nm", key: "640nm" },
    { name: "Red", key: "red" },
    { name: "Green", key: "green" },
    { name: "Blue", key: "blue" }
  ];

  function $(id) { return document.getElementById(id); }

  function element(tag, text, className) {
    var e = document.createElement(tag);
    if (text !== undefined) e.textContent = text;
    if (className) e.className = className;
    return e;
  }

  function number(v, digits) { return typeof v === "number" ? v.toFixed(digits) : "–"; }

  function entry(n) {
    var article = element("article", undefined, "night-entry");
    article.id = "night-" + n.date;
    article.appendChild(element("h2", "Night of " + n.date));

    var img = element("img");
    img.src = "/night/" + n.date + ".png";
    img.alt = "Sky brightness in the night of " + n.date;
    img.loading = "lazy";
    img.decoding = "async";
    img.width = 1200;
    img.height = 640;
    // A tap opens the chart alone, to zoom into on a phone.
    var full = element("a", undefined, "chart");
    full.href = img.src;
    full.appendChild(img);
    article.appendChild(full);

    var table = element("table");
    var head = table.createTHead().insertRow();
    head.appendChild(element("th", "mag/arcsec²"));
    head.appendChild(element("th", "Darkest (10-min median)"));
    head.appendChild(element("th", "Dark-sky median (Sun < −18°, Moon down)"));
    var body = table.createTBody();
    CHANNELS.forEach(function (c) {
      var row = body.insertRow();
      row.appendChild(element("th", c.name));
      row.appendChild(element("td", number(n["darkest_" + c.key], 2)));
      row.appendChild(element("td", number(n["dark_" + c.key], 2)));
    });
    article.appendChild(table);

    var list = element("dl");
    [["Cloudy", typeof n.cloudy_share === "number" ? Math.round(n.cloudy_share * 100) + " %" : "–"],
      ["Records", number(n.records, 0)]].forEach(function (item) {
      var pair = element("div");
      pair.appendChild(element("dt", item[0]));
      pair.appendChild(element("dd", item[1]));
      list.appendChild(pair);
    });
    article.appendChild(list);
    return article;
  }

  function show(nights) {
    var main = $("nights");
    var status = $("nights-status");
    if (!nights.length) {
      status.textContent = "No nights yet: the first is summed up at dawn.";
      return;
    }
    main.removeChild(status);
    nights.forEach(function (n) { main.appendChild(entry(n)); });
  }

  document.addEventListener("DOMContentLoaded", function () {
    fetch("/api/nights", { cache: "no-store" })
      .then(function (response) {
        if (!response.ok) throw new Error(response.status);
        return response.json();
      })
      .then(show)
      .catch(function () { $("nights-status").textContent = "No connection to the station"; });
  });
})();
