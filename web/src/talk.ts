// The chat column: every chat line, action, phrase, chatter sound and notice
// in one log (the name and "chats:" or "says:" in bold, the rest plain, in
// the line's colour), the input labelled "Chat" (a "/me" line is an action),
// the nine phrase buttons, the chatter sounds' menu and the spectators.

import { colourText, cssColour, hexOf } from "./colours";
import { CHATTER } from "./sounds";

export const PHRASES = ["Way To Go!", "Good One!", "Nice Try!", "Excellent!", "Brilliant!", "Wow, WTG!",
  "Thanks!", "Sorry!", "Good Game!"];
// A phrase can be sent again this long after the last (the desktop's 101
// dispatch ticks).
const PHRASE_PAUSE_MS = 101;
const MOST_LINES = 500;
const URL = /\b(https?:\/\/[^\s<>"]+|www\.[^\s<>"]+)/g;

const $ = <T extends HTMLElement>(id: string) => document.getElementById(id) as T;

export interface TalkSend {
  chat(text: string, colour: string): void;
  action(text: string, colour: string): void;
  sound(wave: number): void;
}

export class Talk {
  private phraseReady = true;

  constructor(private readonly send: TalkSend, private readonly loggedIn: () => boolean) {
    const input = $<HTMLInputElement>("om-chat");
    input.addEventListener("keydown", (e) => {
      if (e.key === "Enter") {
        e.preventDefault();
        this.sendit();
      }
    });
    $("om-send").addEventListener("click", () => this.sendit());
    const phrases = $("om-phrases");
    PHRASES.forEach((p, i) => {
      const b = document.createElement("button");
      b.type = "button";
      b.textContent = p;
      b.title = p;
      b.id = `om-phrase${i + 1}`;
      b.addEventListener("click", () => this.phrase(p));
      phrases.appendChild(b);
    });
    const menuButton = document.createElement("button");
    menuButton.type = "button";
    menuButton.id = "om-soundsbutton";
    menuButton.textContent = "Sounds";
    menuButton.setAttribute("aria-haspopup", "menu");
    menuButton.setAttribute("aria-expanded", "false");
    phrases.appendChild(menuButton);
    const menu = $("om-soundmenu");
    CHATTER.forEach((word, n) => {
      if (n === 0) return;
      const item = document.createElement("button");
      item.type = "button";
      item.setAttribute("role", "menuitem");
      item.textContent = word;
      item.addEventListener("click", () => {
        this.closeMenu();
        if (this.loggedIn()) this.send.sound(n);
      });
      menu.appendChild(item);
    });
    menuButton.addEventListener("click", () => {
      const open = menu.hidden;
      menu.hidden = !open;
      menuButton.setAttribute("aria-expanded", String(open));
      if (open) (menu.firstElementChild as HTMLElement | null)?.focus();
    });
    menu.addEventListener("keydown", (e) => {
      if (e.key === "Escape") {
        this.closeMenu();
        menuButton.focus();
      }
    });
    for (const id of ["om-textcolour", "om-actioncolour"]) {
      const input = $<HTMLInputElement>(id);
      const stored = localStorage.getItem(id);
      if (stored) input.value = hexOf(stored);
      input.addEventListener("change", () => localStorage.setItem(id, colourText(input.value)));
    }
    input.style.color = $<HTMLInputElement>("om-textcolour").value;
    $("om-textcolour").addEventListener("input", () => (input.style.color = $<HTMLInputElement>("om-textcolour").value));
  }

  private closeMenu(): void {
    $("om-soundmenu").hidden = true;
    $("om-soundsbutton").setAttribute("aria-expanded", "false");
  }

  private colour(id: string): string {
    return colourText($<HTMLInputElement>(id).value);
  }

  // The input line: a chat line, a "/me" action, or another "/" word that
  // goes nowhere. Nothing leaves before the log-in; the text stays.
  sendit(): void {
    const input = $<HTMLInputElement>("om-chat");
    if (!this.loggedIn()) return;
    const text = input.value;
    if (text.startsWith("/")) {
      if (text.startsWith("/me")) this.send.action(text.slice(4), this.colour("om-actioncolour"));
    } else if (text) {
      this.send.chat(text, this.colour("om-textcolour"));
    }
    input.value = "";
  }

  private phrase(p: string): void {
    if (!this.phraseReady || !this.loggedIn()) return;
    this.phraseReady = false;
    window.setTimeout(() => (this.phraseReady = true), PHRASE_PAUSE_MS);
    const colour = this.colour("om-actioncolour");
    if (p.startsWith("/me ")) this.send.action(p.slice(4), colour);
    else this.send.action("says: " + p, colour);
  }

  // One line in the log: up to its first colon bold, the rest plain.
  add(text: string, colour: string): void {
    const log = $("om-chatlog");
    const line = document.createElement("p");
    line.style.color = cssColour(colour);
    if (line.style.color === "rgb(255, 255, 255)") line.classList.add("light");
    const colon = text.indexOf(":");
    if (colon >= 0) {
      const b = document.createElement("b");
      b.textContent = text.slice(0, colon + 1);
      line.appendChild(b);
    }
    this.withLinks(line, colon >= 0 ? text.slice(colon + 1) : text);
    const atEnd = log.scrollHeight - log.scrollTop - log.clientHeight < 30;
    log.appendChild(line);
    while (log.childElementCount > MOST_LINES) log.firstElementChild!.remove();
    if (atEnd) log.scrollTop = log.scrollHeight;
  }

  private withLinks(line: HTMLElement, text: string): void {
    let at = 0;
    for (const m of text.matchAll(URL)) {
      line.append(text.slice(at, m.index));
      const a = document.createElement("a");
      a.href = m[0].startsWith("www.") ? "http://" + m[0] : m[0];
      a.textContent = m[0];
      a.target = "_blank";
      a.rel = "noopener noreferrer";
      line.appendChild(a);
      at = (m.index ?? 0) + m[0].length;
    }
    line.append(text.slice(at));
  }

  spectators(list: Map<number, string>): void {
    const ul = $("om-spies");
    ul.replaceChildren();
    for (const [slot, name] of [...list].sort((a, b) => a[0] - b[0])) {
      const li = document.createElement("li");
      li.textContent = `${slot}: ${name}`;
      ul.appendChild(li);
    }
    (ul.parentElement as HTMLElement).hidden = list.size === 0;
  }
}
