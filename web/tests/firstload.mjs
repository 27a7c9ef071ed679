// The page's first load, as a friend who opens the link meets it: an empty
// cache each time, the bytes that came over the wire (compressed, headers
// included) and the time from the link to the page's name field and to a
// seat at the table, at ombrix-host on loopback. The peer in the same run
// and the same browser: a bare page (a line of HTML) from a plain node
// server on loopback, the floor under any page here.
// With --check (the test command) it loads once and fails where a first load
// went wrong in a way no timing shows: the whole deck asked for, or more bytes
// than the page and its seat can need. Exits 77 (skipped) where chromium
// cannot start.
//   node web/tests/firstload.mjs [loads | --check]    (OMBRIX_BIN: the programs' folder)
import assert from "node:assert/strict";
import { createServer } from "node:http";
import { chromium } from "playwright-core";
import { CHROMIUM, FLAGS, cleanup, host } from "./harness.mjs";

const CHECK = process.argv[2] === "--check";
const LOADS = CHECK ? 1 : Number(process.argv[2] ?? 7);
// The page and its seat come to about 20 KB; the whole deck alone is over
// a megabyte, a card's file a few KB. Far above the one, far below the other.
const MOST_BYTES_TO_A_SEAT = 256 * 1024;
const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];

let browser;
try {
  browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: FLAGS, timeout: 30000 });
} catch (e) {
  console.error(`chromium cannot start here: ${e.message.split("\n")[0]}`);
  process.exit(77);
}
const { link } = await host(8);
const bare = createServer((_, res) => res.end("<!doctype html><title>bare</title><p>bare")).listen(0, "127.0.0.1");
await new Promise((r) => bare.once("listening", r));
const bareLink = `http://127.0.0.1:${bare.address().port}/`;

// One load in a new context (nothing cached): bytes, ms to the name field and
// to the seat.
async function load(url, table) {
  const context = await browser.newContext();
  const page = await context.newPage();
  const responses = [], asked = [];
  page.on("requestfinished", (r) => responses.push(r));
  page.on("request", (r) => asked.push(new URL(r.url()).pathname));
  const t0 = performance.now();
  await page.goto(url, { waitUntil: table ? "commit" : "load" });
  let shown = 0, seated = 0;
  if (table) {
    await page.getByLabel("Your name").waitFor();
    shown = performance.now() - t0;
    await page.getByLabel("Your name").fill("Guest");
    await page.getByRole("button", { name: "Join" }).click();
    await page.waitForFunction(() => window.ombrix?.model.loggedIn);
    // Its hand's place and the table drawn: the next frame after the seat.
    await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => r())));
    seated = performance.now() - t0;
    // Whatever the seat set going has come (a file asked for late is counted).
    if (CHECK) await page.waitForLoadState("networkidle");
  } else {
    shown = seated = performance.now() - t0;
  }
  let bytes = 0;
  for (const r of responses) {
    const s = await r.sizes();
    bytes += s.responseBodySize + s.responseHeadersSize;
  }
  const files = responses.length;
  await context.close();
  return { bytes, files, shown, seated, asked };
}

try {
  const runs = [], bares = [];
  // Alternating, so both meet the machine's load alike.
  for (let i = 0; i < LOADS; ++i) {
    runs.push(await load(link, true));
    bares.push(await load(bareLink, false));
  }
  const r = runs[runs.length - 1];
  if (CHECK) {
    assert.ok(r.asked.includes("/app.js"), r.asked.join(" "));
    assert.ok(!r.asked.some((p) => p.endsWith("/deck.svg")), `the whole deck was asked for: ${r.asked.join(" ")}`);
    // No game runs at the table: no card is shown, so none is fetched.
    assert.deepEqual(r.asked.filter((p) => p.startsWith("/deck")), []);
    assert.ok(r.bytes < MOST_BYTES_TO_A_SEAT, `${r.bytes} bytes to a seat: ${r.asked.join(" ")}`);
  }
  console.log(`web table's first load: ${r.files} files, ${(r.bytes / 1024).toFixed(1)} KB over the wire (compressed)`);
  console.log(`  median of ${LOADS}: name field ${median(runs.map((x) => x.shown)).toFixed(0)} ms, ` +
    `seated at the table ${median(runs.map((x) => x.seated)).toFixed(0)} ms`);
  console.log(`peer, a bare page: ${(bares[0].bytes / 1024).toFixed(1)} KB, loaded in ` +
    `${median(bares.map((x) => x.seated)).toFixed(0)} ms (median of ${LOADS})`);
} finally {
  bare.close();
  await browser.close();
  await cleanup();
}
