// The page's first load, as a friend who opens the link meets it: an empty
// cache each time, the bytes that came over the wire (compressed, headers
// included) and the time from the link to the page's name field and to a
// seat at the table, at ombrix-host on loopback. The peer in the same run
// and the same browser: a bare page (a line of HTML) from a plain node
// server on loopback, the floor under any page here.
//   node web/tests/firstload.mjs [loads]    (OMBRIX_BIN: the programs' folder)
import { createServer } from "node:http";
import { chromium } from "playwright-core";
import { CHROMIUM, FLAGS, cleanup, host } from "./harness.mjs";

const LOADS = Number(process.argv[2] ?? 7);
const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];

const browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: FLAGS });
const { link } = await host(8);
const bare = createServer((_, res) => res.end("<!doctype html><title>bare</title><p>bare")).listen(0, "127.0.0.1");
await new Promise((r) => bare.once("listening", r));
const bareLink = `http://127.0.0.1:${bare.address().port}/`;

// One load in a new context (nothing cached): bytes, ms to the name field and
// to the seat.
async function load(url, table) {
  const context = await browser.newContext();
  const page = await context.newPage();
  const responses = [];
  page.on("requestfinished", (r) => responses.push(r));
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
  return { bytes, files, shown, seated };
}

try {
  const runs = [], bares = [];
  // Alternating, so both meet the machine's load alike.
  for (let i = 0; i < LOADS; ++i) {
    runs.push(await load(link, true));
    bares.push(await load(bareLink, false));
  }
  const r = runs[runs.length - 1];
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
