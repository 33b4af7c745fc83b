// <yafa-player>: YAFA animations on a canvas, decoded in a worker by
// yafa.lvp compiled to WebAssembly.

export type YafaPlayerState = 'loading' | 'playing' | 'paused' | 'error';

export interface YafaInfo {
  width: number;
  height: number;
  depth: number;
  frames: number;
  /** 0-2 planar, 3-4 chunky. */
  frameFormat: number;
  /** INFO flag bits, and their names (HAM, FRAMEPALETTE, DELTA, ...). */
  flags: number;
  flagNames: string[];
  /** Per frame: "raw", "S404", "XPK-FAST", "XPK-NUKE", "XPK-RAKE", ... */
  storage: string[];
  /** Per frame, in milliseconds. */
  delays: number[];
}

/** Timer source of playback; tests put a controlled clock here. */
export interface YafaClock {
  now(): number;
  setTimeout(callback: () => void, ms: number): unknown;
  clearTimeout(id: unknown): void;
}

export interface YafaFrameEventDetail {
  index: number;
  delay: number;
}

export declare class YafaPlayer extends HTMLElement {
  /** Number of frames; 0 until an animation is open. */
  readonly frames: number;
  /** Index of the frame on the canvas; -1 before the first. */
  readonly frame: number;
  readonly state: YafaPlayerState;
  /** At the animation's own size; after the `frame` event for frame i it holds frame i, alpha 255. */
  readonly canvas: HTMLCanvasElement;
  readonly info: YafaInfo | null;
  src: string;
  loop: boolean;
  speed: number;
  clock: YafaClock;
  load(source: string | URL | Blob | ArrayBuffer | ArrayBufferView, options?: { frame?: number; paused?: boolean }): Promise<void>;
  /** Draws frame i; resolves after its `frame` event, rejects when the frame fails. */
  seek(index: number): Promise<void>;
  play(): void;
  pause(): void;
  step(by: number): Promise<void>;
  saveFrame(): Promise<void>;
  addEventListener(type: 'frame', listener: (event: CustomEvent<YafaFrameEventDetail>) => void, options?: boolean | AddEventListenerOptions): void;
  addEventListener(type: string, listener: EventListenerOrEventListenerObject, options?: boolean | AddEventListenerOptions): void;
}

declare global {
  interface HTMLElementTagNameMap {
    'yafa-player': YafaPlayer;
  }
}
