// yafa.lvp compiled to WebAssembly, with the host that drives it: open an
// animation's bytes, decode any frame to RGBA, read each frame's delay.
// The same module runs in the player's worker, in a page and in Node.

const wasmUrl = new URL('./yafa.wasm', import.meta.url);

/** Compiles yafa.wasm (fetched, or read from disk for a file: URL). */
export async function compileYafa(url = wasmUrl) {
  url = new URL(url);
  if (url.protocol === 'file:') {
    const { readFile } = await import('node:fs/promises');
    return WebAssembly.compile(await readFile(url));
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`${url}: HTTP ${response.status}`);
  return WebAssembly.compile(await response.arrayBuffer());
}

const FLAG_NAMES = ['HAM', 'FRAMEPALETTE', 'DELTA', 'WORDDELTA', 'LONGDELTA', 'DELTAFROM1', 'DELTAFROM0'];

/** The names of the INFO flag bits that are set. */
export function flagNames(flags) {
  return FLAG_NAMES.filter((_, bit) => flags & (1 << bit));
}

export class YafaDecoder {
  #exports;
  #stopped = null;

  /** A decoder of its own: one wasm instance, one thread. */
  static async create(module) {
    const decoder = new YafaDecoder();
    const imports = {
      env: { emscripten_notify_memory_growth() {} },
      wasi_snapshot_preview1: {
        proc_exit(code) { throw new Error(`the decoder stopped (exit ${code})`); },
      },
    };
    const instance = await WebAssembly.instantiate(module ?? await compileYafa(), imports);
    decoder.#exports = instance.exports;
    decoder.#exports._initialize();
    return decoder;
  }

  /**
   * Opens an animation from its bytes; throws when the plugin refuses it,
   * with the reason ("cannot be opened: not an IFF FORM of type YAFA").
   */
  open(bytes) {
    const data = bytes instanceof Uint8Array ? bytes : new Uint8Array(bytes);
    const address = this.#call((x) => {
      const copy = x.malloc(Math.max(data.length, 1)) >>> 0;
      if (!copy) return -1;
      new Uint8Array(x.memory.buffer, copy, data.length).set(data);
      return x.yafa_web_open(copy, data.length) >>> 0;  // takes the copy, also on failure
    });
    if (address === -1 || !address) throw new Error(`${data.length} bytes do not fit in the decoder's memory`);
    // Right after opening, a failure can only be the refusal.
    const refusal = this.#call((x) => failureOf(x, address).reason);
    if (refusal !== null) {
      this.#call((x) => x.yafa_web_close(address));
      throw new Error(`cannot be opened: ${refusal}`);
    }
    return new YafaAnimation((fn) => this.#call(fn), address);
  }

  // Every call into the module goes through here: after a trap its memory
  // may be inconsistent, so the decoder refuses further work.
  #call(fn) {
    if (this.#stopped) throw this.#stopped;
    try {
      return fn(this.#exports);
    } catch (error) {
      this.#stopped = new Error(`the decoder stopped: ${error.message}`);
      throw this.#stopped;
    }
  }
}

export class YafaAnimation {
  #run;
  #address;

  // `run` calls into the decoder's module (see YafaDecoder.open).
  constructor(run, address) {
    this.#run = run;
    this.#address = address;
    // Width, height, depth, frame count, frame format, flags, and the
    // address and length of the storage list (then the failure: see failureOf).
    const info = this.#call((x) => new Int32Array(x.memory.buffer, address, 8).slice());
    [this.width, this.height, this.depth, this.frames, this.frameFormat, this.flags] = info;
    const text = this.#call((x) => new Uint8Array(x.memory.buffer, info[6] >>> 0, info[7]).slice());
    this.storage = text.length ? new TextDecoder().decode(text).split(',') : [];
    this.delays = Array.from({ length: this.frames }, (_, i) => this.#call((x) => x.yafa_web_delay(address, i)));
  }

  /**
   * Frame `index` as width × height × 4 RGBA bytes, in `into` when it is
   * given and of that size (fresh memory costs page faults on every frame),
   * else in a new array. Throws when the frame fails.
   */
  frame(index, into = null) {
    const size = this.width * this.height * 4;
    const rgba = into?.length === size ? into : new Uint8ClampedArray(size);
    return this.#call((x) => {
      const pixels = x.yafa_web_frame(this.#address, index) >>> 0;
      if (!pixels) return null;
      rgba.set(new Uint8ClampedArray(x.memory.buffer, pixels, size));
      x.yafa_web_release(pixels);
      return rgba;
    }) ?? this.#fail(index);
  }

  /** Plays every frame `passes` times inside the module; frames played. */
  play(passes) {
    const played = this.#call((x) => x.yafa_web_play(this.#address, passes));
    if (played < 0) this.#fail(null);
    return played;
  }

  close() {
    if (this.#address) this.#call((x) => x.yafa_web_close(this.#address));
    this.#address = 0;
  }

  #call(fn) {
    if (!this.#address) throw new Error('the animation is closed');
    return this.#run(fn);
  }

  // Throws why frame `index` (or, for null, the frame that failed) cannot be
  // decoded, naming the earlier frame that playback went through when that
  // is the one that failed, as the yafa tool does.
  #fail(index) {
    const { frame, reason } = this.#call((x) => failureOf(x, this.#address));
    index ??= frame;
    const through = frame === index ? '' : `playback goes through frame ${frame}, which fails: `;
    throw new Error(`frame ${index} cannot be decoded: ${through}${reason}`);
  }
}

// Words 8 and 9 of an animation: the address of the reason of its last
// failure (a NUL-terminated phrase) and the frame that failed, -1 when the
// file itself cannot be opened.
function failureOf(x, address) {
  const [text, frame] = new Int32Array(x.memory.buffer, address + 32, 2);
  if (!text) return { frame, reason: null };
  const bytes = new Uint8Array(x.memory.buffer, text >>> 0);
  return { frame, reason: new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0))) };
}
