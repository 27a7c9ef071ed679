// A browser joins a table by a link and plays its first round: the page
// takes slot 1 (it starts a half game), bids and plays its cards until the
// round is scored. For tests that host the table elsewhere (the lobby
// server's link through a NAT). Exits 77 where chromium cannot start.
//   node web/tests/link.mjs LINK
import { autoplay, browser, cleanup, joinedPage } from "./harness.mjs";

const link = process.argv[2];
const context = await browser();
if (!context) process.exit(77);
let status = 1;
try {
  const page = await joinedPage(context, link, "Webby");
  const seat = await page.evaluate(() => window.ombrix.model.mySeat);
  if (seat === 1) await page.getByRole("button", { name: "Start Half Game" }).click();
  await autoplay(page);
  // Round 1 scored at this table: its own result said.
  await page.locator("#om-end", { hasText: /Bid!/ }).waitFor({ timeout: 60000 });
  const seen = await page.evaluate(() => window.ombrix.seen.length);
  console.log(`joined ${link} in seat ${seat}; round 1 played, ${seen} cards seen`);
  status = seen >= 4 ? 0 : 1;
} catch (e) {
  console.error(String(e).split("\n")[0]);
} finally {
  await cleanup();
}
process.exit(status);
