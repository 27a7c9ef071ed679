// Builds the web table into one folder: index.html, app.js (the TypeScript,
// bundled and minified), app.css and the chatter sounds' voices.
//   node build.mjs OUTDIR
import { build } from "esbuild";
import { copyFileSync, mkdirSync, readdirSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";

const here = dirname(fileURLToPath(import.meta.url));
const out = process.argv[2] ?? join(here, "dist");
mkdirSync(join(out, "voices"), { recursive: true });
await build({
  entryPoints: [join(here, "src/main.ts")],
  bundle: true,
  minify: true,
  format: "esm",
  target: "es2020",
  outfile: join(out, "app.js"),
  legalComments: "none",
  logLevel: "warning",
});
await build({
  entryPoints: [join(here, "src/app.css")],
  bundle: true,
  minify: true,
  outfile: join(out, "app.css"),
  logLevel: "warning",
});
copyFileSync(join(here, "src/index.html"), join(out, "index.html"));
const voices = join(here, "../assets/voices");
for (const f of readdirSync(voices)) if (f.endsWith(".wav")) copyFileSync(join(voices, f), join(out, "voices", f));
