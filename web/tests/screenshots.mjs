// Retakes the README's pictures of the web table: a desktop browser and a
// phone held upright at one table, a few rounds into a half game.
//   node web/tests/screenshots.mjs [DOCS_DIR]   (OMBRIX_BIN: the programs' folder)
import { join } from "node:path";
import { autoplay, browser, cleanup, host, joinedPage } from "./harness.mjs";

const docs = process.argv[2] ?? join(import.meta.dirname, "../../docs");
const context = await browser();
if (!context) process.exit(77);
try {
  const { link } = await host(6);
  const ann = await joinedPage(context, link, "Ann");
  const bob = await joinedPage(context, link, "Bob", { width: 360, height: 740 });
  await ann.getByRole("button", { name: "Start Half Game" }).click();
  await bob.getByLabel("Chat", { exact: true }).fill("hi all, playing from my phone");
  await bob.getByLabel("Chat", { exact: true }).press("Enter");
  await ann.getByRole("button", { name: "Good One!" }).click();
  await autoplay(ann);
  await autoplay(bob);
  await ann.waitForFunction(() => window.ombrix.model.round >= 5, null, { timeout: 120000 });
  await ann.evaluate(() => clearInterval(window.ombrixAutoplay));
  // Ann's turn with two cards or more on the table: the moment of choice.
  for (;;) {
    await ann.waitForFunction(() => window.ombrix.model.myTurn, null, { timeout: 60000 });
    if (await ann.evaluate(() => window.ombrix.model.played.filter((c) => c > 0).length >= 2)) break;
    await ann.locator("#om-hand button.playable").first().click();
  }
  await bob.evaluate(() => clearInterval(window.ombrixAutoplay));
  // A page behind another is not drawn (its cards' moves wait): each is
  // brought to the front for its picture.
  await ann.bringToFront();
  await ann.waitForTimeout(600);
  await ann.screenshot({ path: join(docs, "web-desktop.png") });
  await bob.bringToFront();
  await bob.waitForTimeout(600);
  await bob.screenshot({ path: join(docs, "web-phone.png") });
} finally {
  await cleanup();
}
