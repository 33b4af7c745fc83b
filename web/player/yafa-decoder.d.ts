// yafa.lvp compiled to WebAssembly, without a page: open bytes, decode frames.

export declare function compileYafa(url?: string | URL): Promise<WebAssembly.Module>;
export declare function flagNames(flags: number): string[];

export declare class YafaDecoder {
  static create(module?: WebAssembly.Module): Promise<YafaDecoder>;
  /** Throws when the plugin cannot open the bytes: "cannot be opened: REASON". */
  open(bytes: ArrayBuffer | Uint8Array): YafaAnimation;
}

export declare class YafaAnimation {
  readonly width: number;
  readonly height: number;
  readonly depth: number;
  readonly frames: number;
  readonly frameFormat: number;
  readonly flags: number;
  readonly storage: string[];
  readonly delays: number[];
  /**
   * width × height × 4 RGBA bytes, alpha 255, in `into` when it has that size; throws when the frame fails:
   * "frame 3 cannot be decoded: REASON".
   */
  frame(index: number, into?: Uint8ClampedArray | null): Uint8ClampedArray;
  /** Plays every frame `passes` times inside the module; returns the frames played. */
  play(passes: number): number;
  close(): void;
}
