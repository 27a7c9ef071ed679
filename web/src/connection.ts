// The page's one WebSocket to its table: one text message a line of the
// game. A line that drops (a phone that sleeps, a change of Wi-Fi) is tried
// again as the desktop table tries: after half a second, then waits doubling
// up to eight seconds, for a minute; an orderly close by the table (a removal,
// a full table, the host's end) is the end.

export const FIRST_TRY_MS = 500, LAST_WAIT_MS = 8000, TRY_FOR_MS = 60000;
const NORMAL_CLOSE = 1000;

export type LineState = "connecting" | "open" | "lost" | "ended" | "gave up";

export class Connection {
  onLine: (line: string) => void = () => {};
  onState: (state: LineState) => void = () => {};
  private ws: WebSocket | null = null;
  private wait = FIRST_TRY_MS;
  private lostAt = 0;
  private timer: number | undefined;
  private stopped = false;

  constructor(private readonly url: string) {}

  open(): void {
    this.stopped = false;
    this.connect();
  }

  private connect(): void {
    this.onState("connecting");
    const ws = new WebSocket(this.url);
    this.ws = ws;
    ws.onopen = () => this.onState("open");
    ws.onmessage = (m) => {
      if (typeof m.data === "string") this.onLine(m.data);
    };
    ws.onclose = (c) => {
      if (this.ws !== ws) return;
      this.ws = null;
      if (this.stopped) return;
      if (c.code === NORMAL_CLOSE) {
        this.onState("ended");
        return;
      }
      this.lost();
    };
  }

  private lost(): void {
    const now = Date.now();
    if (!this.lostAt) {
      this.lostAt = now;
      this.wait = FIRST_TRY_MS;
    }
    if (now - this.lostAt > TRY_FOR_MS) {
      this.lostAt = 0;
      this.onState("gave up");
      return;
    }
    this.onState("lost");
    this.timer = window.setTimeout(() => this.connect(), this.wait);
    this.wait = Math.min(this.wait * 2, LAST_WAIT_MS);
  }

  // Logged in again: the next drop has a minute of its own.
  seated(): void {
    this.lostAt = 0;
    this.wait = FIRST_TRY_MS;
  }

  send(line: string): boolean {
    if (!this.ws || this.ws.readyState !== WebSocket.OPEN) return false;
    this.ws.send(line);
    return true;
  }

  get connected(): boolean {
    return !!this.ws && this.ws.readyState === WebSocket.OPEN;
  }

  close(): void {
    this.stopped = true;
    window.clearTimeout(this.timer);
    this.ws?.close(NORMAL_CLOSE);
    this.ws = null;
  }
}

// The WebSocket of the page's own address: "/ws" at a host, "/ws/+CODE" at
// a lobby server's invite page "/+CODE".
export function socketUrl(loc: Location): string {
  const scheme = loc.protocol === "https:" ? "wss:" : "ws:";
  const code = /^\/(\+[A-Za-z0-9]{1,10})\/?$/.exec(loc.pathname);
  return `${scheme}//${loc.host}/ws${code ? "/" + code[1] : ""}`;
}
