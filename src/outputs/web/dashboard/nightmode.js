"use strict";
// Night mode of every page of the station: red on black, switched by the button #night and
// remembered in the browser, so it holds across pages and reloads. It runs in the page's head,
// before the first paint, so that night mode never flashes bright. A page that draws for
// itself redraws on the document's "nightmodechange" event.
(function () {
  var NIGHT_KEY = "noxa.night";
  var root = document.documentElement;

  function storedNight() {
    try { return localStorage.getItem(NIGHT_KEY) === "1"; } catch (e) { return false; }
  }

  function showNight() {
    var on = root.classList.contains("night");
    var button = document.getElementById("night");
    button.setAttribute("aria-pressed", on ? "true" : "false");
    button.textContent = on ? "Day mode" : "Night mode";
    document.querySelector('meta[name="theme-color"]').setAttribute("content", on ? "#000000" : "#0d1520");
  }

  function setNight(on) {
    root.classList.toggle("night", on);
    try { localStorage.setItem(NIGHT_KEY, on ? "1" : "0"); } catch (e) { /* private mode */ }
    showNight();
    document.dispatchEvent(new CustomEvent("nightmodechange", { detail: { on: on } }));
  }

  root.classList.toggle("night", storedNight());
  document.addEventListener("DOMContentLoaded", function () {
    showNight();
    document.getElementById("night").addEventListener("click", function () {
      setNight(!root.classList.contains("night"));
    });
  });
})();
