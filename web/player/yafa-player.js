// <yafa-player>: plays a YAFA animation on a canvas. Frames are decoded in a
// worker by yafa.lvp compiled to WebAssembly, so the page never waits on a
// file, however broken or large. Contract: `frames`, `frame`, `state`,
// `seek(i)`, a `frame` event after each draw, and `canvas`.
import { compileYafa, flagNames } from './yafa-decoder.js';

let compiled = null;  // the wasm module, compiled once per page

const realClock = {
  now: () => performance.now(),
  setTimeout: (fn, ms) => setTimeout(fn, ms),
  clearTimeout: (id) => clearTimeout(id),
};

// After a stall longer than this (a hidden tab), playback goes on from now
// instead of racing through the frames it missed.
const MAX_LAG_MS = 250;
const SPEEDS = [0.25, 0.5, 1, 2, 4];

const STYLE = `
:host { display: inline-block; box-sizing: border-box; max-width: 100%; padding: 12px; border-radius: 10px;
  background: #202228; color: #e6e6e6; font: 14px/1.4 system-ui, sans-serif; }
:host(:focus-visible) { outline: 2px solid #6ea8fe; }
.stage { display: grid; place-items: center; min-width: 320px; min-height: 200px; overflow: auto;
  border-radius: 6px; background: repeating-conic-gradient(#2b2d34 0 25%, #26282e 0 50%) 0 0 / 16px 16px; }
canvas { display: block; image-rendering: pixelated; }
.bar { display: flex; flex-wrap: wrap; align-items: center; gap: 6px 10px; margin-top: 10px; }
button, select, .file { font: inherit; color: inherit; background: #33363f; border: 1px solid #4a4e5a;
  border-radius: 5px; padding: 3px 10px; cursor: pointer; }
button:hover, select:hover, .file:hover { background: #3d414c; }
button:disabled { opacity: .45; cursor: default; }
.play { min-width: 5.5em; }
.scrub { flex: 1 1 180px; accent-color: #6ea8fe; }
.position { font-variant-numeric: tabular-nums; min-width: 13em; color: #b9bcc6; }
.alert { margin: 10px 0 0; padding: 6px 10px; border-radius: 5px; background: #4a1f22; color: #ffc9c4; }
.alert:empty { display: none; }
.info { display: grid; grid-template-columns: max-content 1fr; gap: 2px 14px; margin: 10px 0 0; color: #b9bcc6; }
.info dt { color: #8d919c; }
.info dd { margin: 0; overflow-wrap: anywhere; }
`;

const HTML = `
<div class="stage"><canvas></canvas></div>
<div class="bar">
  <button class="play" disabled>Play</button>
  <button class="back" disabled aria-label="One frame back" title="One frame back">&#9664;&#9646;</button>
  <button class="forward" disabled aria-label="One frame forward" title="One frame forward">&#9646;&#9654;</button>
  <input class="scrub" type="range" min="0" max="0" value="0" disabled aria-label="Frame">
  <output class="position">no animation</output>
</div>
<div class="bar">
  <label><input class="loop" type="checkbox"> Loop</label>
  <label>Speed <select class="speed">${SPEEDS.map((s) => `<option value="${s}">${s}×</option>`).join('')}</select></label>
  <label>Zoom <select class="zoom">${[1, 2, 3, 4, 6, 8].map((z) => `<option value="${z}">${z}×</option>`).join('')}</select></label>
  <button class="save" disabled>Save frame as PNG</button>
  <label class="file">Open file…<input type="file" accept=".yafa" hidden></label>
</div>
<p class="alert" role="alert"></p>
<dl class="info"></dl>
`;

export class YafaPlayer extends (globalThis.HTMLElement ?? class {}) {
  static observedAttributes = ['src', 'loop', 'speed'];

  /** Timer source for playback; tests put a controlled clock here. */
  clock = realClock;

  #ui = {};
  #context;
  #worker = null;
  #requests = new Map();  // id -> {resolve, reject}
  #nextId = 0;
  #opened = null;         // {resolve, reject} while a file opens
  #generation = 0;        // counts loads; answers for older ones are dropped
  #name = '';
  #info = null;
  #frame = -1;
  #state = 'paused';
  #playing = false;       // playback wanted (pause() and play() set it)
  #timer = null;
  #due = 0;
  #scrubbing = null;      // {busy, next} while the scrubber is dragged

  constructor() {
    super();
    const root = this.attachShadow({ mode: 'open' });
    root.innerHTML = `<style>${STYLE}</style>${HTML}`;
    for (const name of ['canvas', 'play', 'back', 'forward', 'scrub', 'position', 'loop', 'speed', 'zoom', 'save', 'alert', 'info']) {
      this.#ui[name] = root.querySelector(name === 'canvas' ? 'canvas' : `.${name}`);
    }
    this.#ui.file = root.querySelector('input[type=file]');
    this.#context = this.#ui.canvas.getContext('2d');
    this.#ui.speed.value = '1';
    this.#ui.play.onclick = () => (this.#playing ? this.pause() : this.play());
    this.#ui.back.onclick = () => this.step(-1).catch(() => {});
    this.#ui.forward.onclick = () => this.step(1).catch(() => {});
    this.#ui.scrub.oninput = () => this.#scrub(Number(this.#ui.scrub.value));
    this.#ui.loop.onchange = () => (this.loop = this.#ui.loop.checked);
    this.#ui.speed.onchange = () => (this.speed = Number(this.#ui.speed.value));
    this.#ui.zoom.onchange = () => this.#setZoom(Number(this.#ui.zoom.value));
    this.#ui.save.onclick = () => this.saveFrame();
    this.#ui.file.onchange = () => this.#ui.file.files[0] && this.load(this.#ui.file.files[0]).catch(() => {});
    this.addEventListener('dragover', (event) => event.preventDefault());
    this.addEventListener('drop', (event) => {
      event.preventDefault();
      const file = event.dataTransfer.files[0];
      if (file) this.load(file).catch(() => {});
    });
    this.addEventListener('keydown', (event) => this.#key(event));
    if (!this.hasAttribute('tabindex')) this.tabIndex = 0;
  }

  attributeChangedCallback(name, _old, value) {
    if (name === 'src' && value) this.load(value, { paused: this.hasAttribute('paused') }).catch(() => {});
    if (name === 'loop') this.#ui.loop.checked = value !== null;
    if (name === 'speed') this.speed = Number(value) || 1;
  }

  disconnectedCallback() {
    this.pause();
  }

  /** Number of frames; 0 until an animation is open. */
  get frames() { return this.#info?.frames ?? 0; }
  /** Index of the frame on the canvas; -1 before the first. */
  get frame() { return this.#frame; }
  /** "loading", "playing", "paused" or "error". */
  get state() { return this.#state; }
  get canvas() { return this.#ui.canvas; }
  /** Width, height, depth, frames, frameFormat, flags, flagNames, storage and delays of the open animation. */
  get info() { return this.#info && { ...this.#info, flagNames: flagNames(this.#info.flags) }; }

  get src() { return this.getAttribute('src') ?? ''; }
  set src(value) { this.setAttribute('src', value); }
  get loop() { return this.#ui.loop.checked; }
  set loop(value) { this.#ui.loop.checked = Boolean(value); }
  get speed() { return Number(this.#ui.speed.value); }
  set speed(value) {
    if (!SPEEDS.includes(value)) this.#ui.speed.append(new Option(`${value}×`, value));
    this.#ui.speed.value = String(value);
  }

  /**
   * Opens an animation from a URL, a File or Blob, or bytes, and draws
   * `frame`; playback starts unless `paused`. Resolves once the frame is on
   * the canvas; rejects (and shows the message) when it cannot be.
   */
  async load(source, { frame = 0, paused = false } = {}) {
    const generation = ++this.#generation;
    this.#stopTimer();
    this.#startWorker();
    this.#info = null;
    this.#frame = -1;
    this.#playing = !paused;
    this.#setState('loading');
    this.#ui.alert.textContent = '';
    this.#name = sourceName(source);
    try {
      const bytes = await readBytes(source, this.#name);
      compiled ??= compileYafa().catch((error) => {
        compiled = null;
        throw error;
      });
      const module = await compiled;
      if (generation !== this.#generation) return;
      this.#worker.postMessage({ op: 'start', module });
      const info = await new Promise((resolve, reject) => {
        this.#opened = { resolve, reject };
        this.#worker.postMessage({ op: 'open', bytes }, [bytes]);
      });
      if (generation !== this.#generation) return;
      if (info.frames < 1) throw new Error('the animation has no frames');
      this.#setUp(info);
      await this.#show(clampFrame(frame, info.frames), generation);
      if (this.#playing) this.play();
    } catch (error) {
      if (generation !== this.#generation) return;
      this.#fail(`${this.#name}: ${error.message}`);
      throw error;
    }
  }

  /** Draws frame i and resolves after its `frame` event; playback, if on, goes on from there. */
  seek(index) {
    if (!this.#info) return Promise.reject(new Error('no animation is open'));
    this.#stopTimer();
    const generation = this.#generation;
    return this.#show(clampFrame(index, this.#info.frames), generation).then(() => {
      if (this.#playing && generation === this.#generation) this.play();
    });
  }

  play() {
    if (!this.#info) return;
    this.#playing = true;
    // Played to its end without looping: play starts again from the first frame.
    if (!this.loop && this.#frame === this.#info.frames - 1 && this.#frame > 0) return void this.seek(0).catch(() => {});
    this.#setState('playing');
    this.#due = this.clock.now();
    this.#schedule();
  }

  pause() {
    this.#playing = false;
    this.#stopTimer();
    if (this.#state === 'playing') this.#setState('paused');
  }

  /** Pauses and moves `by` frames, wrapping around. */
  step(by) {
    if (!this.#info) return Promise.resolve();
    this.pause();
    const n = this.#info.frames;
    return this.seek((((this.#frame + by) % n) + n) % n);
  }

  /** Saves the frame on the canvas, at the animation's own size. */
  async saveFrame() {
    if (this.#frame < 0) return;
    const blob = await new Promise((resolve) => this.#ui.canvas.toBlob(resolve, 'image/png'));
    const link = document.createElement('a');
    link.href = URL.createObjectURL(blob);
    link.download = `${this.#name.replace(/\.yafa$/i, '')}-frame${String(this.#frame).padStart(4, '0')}.png`;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href), 0);
  }

  // Shows the next frame after the current one's delay, decoding it meanwhile.
  #schedule() {
    const { frames, delays } = this.#info;
    const next = this.#frame + 1 < frames ? this.#frame + 1 : this.loop ? 0 : -1;
    if (next < 0) return this.pause();
    const now = this.clock.now();
    this.#due += delays[this.#frame] / this.speed;
    if (this.#due < now - MAX_LAG_MS) this.#due = now;
    const generation = this.#generation;
    const pixels = this.#request(next);
    pixels.catch(() => {});  // a failure is reported when the frame is due
    this.#timer = this.clock.setTimeout(() => {
      this.#timer = null;
      this.#show(next, generation, pixels).then(
        () => this.#playing && generation === this.#generation && this.#schedule(),
        () => {},
      );
    }, Math.max(0, this.#due - now));
  }

  #stopTimer() {
    if (this.#timer !== null) this.clock.clearTimeout(this.#timer);
    this.#timer = null;
  }

  async #show(index, generation, pixels = this.#request(index)) {
    let rgba;
    try {
      rgba = await pixels;
    } catch (error) {
      if (generation === this.#generation) this.#fail(`${this.#name}: ${error.message}`);
      throw error;
    }
    if (generation !== this.#generation) throw new Error('another animation was opened');
    const { width, height, delays, storage } = this.#info;
    this.#context.putImageData(new ImageData(rgba, width, height), 0, 0);
    this.#worker.postMessage({ op: 'recycle', rgba }, [rgba.buffer]);
    this.#frame = index;
    if (this.#state !== 'playing') this.#setState(this.#playing ? 'playing' : 'paused');
    this.#ui.alert.textContent = '';
    this.#ui.scrub.value = String(index);
    this.#ui.position.value = `frame ${index} · ${delays[index]} ms · ${storage[index] ?? ''}`;
    this.dispatchEvent(new CustomEvent('frame', { detail: { index, delay: delays[index] } }));
  }

  #request(index) {
    const id = this.#nextId++;
    return new Promise((resolve, reject) => {
      this.#requests.set(id, { resolve, reject });
      this.#worker.postMessage({ op: 'frame', id, index });
    });
  }

  // A fresh worker for every file: one stuck on an earlier file is dropped.
  #startWorker() {
    this.#worker?.terminate();
    for (const { reject } of this.#requests.values()) reject(new Error('another animation was opened'));
    this.#requests.clear();
    this.#opened?.reject(new Error('another animation was opened'));
    this.#opened = null;
    this.#worker = new Worker(new URL('./yafa-worker.js', import.meta.url), { type: 'module' });
    this.#worker.onmessage = ({ data }) => this.#answer(data);
    this.#worker.onerror = (event) => {
      event.preventDefault();
      this.#answer({ op: 'error', message: `the decoder failed to start: ${event.message ?? 'unknown error'}` });
    };
  }

  #answer(message) {
    const request = this.#requests.get(message.id);
    if (request) {
      this.#requests.delete(message.id);
      if (message.op === 'frame') request.resolve(message.rgba);
      else request.reject(new Error(message.message));
    } else if (this.#opened) {
      const opened = this.#opened;
      this.#opened = null;
      if (message.op === 'opened') opened.resolve(message.info);
      else opened.reject(new Error(message.message));
    }
  }

  #setUp(info) {
    this.#info = info;
    const { width, height, frames } = info;
    this.#ui.canvas.width = width;
    this.#ui.canvas.height = height;
    this.#setZoom(Math.max(1, Math.min(8, Math.floor(Math.min(640 / width, 400 / height)))));
    this.#ui.scrub.max = String(frames - 1);
    const rows = [
      ['Size', `${width} × ${height}`],
      ['Depth', String(info.depth)],
      ['Frames', String(frames)],
      ['Frame format', `${info.frameFormat} (${info.frameFormat >= 3 ? 'chunky' : 'planar'})`],
      ['Flags', `0x${info.flags.toString(16).padStart(4, '0')} ${flagNames(info.flags).join(' ') || 'none'}`],
      ['Storage', storageRuns(info.storage)],
    ];
    this.#ui.info.replaceChildren(...rows.flatMap(([term, text]) => [element('dt', term), element('dd', text)]));
    for (const name of ['play', 'back', 'forward', 'scrub', 'save']) this.#ui[name].disabled = false;
  }

  #setZoom(zoom) {
    this.#ui.zoom.value = String(zoom);
    this.#ui.canvas.style.width = `${this.#ui.canvas.width * zoom}px`;
    this.#ui.canvas.style.height = `${this.#ui.canvas.height * zoom}px`;
  }

  // Dragging the scrubber pauses and shows the latest position it passed.
  async #scrub(index) {
    this.pause();
    if (this.#scrubbing) return void (this.#scrubbing.next = index);
    this.#scrubbing = { next: index };
    while (this.#scrubbing.next !== null) {
      const target = this.#scrubbing.next;
      this.#scrubbing.next = null;
      await this.seek(target).catch(() => {});
    }
    this.#scrubbing = null;
  }

  #key(event) {
    if (event.target !== this || !this.#info) return;
    const actions = { ' ': () => this.#ui.play.click(), ArrowLeft: () => this.#ui.back.click(), ArrowRight: () => this.#ui.forward.click() };
    if (!actions[event.key]) return;
    event.preventDefault();
    actions[event.key]();
  }

  #fail(message) {
    this.#playing = false;
    this.#stopTimer();
    this.#setState('error');
    this.#ui.alert.textContent = message;
    if (!this.#info) {
      this.#ui.info.replaceChildren();
      this.#ui.position.value = 'no animation';
      for (const name of ['play', 'back', 'forward', 'scrub', 'save']) this.#ui[name].disabled = true;
      this.#ui.canvas.width = this.#ui.canvas.height = 0;
    }
  }

  #setState(state) {
    this.#state = state;
    this.#ui.play.textContent = state === 'playing' ? 'Pause' : 'Play';
  }
}

function clampFrame(index, frames) {
  return Math.min(Math.max(Math.trunc(Number(index)) || 0, 0), frames - 1);
}

function sourceName(source) {
  if (typeof source === 'string' || source instanceof URL) {
    return decodeURIComponent(String(source).split(/[?#]/)[0].split('/').pop()) || 'animation';
  }
  return source?.name ?? 'animation';
}

// The bytes of a URL, Blob or buffer, as an ArrayBuffer of our own.
async function readBytes(source, name) {
  if (typeof source === 'string' || source instanceof URL) {
    const response = await fetch(new URL(source, document.baseURI));
    if (!response.ok) throw new Error(`cannot be fetched (HTTP ${response.status})`);
    return response.arrayBuffer();
  }
  if (source instanceof Blob) return source.arrayBuffer();
  if (ArrayBuffer.isView(source)) return source.buffer.slice(source.byteOffset, source.byteOffset + source.byteLength);
  if (source instanceof ArrayBuffer) return source.slice(0);
  throw new Error(`${name} is not a URL, a file or bytes`);
}

// "0-11 S404, 12 XPK-NUKE, …": each frame's storage, in runs.
function storageRuns(storage) {
  const runs = [];
  for (let i = 0; i < storage.length; ) {
    let j = i;
    while (j + 1 < storage.length && storage[j + 1] === storage[i]) ++j;
    runs.push(`${i === j ? i : `${i}–${j}`} ${storage[i]}`);
    i = j + 1;
  }
  return runs.length > 64 ? `${runs.slice(0, 64).join(', ')}, … (${runs.length} runs)` : runs.join(', ');
}

function element(tag, text) {
  const node = document.createElement(tag);
  node.textContent = text;
  return node;
}

if (globalThis.customElements && !customElements.get('yafa-player')) customElements.define('yafa-player', YafaPlayer);
