// The game's sounds, made as the desktop table makes them: short tones and
// noise from one recipe each; the chatter sounds that are words are the
// package's own spoken recordings, fetched the first time one is heard.

type Segment = [from: number, to: number, seconds: number, noise?: number, level?: number];

const RECIPES: Record<string, Segment[]> = {
  bid: [[660, 660, 0.07], [880, 880, 0.09]],
  placecard: [[300, 200, 0.05, 0.9, 0.4]],
  taketrick: [[400, 300, 0.08, 0.8, 0.35], [523, 523, 0.12, 0, 0.4]],
  turn: [[880, 880, 0.12, 0, 0.45]],
  turnnew: [[523, 523, 0.08], [659, 659, 0.08], [784, 784, 0.12]],
  turnoverbad: [[440, 330, 0.18], [330, 220, 0.22]],
  turnovergood: [[523, 523, 0.09], [784, 784, 0.09], [1046, 1046, 0.16]],
  winner: [[523, 523, 0.12], [659, 659, 0.12], [784, 784, 0.12], [1046, 1046, 0.35, 0, 0.6]],
  wave2: [[300, 200, 0.12, 0.95, 0.5], [0, 0, 0.08, 0, 0], [280, 180, 0.14, 0.95, 0.5]],
  wave6: [[90, 110, 0.5, 0.6, 0.45], [0, 0, 0.15, 0, 0], [110, 80, 0.45, 0.6, 0.4]],
  wave7: [[300, 700, 0.25, 0.3, 0.3], [800, 400, 0.15, 0.95, 0.6]],
};

// The chatter sounds' words, as the sound menu shows them.
export const CHATTER = ["<Cancel>", "Doh", "Cough", "Hello", "Thank You", "Where have you been?", "Snoring",
  "Sneezing", "Sorry", "Welcome", "Yeehaa", "Yippee", "Oh No"];
const SPOKEN = new Set([1, 3, 4, 5, 8, 9, 10, 11, 12]);

export class Sounds {
  private ctx: AudioContext | null = null;
  private playing: AudioScheduledSourceNode[] = [];
  private voices = new Map<number, Promise<AudioBuffer | null>>();
  // What was played, newest last: a test hears the page through it.
  readonly heard: string[] = [];

  private audio(): AudioContext | null {
    if (!this.ctx) {
      try {
        this.ctx = new AudioContext();
      } catch {
        return null;
      }
    }
    if (this.ctx.state === "suspended") void this.ctx.resume();
    return this.ctx;
  }

  private stop(): void {
    for (const s of this.playing) {
      try {
        s.stop();
      } catch {
        /* already ended */
      }
    }
    this.playing = [];
  }

  play(name: string): void {
    const key = name.toLowerCase();
    this.heard.push(key);
    if (this.heard.length > 200) this.heard.shift();
    const wave = /^wave([0-9]+)$/.exec(key);
    if (wave && SPOKEN.has(Number(wave[1]))) {
      void this.speak(Number(wave[1]));
      return;
    }
    const recipe = RECIPES[key] ?? RECIPES.turn;
    const ctx = this.audio();
    if (!ctx) return;
    this.stop();
    const rate = ctx.sampleRate;
    const total = recipe.reduce((t, s) => t + s[2], 0);
    const buffer = ctx.createBuffer(1, Math.max(1, Math.ceil(total * rate)), rate);
    const data = buffer.getChannelData(0);
    let at = 0;
    let phase = 0;
    for (const [from, to, seconds, noise = 0, level = 0.5] of recipe) {
      const n = Math.floor(seconds * rate);
      for (let i = 0; i < n && at + i < data.length; i++) {
        const t = i / n;
        const f = from + (to - from) * t;
        phase += (2 * Math.PI * f) / rate;
        const envelope = Math.min(1, i / (0.005 * rate), (n - i) / (0.02 * rate));
        const tone = f > 0 ? Math.sin(phase) : 0;
        data[at + i] = level * envelope * ((1 - noise) * tone + noise * (Math.random() * 2 - 1));
      }
      at += n;
    }
    const src = ctx.createBufferSource();
    src.buffer = buffer;
    src.connect(ctx.destination);
    src.start();
    this.playing.push(src);
  }

  private async speak(n: number): Promise<void> {
    const ctx = this.audio();
    if (!ctx) return;
    if (!this.voices.has(n))
      this.voices.set(
        n,
        fetch(`voices/wave${n}.wav`)
          .then((r) => (r.ok ? r.arrayBuffer() : Promise.reject(new Error(String(r.status)))))
          .then((b) => ctx.decodeAudioData(b))
          .catch(() => null),
      );
    const buffer = await this.voices.get(n);
    if (!buffer) return;
    this.stop();
    const src = ctx.createBufferSource();
    src.buffer = buffer;
    src.connect(ctx.destination);
    src.start();
    this.playing.push(src);
  }
}
