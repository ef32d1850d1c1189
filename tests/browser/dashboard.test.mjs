// The dashboard in headless Chromium against a running station: live values without a
// reload, night mode remembered across reloads and pages, a phone's width, the page of past
// nights, the page of years, a quiet console.
// Screenshots go to NOXA_SHOT_DIR for a person to look at.
// Environment: NOXA_STATION, NOXA_SIM (the programs), CHROMIUM (default /usr/bin/chromium).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import dgram from "node:dgram";
import fs from "node:fs";
import net from "node:net";
import os from "node:os";
import path from "node:path";
import { freeTcpPort, launchBrowser, startServing, stopServing } from "./harness.mjs";

const shots = process.env.NOXA_SHOT_DIR || os.tmpdir();
let folder, station, browser, base, udpPort;
const complaints = [];

function freeUdpPort() {
  return new Promise((resolve) => {
    const socket = dgram.createSocket("udp4").bind(0, "127.0.0.1", () => {
      const { port } = socket.address();
      socket.close(() => resolve(port));
    });
  });
}

// A day of chart history, so the charts have something to draw: the file the station reads
// at start-up, 1440 records of 72 bytes, times as local day numbers since 1899-12-30.
function writeHistory(file) {
  const buffer = Buffer.alloc(1440 * 72);
  const now = Date.now() - new Date().getTimezoneOffset() * 60000;
  for (let i = 0; i < 1440; i++) {
    const day = (now - (1440 - i) * 60000) / 86400000 + 25569;
    const night = Math.cos(((i - 720) / 1440) * 2 * Math.PI);
    const o = i * 72;
    buffer.writeDoubleLE(Math.trunc(day), o);
    buffer.writeDoubleLE(day - Math.trunc(day), o + 8);
    const values = [8 + 4 * night, -20 + 6 * night, 19 + 2.3 * night, 18.8 + 2.2 * night,
      18.5 + 2.1 * night, 19.2 + 2.2 * night, 18.2 + 2.4 * night, 5.5];
    values.forEach((v, k) => buffer.writeFloatLE(v, o + 16 + 4 * k));
    buffer.writeFloatLE(20, o + 68);
  }
  fs.writeFileSync(file, buffer);
}

async function readings() {
  return (await fetch(base + "/api/readings")).json();
}

// The readings once the report just sent has reached the web side (a moment after it came).
async function reportedReadings() {
  const until = Date.now() + 3000;
  for (;;) {
    const r = await readings();
    if (r.mag_v !== null || Date.now() > until) return r;
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
}

async function openPage(viewport) {
  const page = await browser.newPage();
  await page.setViewport(viewport);
  page.on("console", (m) => {
    if (m.type() === "error" || m.type() === "warn" || m.type() === "warning")
      complaints.push(`${m.type()}: ${m.text()}`);
  });
  page.on("pageerror", (e) => complaints.push(`page error: ${e.message}`));
  page.on("requestfailed", (r) => complaints.push(`failed: ${r.url()}`));
  await page.goto(base + "/", { waitUntil: "load" });
  return page;
}

const nightOn = (page) => page.evaluate(() => document.documentElement.classList.contains("night"));

before(async () => {
  folder = fs.mkdtempSync(path.join(os.tmpdir(), "noxa-dashboard-"));
  writeHistory(path.join(folder, "noxagraf.hex"));
  udpPort = await freeUdpPort();
  const httpPort = await freeTcpPort();
  base = `http://127.0.0.1:${httpPort}`;
  station = await startServing(process.env.NOXA_STATION,
    ["--headless", "--udp-port", String(udpPort), "--http", String(httpPort)],
    { cwd: folder, env: { ...process.env, QT_QPA_PLATFORM: "offscreen" } }, "Web server on ");
  browser = await launchBrowser(folder);
});

after(async () => {
  if (browser) await browser.close();
  await stopServing(station);
  fs.rmSync(folder, { recursive: true, force: true });
});

test("a report shows up without a reload, and the charts draw the history", async () => {
  const page = await openPage({ width: 1280, height: 900 });
  await page.waitForFunction(() => document.getElementById("age").textContent === "No report yet");
  await page.evaluate(() => { window.notReloaded = true; });

  execFileSync(process.env.NOXA_SIM, ["--port", String(udpPort), "--count", "1"]);
  const sent = Date.now();
  const r = await reportedReadings();
  assert.notEqual(r.mag_v, null);
  await page.waitForFunction(
    (v) => document.querySelector('[data-key="mag_v"]').textContent === v,
    { timeout: 3000 }, r.mag_v.toFixed(2));
  assert.ok(Date.now() - sent < 2000, "shown within a second or so of the report");
  assert.equal(await page.evaluate(() => window.notReloaded), true);
  const shown = await page.$$eval("[data-key]", (els) =>
    Object.fromEntries(els.map((e) => [e.dataset.key, e.textContent])));
  assert.equal(shown.sky_temperature, r.sky_temperature.toFixed(1));
  assert.equal(shown.freq_1, r.freq_1.toFixed(2));
  assert.match(await page.$eval("#station", (e) => e.textContent), new RegExp(r.station));
  assert.match(await page.$eval("#age", (e) => e.textContent), /^Last report/);

  await page.waitForFunction(() => Number(document.getElementById("chart-mag").dataset.points) > 5000);
  assert.ok(await page.$eval("#chart-temp", (c) => Number(c.dataset.points) > 2000));
  // The legend shows each drawn line's width and dashes, no two alike, for night mode's sake.
  const swatches = await page.$$eval("#legend-mag span:not([hidden]) line", (lines) =>
    lines.map((l) => l.getAttribute("stroke-width") + "/" + l.getAttribute("stroke-dasharray")));
  assert.equal(swatches.length, 5);
  assert.equal(new Set(swatches).size, 5);
  await page.screenshot({ path: path.join(shots, "dashboard-desktop-day.png"), fullPage: true });
  await page.close();
});

test("night mode is red on black and survives a reload", async () => {
  const page = await openPage({ width: 1280, height: 900 });
  assert.equal(await nightOn(page), false);
  await page.click("#night");
  assert.equal(await nightOn(page), true);
  await page.reload({ waitUntil: "load" });
  assert.equal(await nightOn(page), true);
  const colours = await page.evaluate(() => {
    const html = getComputedStyle(document.documentElement);
    const value = getComputedStyle(document.querySelector('[data-key="mag_v"]'));
    return { background: html.backgroundColor, text: value.color };
  });
  assert.equal(colours.background, "rgb(0, 0, 0)");
  const [red, green, blue] = colours.text.match(/\d+/g).map(Number);
  assert.ok(red > 100 && green < 60 && blue < 60, colours.text);
  await page.waitForFunction(() => Number(document.getElementById("chart-mag").dataset.points) > 0);
  await page.screenshot({ path: path.join(shots, "dashboard-desktop-night.png"), fullPage: true });
  await page.click("#night");
  await page.reload({ waitUntil: "load" });
  assert.equal(await nightOn(page), false);
  await page.close();
});

test("a phone shows everything without scrolling sideways", async () => {
  const page = await openPage({ width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
  await page.waitForFunction(() => document.querySelector('[data-key="mag_v"]').textContent !== "–");
  const layout = await page.evaluate(() => ({
    scroll: document.documentElement.scrollWidth,
    width: document.documentElement.clientWidth,
    outside: [...document.querySelectorAll(".card, canvas, button, h1")]
      .filter((e) => e.getBoundingClientRect().right > document.documentElement.clientWidth + 0.5)
      .map((e) => e.className || e.id || e.tagName),
    clipped: [...document.querySelectorAll(".value")]
      .filter((e) => e.scrollWidth > e.clientWidth + 1).map((e) => e.textContent),
  }));
  assert.ok(layout.scroll <= layout.width, `page ${layout.scroll} px wide in ${layout.width}`);
  assert.deepEqual(layout.outside, []);
  assert.deepEqual(layout.clipped, []);
  await page.screenshot({ path: path.join(shots, "dashboard-phone-day.png"), fullPage: true });
  await page.click("#night");
  await page.screenshot({ path: path.join(shots, "dashboard-phone-night.png"), fullPage: true });
  await page.close();
});

test("the page of past nights lists them newest first with their charts", async () => {
  // A night's chart as the station writes it at dawn; here a 1×1 picture.
  const png = Buffer.from("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg==", "base64");
  fs.mkdirSync(path.join(folder, "night"), { recursive: true });
  fs.writeFileSync(path.join(folder, "night", "summary.csv"),
    "date,darkest_740nm,darkest_640nm,darkest_red,darkest_green,darkest_blue,dark_740nm,dark_640nm,dark_red,dark_green,dark_blue,cloudy_share,records\n" +
    "2024-03-10,21.52,20.90,20.31,19.02,18.80,21.40,20.85,20.20,18.90,18.70,0.125,612\n" +
    "2024-03-11,21.10,20.50,20.00,18.70,18.50,,,,,,0.5,600\n");
  for (const date of ["2024-03-10", "2024-03-11"]) fs.writeFileSync(path.join(folder, "night", date + ".png"), png);

  const page = await openPage({ width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
  await page.click('a[href="/nights"]');
  await page.waitForFunction(() => document.querySelectorAll(".night-entry img").length === 2);
  await page.waitForFunction(() => [...document.querySelectorAll(".night-entry img")].every((i) => i.complete && i.naturalWidth > 0));
  const shown = await page.$$eval(".night-entry", (els) => els.map((e) => e.querySelector("h2").textContent));
  assert.deepEqual(shown, ["Night of 2024-03-11", "Night of 2024-03-10"]);
  assert.match(await page.$eval("#night-2024-03-10", (e) => e.textContent), /21\.52.*21\.40.*13 %.*612/s);
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= document.documentElement.clientWidth));
  await page.screenshot({ path: path.join(shots, "nights-phone.png"), fullPage: true });
  await page.close();
});

test("night mode chosen on the dashboard holds on the page of past nights, and is switched there", async () => {
  const page = await openPage({ width: 1280, height: 900 });
  if (await nightOn(page)) await page.click("#night");
  await page.click("#night");
  await Promise.all([page.waitForNavigation({ waitUntil: "load" }), page.click('a[href="/nights"]')]);
  const button = () => page.$eval("#night", (b) => [b.textContent, b.getAttribute("aria-pressed")]);
  assert.equal(await nightOn(page), true);
  assert.deepEqual(await button(), ["Day mode", "true"]);
  assert.equal(await page.evaluate(() => getComputedStyle(document.documentElement).backgroundColor), "rgb(0, 0, 0)");
  await page.click("#night");
  assert.equal(await nightOn(page), false);
  assert.deepEqual(await button(), ["Night mode", "false"]);
  await page.goto(base + "/", { waitUntil: "load" });
  assert.equal(await nightOn(page), false);
  await page.close();
});

test("the page of years shows the year's chart, its months and a trend point per month", async () => {
  const png = Buffer.from("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNkYPhfDwAChwGA60e6kgAAAABJRU5ErkJggg==", "base64");
  fs.mkdirSync(path.join(folder, "night"), { recursive: true });
  fs.writeFileSync(path.join(folder, "night", "hourglass-2024.png"), png);
  const medians = (v) => `${v},400,20.90,400,20.31,400,19.02,400,18.80,400,,0,-1.51,400`;
  fs.writeFileSync(path.join(folder, "night", "monthly.csv"),
    "instrument,month,nights,dark_clear_records,median_740nm,records_740nm,median_640nm,records_640nm," +
    "median_red,records_red,median_green,records_green,median_blue,records_blue,median_msas,records_msas," +
    "blue_minus_red,records_blue_minus_red\n" +
    `,2024-01,20,400,${medians("21.52")}\n,2024-02,18,380,${medians("21.30")}\n,2024-03,12,0,,0,,0,,0,,0,,0,,0,,0\n` +
    `,2024-04,15,300,${medians("21.05")}\nsqm-1,2024-01,25,500,${medians("20.10")}\n`);

  const page = await openPage({ width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
  if (await nightOn(page)) await page.click("#night");
  await Promise.all([page.waitForNavigation({ waitUntil: "load" }), page.click('a[href="/years"]')]);
  await page.waitForFunction(() => document.querySelectorAll("#months tbody tr").length === 4);
  const rows = await page.$$eval("#months tbody tr", (trs) => trs.map((r) => [...r.cells].map((c) => c.textContent)));
  assert.deepEqual(rows.map((r) => r.slice(0, 5)), [
    ["2024-01", "20", "400", "21.52", "20.90"], ["2024-02", "18", "380", "21.30", "20.90"],
    ["2024-03", "12", "0", "–", "–"], ["2024-04", "15", "300", "21.05", "20.90"]]);
  assert.equal(rows[0][8], "-1.51");
  assert.equal(await page.$$eval("#trend circle.point", (c) => c.length), 3);
  await page.waitForFunction(() => { const i = document.getElementById("hourglass"); return i.complete && i.naturalWidth > 0; });
  assert.equal(await page.$eval("#hourglass", (i) => new URL(i.src).pathname), "/hourglass/2024.png");
  assert.ok(await page.evaluate(() => document.documentElement.scrollWidth <= document.documentElement.clientWidth));
  await page.screenshot({ path: path.join(shots, "years-phone-day.png"), fullPage: true });

  await page.click("#night");
  assert.equal(await nightOn(page), true);
  const colours = await page.evaluate(() => ({
    background: getComputedStyle(document.documentElement).backgroundColor,
    point: getComputedStyle(document.querySelector("#trend circle.point")).fill,
  }));
  assert.equal(colours.background, "rgb(0, 0, 0)");
  const [red, green, blue] = colours.point.match(/\d+/g).map(Number);
  assert.ok(red > 100 && green < 60 && blue < 60, colours.point);
  await page.screenshot({ path: path.join(shots, "years-phone-night.png"), fullPage: true });
  await page.click("#night");
  await page.close();
});

test("nothing in the console", () => {
  assert.deepEqual(complaints, []);
});
