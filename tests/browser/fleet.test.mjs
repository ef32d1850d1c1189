// noxa-archive's fleet page in headless Chromium on a phone's screen, against a made-up
// archive: the stations listed by name with the silent one marked, night mode, and a tap that
// opens a station's chart. A screenshot of each goes to NOXA_SHOT_DIR.
// Environment: NOXA_FLEET_SERVE (the serving program), CHROMIUM (default /usr/bin/chromium).
import { test, before, after } from "node:test";
import assert from "node:assert/strict";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { freeTcpPort, launchBrowser, startServing, stopServing } from "./harness.mjs";

const shots = process.env.NOXA_SHOT_DIR || os.tmpdir();
let folder, server, browser, base;
const complaints = [];

before(async () => {
  folder = fs.mkdtempSync(path.join(os.tmpdir(), "noxa-fleet-"));
  const port = await freeTcpPort();
  base = `http://127.0.0.1:${port}`;
  server = await startServing(process.env.NOXA_FLEET_SERVE, [folder, String(port)], {},
    "Fleet web on ");
  browser = await launchBrowser(folder);
});

after(async () => {
  if (browser) await browser.close();
  await stopServing(server);
  fs.rmSync(folder, { recursive: true, force: true });
});

test("the stations by name, the silent one marked, night mode, a tap opens a chart", async () => {
  const page = await browser.newPage();
  await page.setViewport({ width: 390, height: 844, deviceScaleFactor: 2, isMobile: true, hasTouch: true });
  page.on("console", (m) => { if (m.type() === "error" || m.type() === "warn") complaints.push(m.text()); });
  page.on("pageerror", (e) => complaints.push(`page error: ${e.message}`));
  await page.goto(base + "/", { waitUntil: "load" });
  await page.waitForFunction(() => document.querySelectorAll("#stations li").length === 3);

  const cards = await page.$$eval("#stations li", (items) => items.map((li) => ({
    id: li.dataset.station,
    silent: getComputedStyle(li.querySelector(".silent")).display !== "none",
  })));
  assert.deepEqual(cards, [
    { id: "alpha", silent: true }, { id: "new", silent: true }, { id: "roof", silent: false }]);
  assert.equal(await page.$eval('[data-station="roof"] .median', (e) => e.textContent), "21.00");
  const width = await page.evaluate(() => document.documentElement.scrollWidth);
  assert.ok(width <= 390, `page ${width} px wide`);
  await page.screenshot({ path: path.join(shots, "fleet-phone-day.png"), fullPage: true });

  await page.click("#night");
  const colours = await page.evaluate(() => ({
    background: getComputedStyle(document.documentElement).backgroundColor,
    text: getComputedStyle(document.querySelector('[data-station="roof"] .mag')).color,
  }));
  assert.equal(colours.background, "rgb(0, 0, 0)");
  const [red, green, blue] = colours.text.match(/\d+/g).map(Number);
  assert.ok(red > 100 && green < 60 && blue < 60, colours.text);

  await page.click('[data-station="roof"] button');
  await page.waitForFunction(() => Number(document.getElementById("chart").dataset.points) > 100);
  assert.equal(await page.$eval("#detail", (e) => e.closest("li").dataset.station), "roof");
  await page.screenshot({ path: path.join(shots, "fleet-phone-night.png"), fullPage: true });
  assert.deepEqual(complaints, []);
  await page.close();
});
