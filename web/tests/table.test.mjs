// The web table in a real browser: Debian's chromium, headless, at a table
// hosted by ombrix-host. Exits 77 (skipped) where chromium cannot start.
//   node web/tests/table.test.mjs    (OMBRIX_BIN: the programs' folder)
import assert from "node:assert/strict";
import { after, test } from "node:test";
import { createServer, connect } from "node:net";
import { autoplay, browser, cleanup, desktop, desktopSeen, host, joinedPage, seen } from "./harness.mjs";

const context = await browser();
if (!context) process.exit(77);
after(cleanup);

const HALF_GAME_CARDS = 4 * (1 + 2 + 3 + 4 + 5 + 6 + 7 + 8 + 9 + 10);

test("two pages and a desktop table play a half game to its end, and each sees every card", async () => {
  const { port, link } = await host(20);
  const ann = await joinedPage(context, link, "Ann");
  const bob = await joinedPage(context, link, "Bob");
  assert.equal(await ann.evaluate(() => window.ombrix.model.mySeat), 1);
  assert.equal(await bob.evaluate(() => window.ombrix.model.mySeat), 2);
  const desk = desktop(port, "Desk");
  await ann.getByText("Desk has Connected.").waitFor();
  // Seat 1 starts; the fourth seat is the computer's.
  await ann.getByRole("button", { name: "Start Half Game" }).click();
  await bob.getByText("Ann has started a HALF game.").waitFor();
  // Round 1: one card each, named as a player hears it.
  await autoplay(ann);
  await autoplay(bob);
  for (const p of [ann, bob]) await p.locator("#om-end", { hasText: "Game Over!" }).waitFor({ timeout: 240000 });
  await desk.until(/won the game|Game Over/, 5000).catch(() => {});
  const a = await seen(ann), b = await seen(bob);
  assert.equal(a.length, HALF_GAME_CARDS);
  assert.deepEqual(b, a);
  // The desktop table was shown the same cards in the same order.
  await new Promise((r) => setTimeout(r, 300));
  assert.deepEqual(desktopSeen(desk), a);
  // The score card has the half game's ten rounds and the winner is told.
  assert.match(await ann.locator("#om-status1").innerText(), / won the game\.$/);
  await ann.getByRole("button", { name: "Score Card" }).click();
  assert.equal(await ann.locator("#om-scoretable tr").count(), 12);
});

test("at a table with house rules a page is seated, shows them and reads negative scores", async () => {
  const { link } = await host(20, ["--rules", "hook,scoring=penalty"]);
  const ann = await joinedPage(context, link, "Ann");
  await ann.getByRole("button", { name: "Start Half Game" }).click();
  await ann.getByText("House rules: hook,scoring=penalty.").first().waitFor();
  await autoplay(ann);
  // Bidding 1 every round with a hand of one to four cards misses often:
  // penalty scoring takes points away, and a total goes below zero.
  await ann.waitForFunction(() => window.ombrix.model.round >= 5, null, { timeout: 120000 });
  const m = await ann.evaluate(() => {
    const m = window.ombrix.model;
    return { seat: m.mySeat, loggedIn: m.loggedIn, rules: m.rules, card: m.card.slice(1, 5).map((r) => r.slice(1)) };
  });
  assert.equal(m.seat, 1);
  assert.ok(m.loggedIn);
  assert.equal(m.rules, "hook,scoring=penalty");
  const points = m.card.flat().filter((c) => c !== "").map(Number);
  assert.equal(points.length, 16, JSON.stringify(m.card));
  assert.ok(points.some((p) => p < 0), JSON.stringify(m.card));
  await ann.getByRole("button", { name: "Score Card" }).click();
  assert.equal(await ann.locator("#om-scoretitle").innerText(), "Score Card (house rules: hook,scoring=penalty)");
});

// A proxy between a page and the door that can cut every line it carries.
function cutter(to) {
  const lines = new Set();
  const server = createServer((c) => {
    const s = connect(to, "127.0.0.1");
    lines.add(c).add(s);
    c.pipe(s).pipe(c);
    const gone = () => (c.destroy(), s.destroy());
    c.on("error", gone).on("close", gone);
    s.on("error", gone).on("close", gone);
  });
  return new Promise((resolve) =>
    server.listen(0, "127.0.0.1", () =>
      resolve({
        port: server.address().port,
        cut: () => {
          for (const l of lines) l.resetAndDestroy?.() ?? l.destroy();
          lines.clear();
        },
        close: () => server.close(),
      }),
    ),
  );
}

test("a page whose WebSocket drops mid-trick comes back to its seat with its hand", async () => {
  const { link } = await host(4);
  const door = new URL(link);
  const proxy = await cutter(Number(door.port));
  after(() => proxy.close());  // a listener left open would keep the run from ending
  const ann = await joinedPage(context, `http://127.0.0.1:${proxy.port}/`, "Ann");
  await ann.getByRole("button", { name: "Start Half Game" }).click();
  await autoplay(ann);
  // Round 3 on: three cards; wait for a trick under way with Ann still holding cards.
  await ann.waitForFunction(
    () => {
      const m = window.ombrix.model;
      return m.round >= 3 && m.played.some((c) => c > 0) && m.hand.filter((c) => c > 0).length >= 2;
    },
    null,
    { timeout: 60000 },
  );
  await ann.evaluate(() => clearInterval(window.ombrixAutoplay));
  const before = await ann.evaluate(() => ({
    seat: window.ombrix.model.mySeat,
    hand: window.ombrix.model.hand.filter((c) => c > 0).sort((x, y) => x - y),
    round: window.ombrix.model.round,
  }));
  proxy.cut();
  await ann.getByText("Connection lost, reconnecting…").waitFor();
  // Back, logged in again in the same seat, with the hand it holds now
  // (the computer may have played one card for it meanwhile).
  await ann.waitForFunction((seat) => window.ombrix.model.loggedIn && window.ombrix.model.mySeat === seat,
    before.seat, { timeout: 20000 });
  // The hand in the model and drawn as buttons (the page draws on its next frame).
  await ann.waitForFunction(() => {
    const held = window.ombrix.model.hand.filter((c) => c > 0).length;
    return held > 0 && document.querySelectorAll("#om-hand button").length === held;
  }, null, { timeout: 10000 });
  const backHand = await ann.evaluate(() => window.ombrix.model.hand.filter((c) => c > 0).sort((x, y) => x - y));
  const round = await ann.evaluate(() => window.ombrix.model.round);
  if (round === before.round) {
    assert.ok(backHand.every((c) => before.hand.includes(c)), `${backHand} within ${before.hand}`);
    assert.ok(backHand.length >= before.hand.length - 1);
  }
  // Its cards are buttons again, named as a player hears them.
  const names = await ann.locator("#om-hand button").evaluateAll((bs) => bs.map((b) => b.getAttribute("aria-label")));
  assert.equal(names.length, backHand.length);
  assert.ok(names.every((n) => / of (Clubs|Diamonds|Hearts|Spades)$/.test(n)), names.join(","));
});

test("a phone-sized page shows the whole table", async () => {
  const { link } = await host(4);
  const ann = await joinedPage(context, link, "Ann", { width: 360, height: 740 });
  await ann.getByRole("button", { name: "Start Half Game" }).click();
  await autoplay(ann);
  // Round 4 on: a hand of several cards, a trick on the table.
  await ann.waitForFunction(() => {
    const m = window.ombrix.model;
    return m.round >= 4 && m.hand.filter((c) => c > 0).length >= 3 && m.played.some((c) => c > 0);
  }, null, { timeout: 60000 });
  await ann.evaluate(() => clearInterval(window.ombrixAutoplay));
  // Every part of the table lies inside the screen, none over another, and
  // the page does not scroll sideways.
  const box = async (sel) => ann.locator(sel).first().boundingBox();
  const parts = {
    bar: await box(".bar"),
    seat1: await box(".seat.pos1"), seat2: await box(".seat.pos2"),
    seat3: await box(".seat.pos3"), seat4: await box(".seat.pos4"),
    trump: await box(".trumpbox"), hand: await box("#om-hand"), chat: await box("#om-chat"),
  };
  for (const [name, b] of Object.entries(parts)) {
    assert.ok(b, `${name} is shown`);
    assert.ok(b.x >= 0 && b.y >= 0 && b.x + b.width <= 361 && b.y + b.height <= 741, `${name} inside: ${JSON.stringify(b)}`);
  }
  const overlap = (p, q) => p.x < q.x + q.width && q.x < p.x + p.width && p.y < q.y + q.height && q.y < p.y + p.height;
  const seats = [parts.seat1, parts.seat2, parts.seat3, parts.seat4];
  for (let i = 0; i < 4; i++) for (let j = i + 1; j < 4; j++) assert.ok(!overlap(seats[i], seats[j]), `seats ${i + 1} and ${j + 1}`);
  const cards = await ann.locator("#om-hand button").evaluateAll((bs) => bs.map((b) => b.getBoundingClientRect().right));
  assert.ok(cards.length >= 1 && Math.max(...cards) <= 360, `hand within the screen: ${cards}`);
  assert.equal(await ann.evaluate(() => document.documentElement.scrollWidth), 360);
  // Every card shown (the hand, the trick, the trump, the others' backs) is
  // drawn from the deck once its own file has come, each file asked for
  // once however often its card is drawn, and the whole deck never.
  await ann.waitForFunction(() => {
    const faces = [...document.querySelectorAll(".card:not(.ghost) .face")];
    return faces.length > 0 && faces.every((f) => f.querySelector("use"));
  }, null, { timeout: 10000 });
  const asked = await ann.evaluate(() => performance.getEntriesByType("resource").map((e) => new URL(e.name).pathname));
  const files = asked.filter((p) => p.startsWith("/deck"));
  const tag = await ann.evaluate(() => document.documentElement.dataset.deck);
  assert.match(tag, /^[0-9a-f]{12}$/);
  assert.ok(files.includes(`/deck/${tag}/back.svg`), files.join(" "));
  assert.ok(files.every((p) => p.startsWith(`/deck/${tag}/`) && /\/([a-z0-9]+_[a-z]+|back)\.svg$/.test(p)), files.join(" "));
  assert.equal(new Set(files).size, files.length, files.join(" "));
  if (process.env.OMBRIX_SHOTS) await ann.screenshot({ path: `${process.env.OMBRIX_SHOTS}/web-phone.png` });
});
