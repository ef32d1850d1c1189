// noxa-archive's fleet page in headless Chromium against made-up archives: ten stations (five
// silent, two under cloud, one with records missing) on a phone's screen, and 5,000 on a
// desktop's. Screenshots go to NOXA_SHOT_DIR.
// Environment: NOXA_FLEET_SERVE (the serving program), CHROMIUM (default /usr/bin/chromium).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { freeTcpPort, launchBrowser, startServing, stopServing } from "./harness.mjs";

const shots = process.env.NOXA_SHOT_DIR || os.tmpdir();
const phone = { width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true };
let folder, browser;
const servers = [];
const complaints = [];

async function serve(stations) {
  const port = await freeTcpPort();
  const dir = fs.mkdtempSync(path.join(folder, "archive-"));
  servers.push(await startServing(process.env.NOXA_FLEET_SERVE, [dir, String(port), String(stations)],
    {}, "Fleet web on "));
  return `http://127.0.0.1:${port}`;
}

async function open(base, viewport, entries) {
  const page = await browser.newPage();
  await page.setViewport(viewport);
  page.on("console", (m) => { if (m.type() === "error" || m.type() === "warn") complaints.push(m.text()); });
  page.on("pageerror", (e) => complaints.push(`page error: ${e.message}`));
  await page.goto(base + "/", { waitUntil: "load" });
  await page.waitForFunction((n) => document.querySelectorAll("#stations li.entry").length === n, {}, entries);
  return page;
}

const order = (page) => page.$$eval("#stations li.entry", (items) => items.map((li) => li.dataset.station));

// Relative luminance of a CSS colour: what tells colours apart once they share a hue.
function luminance(css) {
  const [r, g, b] = css.match(/[\d.]+/g).slice(0, 3).map((v) => {
    const c = Number(v) / 255;
    return c <= 0.03928 ? c / 12.92 : ((c + 0.055) / 1.055) ** 2.4;
  });
  return 0.2126 * r + 0.7152 * g + 0.0722 * b;
}

before(async () => {
  folder = fs.mkdtempSync(path.join(os.tmpdir(), "noxa-fleet-"));
  browser = await launchBrowser(folder);
});

after(async () => {
  if (browser) await browser.close();
  for (const server of servers) await stopServing(server);
  fs.rmSync(folder, { recursive: true, force: true });
});

test("problems first, the weather apart from faults, night mode, a tap opens a chart", async () => {
  const page = await open(await serve(10), phone, 10);
  assert.deepEqual(await order(page), ["alpha", "tower", "barn", "lake", "gap", "new",
    "cloud", "garden", "mist", "roof"]);
  assert.equal(await page.$eval("#summary", (e) => e.textContent),
    "10 stations, 5 silent, 6 need attention, 2 under an unsafe sky");
  assert.equal(await page.$eval('[data-station="cloud"] .badge', (e) => e.textContent),
    "☁Sky unsafe: too cloudy (87 % cover)");
  assert.equal(await page.$eval('[data-station="tower"] .link', (e) => e.textContent), "instrument silent");
  assert.equal(await page.$eval('[data-station="roof"] .median', (e) => e.textContent), "21.00");
  const width = await page.evaluate(() => document.documentElement.scrollWidth);
  assert.ok(width <= 390, `page ${width} px wide`);
  await page.screenshot({ path: path.join(shots, "fleet-phone-day.png") });

  const looks = () => page.evaluate(() => {
    const css = (selector, property) => getComputedStyle(document.querySelector(selector))[property];
    return {
      background: css("html", "backgroundColor"),
      mag: css('[data-station="roof"] .mag', "color"),
      fault: css('[data-station="alpha"] .badge', "backgroundColor"),
      weather: css('[data-station="cloud"] .badge', "color"),
      weatherGround: css('[data-station="cloud"] .badge', "backgroundColor"),
      online: css('[data-station="roof"] .dot', "backgroundColor"),
      offline: css('[data-station="alpha"] .dot', "backgroundColor"),
    };
  });
  for (const night of [false, true]) {
    if (night) await page.click("#night");
    const c = await looks();
    // A fault is a filled badge; the weather is text in a calmer, darker colour, unfilled; a
    // station online a filled dot, one offline a hollow one: apart in brightness and shape.
    assert.equal(c.weatherGround, "rgba(0, 0, 0, 0)", `night ${night}`);
    assert.equal(c.offline, "rgba(0, 0, 0, 0)", `night ${night}`);
    assert.notEqual(c.online, "rgba(0, 0, 0, 0)", `night ${night}`);
    const [red, , blue] = c.weather.match(/\d+/g).map(Number);
    // By day the weather is a cool blue; by night, all red, it is far darker than a fault.
    if (!night) assert.ok(blue > red, c.weather);
    if (night) {
      assert.ok(luminance(c.fault) > 3 * luminance(c.weather), `${c.fault} ${c.weather}`);
      assert.equal(c.background, "rgb(0, 0, 0)");
      const [red, green, blue] = c.mag.match(/\d+/g).map(Number);
      assert.ok(red > 100 && green < 60 && blue < 60, c.mag);
    }
  }

  await page.click('[data-station="roof"] button');
  await page.waitForFunction(() => Number(document.getElementById("chart").dataset.points) > 100);
  assert.equal(await page.$eval("#detail", (e) => e.closest("li").dataset.station), "roof");
  await page.screenshot({ path: path.join(shots, "fleet-phone-night.png") });
  await page.click("#night");
  assert.deepEqual(complaints, []);
  await page.close();
});

test("a filter and a search narrow the list, and the address keeps them", async () => {
  const base = await serve(10);
  const page = await open(base, phone, 10);
  await page.click('[data-filter="unsafe"]');
  assert.deepEqual(await order(page), ["cloud", "mist"]);
  await page.click('[data-filter="problems"]');
  await page.type("#search", "L");
  assert.deepEqual(await order(page), ["alpha", "lake"]);
  assert.equal(new URL(page.url()).hash, "#filter=problems&q=l");
  await page.reload({ waitUntil: "load" });
  await page.waitForFunction(() => document.querySelectorAll("#stations li.entry").length === 2);
  await page.$eval("#search", (e) => { e.value = "nowhere"; e.dispatchEvent(new Event("input")); });
  assert.equal(await page.$eval("#shown", (e) => e.textContent), "No station matches");
  assert.deepEqual(complaints, []);
  await page.close();
});

test("5,000 stations: a page of them at a time, counted, searched at once", async () => {
  const base = await serve(5000);
  const started = Date.now();
  const page = await open(base, { width: 1280, height: 900 }, 50);
  const loading = Date.now() - started;
  assert.ok(loading < 5000, `${loading} ms to the first stations`);
  assert.equal(await page.$eval('[data-filter="all"] .count', (e) => e.textContent), "5,000");
  const height = await page.evaluate(() => document.documentElement.scrollHeight);
  assert.ok(height < 6000, `page ${height} px high`);
  await page.screenshot({ path: path.join(shots, "fleet-desktop-5000.png") });
  const searched = await page.evaluate(() => {
    const t = performance.now();
    const input = document.getElementById("search");
    input.value = "station 4999";
    input.dispatchEvent(new Event("input"));
    return performance.now() - t;
  });
  assert.ok(searched < 250, `${searched} ms to search`);
  assert.deepEqual(await order(page), ["s04999"]);
  await page.$eval("#search", (e) => { e.value = ""; e.dispatchEvent(new Event("input")); });
  await page.click("#more");
  assert.equal(await page.$$eval("#stations li.entry", (items) => items.length), 100);
  assert.deepEqual(complaints, []);
  await page.close();
});
