// What the browser tests share: a free port, a program of ours run until its log says it
// serves, and headless Chromium with a profile in the test's folder.
import { spawn } from "node:child_process";
import net from "node:net";
import path from "node:path";
import puppeteer from "puppeteer-core";

export function freeTcpPort() {
  return new Promise((resolve) => {
    const listener = net.createServer().listen(0, "127.0.0.1", () => {
      const { port } = listener.address();
      listener.close(() => resolve(port));
    });
  });
}

// Starts `program` and resolves with it once its standard output holds `ready`.
export async function startServing(program, args, options, ready) {
  const child = spawn(program, args, options);
  let log = "";
  await new Promise((resolve, reject) => {
    const timer = setTimeout(() => reject(new Error(`no "${ready}" in the log:\n` + log)), 20000);
    child.stdout.on("data", (chunk) => {
      log += chunk;
      if (log.includes(ready)) {
        clearTimeout(timer);
        resolve();
      }
    });
  });
  return child;
}

export async function stopServing(child) {
  if (!child) return;
  child.kill("SIGTERM");
  await new Promise((resolve) => child.once("exit", resolve));
}

export function launchBrowser(folder) {
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM || "/usr/bin/chromium",
    headless: true,
    userDataDir: path.join(folder, "profile"),
    args: ["--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-extensions"],
  });
}
