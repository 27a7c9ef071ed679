// Colour texts as the game writes them: a name ("clRed") or "$" and eight
// hexadecimal digits of 0x00BBGGRR; read also as a decimal number.

const NAMED: Array<[string, number]> = [
  ["clBlack", 0x000000], ["clMaroon", 0x000080], ["clGreen", 0x008000], ["clOlive", 0x008080],
  ["clNavy", 0x800000], ["clPurple", 0x800080], ["clTeal", 0x808000], ["clGray", 0x808080],
  ["clSilver", 0xc0c0c0], ["clRed", 0x0000ff], ["clLime", 0x00ff00], ["clYellow", 0x00ffff],
  ["clBlue", 0xff0000], ["clFuchsia", 0xff00ff], ["clAqua", 0xffff00], ["clWhite", 0xffffff],
];
// The desktop's system colours, as a browser shows text in them.
const SYSTEM = ["clScrollBar", "clBackground", "clActiveCaption", "clInactiveCaption", "clMenu", "clWindow",
  "clWindowFrame", "clMenuText", "clWindowText", "clCaptionText", "clActiveBorder", "clInactiveBorder",
  "clAppWorkSpace", "clHighlight", "clHighlightText", "clBtnFace", "clBtnShadow", "clGrayText", "clBtnText",
  "clInactiveCaptionText", "clBtnHighlight", "cl3DDkShadow", "cl3DLight", "clInfoText", "clInfoBk"];

// The colour's value, or null when it cannot be read.
export function readColour(text: string): number | null {
  const t = text.trim();
  const lower = t.toLowerCase();
  for (const [name, value] of NAMED) if (name.toLowerCase() === lower) return value;
  const sys = SYSTEM.findIndex((n) => n.toLowerCase() === lower);
  if (sys >= 0) return 0x000000; // shown as text of the window: black
  if (lower === "clnone") return 0x000000;
  if (/^\$[0-9a-f]{1,8}$/i.test(t)) return parseInt(t.slice(1), 16) >>> 0;
  if (/^-?[0-9]{1,10}$/.test(t)) return Number(t) >>> 0;
  return null;
}

// CSS for a colour text; white when it cannot be read, as the desktop.
export function cssColour(text: string): string {
  let v = readColour(text);
  if (v === null || v > 0xffffff) v = v === null ? 0xffffff : 0;
  const r = v & 0xff, g = (v >> 8) & 0xff, b = (v >> 16) & 0xff;
  return `rgb(${r}, ${g}, ${b})`;
}

// The colour text of a CSS "#rrggbb".
export function colourText(hex: string): string {
  const m = /^#([0-9a-f]{2})([0-9a-f]{2})([0-9a-f]{2})$/i.exec(hex);
  if (!m) return "clBlack";
  const value = parseInt(m[3] + m[2] + m[1], 16);
  for (const [name, v] of NAMED) if (v === value) return name;
  return "$" + value.toString(16).toUpperCase().padStart(8, "0");
}

export function hexOf(text: string): string {
  const v = readColour(text) ?? 0;
  const r = v & 0xff, g = (v >> 8) & 0xff, b = (v >> 16) & 0xff;
  return "#" + [r, g, b].map((n) => n.toString(16).padStart(2, "0")).join("");
}
