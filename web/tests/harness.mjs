// What the web table's browser tests share: Debian's chromium, headless,
// driven by playwright-core (never a browser of its own), ombrix-host on
// free ports, a desktop table offscreen, and a page that plays its seat.
import { spawn } from "node:child_process";
import { copyFileSync, linkSync, mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { chromium } from "playwright-core";

export const CHROMIUM = process.env.OMBRIX_CHROMIUM ?? "/usr/bin/chromium";
export const BIN = process.env.OMBRIX_BIN ?? join(import.meta.dirname, "../../build-asan/bin");
export const FLAGS = ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
  "--disable-background-networking", "--disable-component-update", "--disable-sync"];

const cleanups = [];
export async function cleanup() {
  while (cleanups.length) await cleanups.pop()().catch(() => {});
}

// A browser with a new empty profile, or null when chromium cannot start here.
export async function browser() {
  const profile = mkdtempSync(join(tmpdir(), "ombrix-chromium-"));
  try {
    const context = await chromium.launchPersistentContext(profile, {
      executablePath: CHROMIUM, headless: true, args: FLAGS, timeout: 30000,
    });
    cleanups.push(async () => {
      await context.close();
      rmSync(profile, { recursive: true, force: true });
    });
    return context;
  } catch (e) {
    rmSync(profile, { recursive: true, force: true });
    console.error(`chromium cannot start here: ${e.message.split("\n")[0]}`);
    return null;
  }
}

// Runs a program, gathering its standard error; resolves `until` when a line
// matches. Ended at cleanup.
export function run(program, args, env = {}) {
  const child = spawn(program, args, {
    env: { ...process.env, ASAN_OPTIONS: "detect_leaks=0", ...env },
    stdio: ["ignore", "pipe", "pipe"],
  });
  const proc = { child, err: "", waiters: [] };
  const take = (d) => {
    proc.err += d.toString();
    for (const w of [...proc.waiters]) {
      const m = w.re.exec(proc.err);
      if (m) {
        proc.waiters.splice(proc.waiters.indexOf(w), 1);
        w.resolve(m);
      }
    }
  };
  child.stderr.on("data", take);
  child.stdout.on("data", take);
  proc.until = (re, ms = 30000) =>
    new Promise((resolve, reject) => {
      const m = re.exec(proc.err);
      if (m) return resolve(m);
      const t = setTimeout(() => reject(new Error(`${program}: no ${re} in:\n${proc.err.slice(-2000)}`)), ms);
      proc.waiters.push({ re, resolve: (x) => (clearTimeout(t), resolve(x)) });
    });
  cleanups.push(
    () =>
      new Promise((resolve) => {
        if (child.exitCode !== null) return resolve();
        child.once("exit", resolve);
        child.kill("SIGTERM");
        setTimeout(() => child.kill("SIGKILL"), 5000);
      }),
  );
  return proc;
}

// ombrix-host on free ports, its timers `scale` times faster, the computer
// at its fastest. Resolves with its game port, its web link and the process.
export async function host(scale = 8, extra = []) {
  const h = run(join(BIN, "ombrix-host"), ["--port", "0", "--bind", "127.0.0.1", "--web-port", "0",
    "--no-announce", "--time-scale", String(scale), "--seed", "29", ...extra]);
  const port = Number((await h.until(/listening on port (\d+)/))[1]);
  const link = (await h.until(/web link: (http:\/\/\S+)/))[1];
  return { port, link, proc: h };
}

// The desktop table offscreen, joined as `name`, playing its seat by keys;
// with the table's log on, every card it is shown is a line.
export function desktop(port, name) {
  const home = mkdtempSync(join(tmpdir(), "ombrix-desk-"));
  cleanups.push(async () => rmSync(home, { recursive: true, force: true }));
  // Run from a folder of its own: the game keeps its settings and tally
  // beside itself where it can, never in the build's folder.
  const program = join(home, "ombrix");
  try {
    linkSync(join(BIN, "ombrix"), program);
  } catch {
    copyFileSync(join(BIN, "ombrix"), program);
  }
  return run(program, [name, `127.0.0.1:${port}`, "join"], {
    QT_QPA_PLATFORM: "offscreen", OMBRIX_KEYPLAY: "99", QT_LOGGING_RULES: "ombrix.table.info=true",
    HOME: home, XDG_CONFIG_HOME: join(home, "config"), XDG_DATA_HOME: join(home, "data"),
    XDG_RUNTIME_DIR: home,
  });
}

// The cards a desktop table was shown, as "seat:card".
export function desktopSeen(proc) {
  return [...proc.err.matchAll(/shown CMD_playcard\+(\d+)\+\d+\+(\d+)/g)].map((m) => `${m[1]}:${m[2]}`);
}

// A page at the link, joined as `name`.
export async function joinedPage(context, link, name, viewport = { width: 1280, height: 800 }) {
  const page = await context.newPage();
  await page.setViewportSize(viewport);
  await page.goto(link);
  await page.getByLabel("Your name").fill(name);
  await page.getByRole("button", { name: "Join" }).click();
  await page.waitForFunction(() => window.ombrix?.model.loggedIn);
  return page;
}

// The page plays its own seat through its own buttons, as a player would
// click them: a bid of one, then the first card it may play.
export async function autoplay(page) {
  await page.evaluate(() => {
    const step = () => {
      const box = document.getElementById("om-bidbox");
      // A 1, or a 0 where the hook refused the 1 a moment ago.
      if (box && !box.hidden) {
        document.getElementById("om-bid").value = window.ombrixRefused ? "0" : "1";
        window.ombrixRefused = true;
        document.getElementById("om-bidbutton").click();
      } else window.ombrixRefused = false;
      const card = document.querySelector("#om-hand button.playable");
      if (card) card.click();
    };
    window.ombrixAutoplay = setInterval(step, 20);
  });
}

export async function seen(page) {
  return page.evaluate(() => window.ombrix.seen.map((s) => `${s.seat}:${s.card}`));
}
