// The page's first load, as a friend who opens the link meets it: an empty
// cache each time, the bytes that came over the wire (compressed, headers
// included) and the time from the link to the page's name field, to a seat
// at the table, and (the game started at once) to the first hand dealt and
// drawn from the deck, at ombrix-host on loopback (a host of its own each
// time; the deal waits for the host's pace alike before and after any
// change here). The peer in the same run and the same browser: a bare page
// (a line of HTML) from a plain node server on loopback, the floor under any
// page here.
// With --check (the test command) it loads once and fails where a first load
// went wrong in a way no timing shows: the whole deck asked for, a card's
// file before its card is shown or twice, or more bytes to the seat than
// the page can need. Exits 77 (skipped) where chromium cannot start.
//   node web/tests/firstload.mjs [loads | --check]    (OMBRIX_BIN: the programs' folder)
import assert from "node:assert/strict";
import { createServer } from "node:http";
import { chromium } from "playwright-core";
import { CHROMIUM, FLAGS, cleanup, host } from "./harness.mjs";

const CHECK = process.argv[2] === "--check";
const LOADS = CHECK ? 1 : Number(process.argv[2] ?? 7);
// The page and its seat come to about 20 KB; the whole deck alone is about
// a megabyte. Far above the one, far below the other.
const MOST_BYTES_TO_A_SEAT = 256 * 1024;
const median = (v) => [...v].sort((a, b) => a - b)[Math.floor(v.length / 2)];

let browser;
try {
  browser = await chromium.launch({ executablePath: CHROMIUM, headless: true, args: FLAGS, timeout: 30000 });
} catch (e) {
  console.error(`chromium cannot start here: ${e.message.split("\n")[0]}`);
  process.exit(77);
}
const bare = createServer((_, res) => res.end("<!doctype html><title>bare</title><p>bare")).listen(0, "127.0.0.1");
await new Promise((r) => bare.once("listening", r));
const bareLink = `http://127.0.0.1:${bare.address().port}/`;

const deckId = (card) => {
  if (!(card >= 1 && card <= 52)) return "back";
  const ranks = ["2", "3", "4", "5", "6", "7", "8", "9", "10", "jack", "queen", "king", "1"];
  return `${ranks[(card - 1) % 13]}_${["club", "diamond", "heart", "spade"][Math.floor((card - 1) / 13)]}`;
};

// Bytes over the wire of the requests finished so far.
async function bytesOf(responses) {
  let bytes = 0;
  for (const r of responses) {
    const s = await r.sizes();
    bytes += s.responseBodySize + s.responseHeadersSize;
  }
  return bytes;
}

// One load in a new context (nothing cached), at a table of its own: ms to
// the name field and to the seat, then, the game started, to the first hand
// dealt and drawn from the deck; the bytes and files by the seat and by the
// hand.
async function load(url, table) {
  const context = await browser.newContext();
  const page = await context.newPage();
  const responses = [], asked = [];
  page.on("requestfinished", (r) => responses.push(r));
  page.on("request", (r) => asked.push(new URL(r.url()).pathname));
  const t0 = performance.now();
  await page.goto(url, { waitUntil: table ? "commit" : "load" });
  const r = { shown: 0, seated: 0, drawn: 0, asked };
  if (table) {
    await page.getByLabel("Your name").waitFor();
    r.shown = performance.now() - t0;
    await page.getByLabel("Your name").fill("Guest");
    await page.getByRole("button", { name: "Join" }).click();
    await page.waitForFunction(() => window.ombrix?.model.loggedIn);
    // Its hand's place and the table drawn: the next frame after the seat.
    await page.evaluate(() => new Promise((r) => requestAnimationFrame(() => r())));
    r.seated = performance.now() - t0;
    // Whatever the seat set going has come (a file asked for late is counted).
    if (CHECK) await page.waitForLoadState("networkidle");
    r.seatBytes = await bytesOf(responses);
    r.seatAsked = [...asked];
    await page.getByRole("button", { name: "Start Half Game" }).click();
    await page.waitForFunction(() => {
      const faces = [...document.querySelectorAll(".card:not(.ghost) .face")];
      return document.querySelector("#om-hand button") && faces.every((f) => f.querySelector("use"));
    }, null, { timeout: 30000 });
    r.drawn = performance.now() - t0;
    r.shownCards = await page.evaluate(() => {
      const m = window.ombrix.model;
      return [...m.hand, m.trump, ...m.played, ...m.lastTrick.cards];
    });
  } else {
    r.shown = r.seated = performance.now() - t0;
  }
  r.bytes = await bytesOf(responses);
  r.files = responses.length;
  await context.close();
  return r;
}

try {
  const runs = [], bares = [];
  // Alternating, so both meet the machine's load alike.
  for (let i = 0; i < LOADS; ++i) {
    runs.push(await load((await host(8)).link, true));
    bares.push(await load(bareLink, false));
  }
  const r = runs[runs.length - 1];
  const cards = r.asked.filter((p) => p.startsWith("/deck"));
  if (CHECK) {
    assert.ok(r.asked.includes("/app.js"), r.asked.join(" "));
    assert.ok(!r.asked.some((p) => p.endsWith("/deck.svg")), `the whole deck was asked for: ${r.asked.join(" ")}`);
    // No game ran at the seat: no card was shown, so none was fetched.
    assert.deepEqual(r.seatAsked.filter((p) => p.startsWith("/deck")), []);
    assert.ok(r.seatBytes < MOST_BYTES_TO_A_SEAT, `${r.seatBytes} bytes to a seat: ${r.seatAsked.join(" ")}`);
    // Once dealt, the cards shown and the back, each once.
    // Under the one tag of the deck the door serves.
    const tag = cards.length ? cards[0].split("/")[2] : "";
    assert.match(tag, /^[0-9a-f]{12}$/, cards.join(" "));
    const files = `/deck/${tag}/`;
    const shown = new Set([`${files}back.svg`, ...r.shownCards.filter((c) => c > 0).map((c) => `${files}${deckId(c)}.svg`)]);
    assert.ok(cards.every((p) => shown.has(p)), `${cards.join(" ")} for ${[...shown].join(" ")}`);
    assert.equal(new Set(cards).size, cards.length, cards.join(" "));
  }
  const kb = (b) => `${(b / 1024).toFixed(1)} KB`;
  const ms = (key) => `${median(runs.map((x) => x[key])).toFixed(0)} ms`;
  console.log(`web table's first load, median of ${LOADS}: name field ${ms("shown")}, seated at the table ` +
    `${ms("seated")}, the first hand drawn from the deck ${ms("drawn")}`);
  console.log(`  over the wire (compressed): ${kb(r.seatBytes)} to the seat (${r.seatAsked.length} files), ` +
    `${kb(r.bytes)} by the hand drawn and its deck's files done (${r.files} files, ${cards.length} of the deck)`);
  console.log(`peer, a bare page: ${kb(bares[0].bytes)}, loaded in ` +
    `${median(bares.map((x) => x.seated)).toFixed(0)} ms (median of ${LOADS})`);
} finally {
  bare.close();
  await browser.close();
  await cleanup();
}
