// The simulator's core, compiled to WebAssembly: the only module that calls
// its exports.  Everything else on the page talks to the Core class below in
// plain JavaScript values; text crosses as UTF-8, files as bytes.

// What an action of the core reports (see src/web/qmt_web.h).
export interface Outcome {
  ok: boolean;
  errors?: { line: number; text: string }[];
  messages?: string[];
  error?: string;
  fault?: string;
  frame?: number;
}

export interface KeyInfo {
  control: string;
  caption: string;
  label: string;
  red: boolean;
}
export interface SliderInfo {
  control: string;
  name: string;
  caption: string;
  min: number;
  max: number;
  arrowStep: number;
  pageStep: number;
}
export interface SwitchInfo {
  control: string;
  caption: string;
}
export interface PanelInfo {
  width: number;
  height: number;
  timerMs: number;
  keys: KeyInfo[];
  sliders: SliderInfo[];
  switches: SwitchInfo[];
}

// The parts of the Emscripten module the wrapper uses.
interface WasmModule {
  HEAPU8: Uint8Array;
  UTF8ToString(ptr: number): string;
  ccall(name: string, ret: string | null, args: string[], values: unknown[]): unknown;
}

export type ModuleFactory = (options: Record<string, unknown>) => Promise<WasmModule>;

// Where the core's code comes from: a file beside the page, compiled while
// it downloads, or the bytes inlined into the single-file page.
// The page may have started compiling the file before its scripts loaded.
export type WasmSource = { url: URL; compiling?: Promise<WebAssembly.Module> } | { bytes: Uint8Array };

const encoder = new TextEncoder();

export class CoreFault extends Error {}
// Input the core declined before taking it (too large for its memory); the
// core itself is fine.
export class CoreRefusal extends Error {}

export class Core {
  private m!: WasmModule;
  // Compiled once; every new instance is made from it.
  private compiled?: WebAssembly.Module;

  private constructor(
    private readonly factory: ModuleFactory,
    private readonly source: WasmSource,
  ) {}

  static async load(factory: ModuleFactory, source: WasmSource): Promise<Core> {
    const core = new Core(factory, source);
    await core.instantiate();
    return core;
  }

  // A fresh instance of the module: after a trap nothing inside the old one
  // can be trusted.
  async instantiate(): Promise<void> {
    let failed: (e: unknown) => void = () => {};
    const failure = new Promise<never>((_, reject) => (failed = reject));
    this.m = await Promise.race([
      this.factory({
        instantiateWasm: (imports: WebAssembly.Imports, done: (i: WebAssembly.Instance, m: WebAssembly.Module) => void) => {
          this.instance(imports).then((i) => done(i, this.compiled!), failed);
          return {};
        },
        print: () => {},
        printErr: (text: string) => console.debug("core:", text),
      }),
      failure,
    ]);
  }

  private async instance(imports: WebAssembly.Imports): Promise<WebAssembly.Instance> {
    if (this.compiled) return WebAssembly.instantiate(this.compiled, imports);
    let result: WebAssembly.WebAssemblyInstantiatedSource;
    if ("bytes" in this.source) {
      result = await WebAssembly.instantiate(this.source.bytes as BufferSource, imports);
    } else if (this.source.compiling && (this.compiled = await this.source.compiling.catch(() => undefined))) {
      return WebAssembly.instantiate(this.compiled, imports);
    } else {
      const response = fetch(this.source.url);
      try {
        result = await WebAssembly.instantiateStreaming(response, imports);
      } catch {
        // A server that does not say application/wasm: compile from the bytes.
        const res = await fetch(this.source.url);
        if (!res.ok) throw new Error(`${this.source.url.pathname}: ${res.status} ${res.statusText}`);
        result = await WebAssembly.instantiate(await res.arrayBuffer(), imports);
      }
    }
    this.compiled = result.module;
    return result.instance;
  }

  // --- plumbing -------------------------------------------------------------

  private call(name: string, ret: string | null, args: string[], values: unknown[]): unknown {
    try {
      return this.m.ccall(name, ret, args, values);
    } catch (e) {
      // A trap (out of bounds, unreachable, stack exhausted): the instance is
      // lost; the page makes a new one.
      throw new CoreFault(e instanceof Error ? e.message : String(e));
    }
  }

  private text(name: string, args: string[] = [], values: unknown[] = []): string {
    const ptr = this.call(name, "number", args, values) as number;
    return ptr ? this.m.UTF8ToString(ptr) : "";
  }

  private outcome(name: string, args: string[] = [], values: unknown[] = []): Outcome {
    const json = this.text(name, args, values);
    try {
      return JSON.parse(json) as Outcome;
    } catch {
      return { ok: false, fault: `${name}: ${json}` };
    }
  }

  // Copies bytes into the core's input buffer; returns its address.
  private input(bytes: Uint8Array): number {
    const ptr = this.call("qmt_web_input", "number", ["number"], [bytes.length]) as number;
    if (!ptr) throw new CoreRefusal(`${bytes.length} バイトは大きすぎて読み込めません`);
    this.m.HEAPU8.set(bytes, ptr);
    return ptr;
  }

  private withBytes(name: string, bytes: Uint8Array, before: string[] = [], values: unknown[] = []): Outcome {
    const ptr = this.input(bytes);
    return this.outcome(name, [...before, "number", "number"], [...values, ptr, bytes.length]);
  }

  // --- the session ----------------------------------------------------------

  start(): Outcome {
    return this.outcome("qmt_web_start");
  }

  // A fresh start on this macro instead of the built-in one, as `qmt run
  // FILE` starts it.
  startWith(cp932: Uint8Array): Outcome {
    return this.withBytes("qmt_web_start_with", cp932);
  }

  panel(): PanelInfo {
    return JSON.parse(this.text("qmt_web_panel")) as PanelInfo;
  }

  compile(cp932: Uint8Array): Outcome {
    return this.withBytes("qmt_web_compile", cp932);
  }

  macroText(): string {
    return this.text("qmt_web_macro_text");
  }

  listing(): string {
    return this.text("qmt_web_listing");
  }

  key(index: number): Outcome {
    return this.outcome("qmt_web_key", ["number"], [index]);
  }

  slider(index: number, position: number): Outcome {
    return this.outcome("qmt_web_slider", ["number", "number"], [index, position]);
  }

  switchBox(index: number, on: boolean): Outcome {
    return this.outcome("qmt_web_switch", ["number", "number"], [index, on ? 1 : 0]);
  }

  tick(nowMs: number): Outcome {
    return this.outcome("qmt_web_tick", ["number"], [nowMs]);
  }

  setTimer(on: boolean): void {
    this.call("qmt_web_set_timer", null, ["number"], [on ? 1 : 0]);
  }

  command(text: string): Outcome {
    return this.withBytes("qmt_web_command", encoder.encode(text));
  }

  drop(name: string, bytes: Uint8Array): Outcome {
    return this.withBytes("qmt_web_drop", bytes, ["string"], [name]);
  }

  dropRgb(width: number, height: number, rgb: Uint8Array): Outcome {
    return this.withBytes("qmt_web_drop_rgb", rgb, ["number", "number"], [width, height]);
  }

  // Refuses a picture the page would decode itself when its header names a
  // size past the limits, before anything is decoded.
  checkPicture(name: string, bytes: Uint8Array): Outcome {
    return this.withBytes("qmt_web_check_picture", bytes, ["string"], [name]);
  }

  hasJpeg(): boolean {
    return (this.call("qmt_web_has_jpeg", "number", [], []) as number) !== 0;
  }

  // --- the display page -----------------------------------------------------

  // Updates the RGBA copy; returns the frame counter.
  frame(): number {
    return this.call("qmt_web_frame", "number", [], []) as number;
  }

  // The display page's RGBA bytes, a view into the core's memory valid until
  // the next call into the core.
  rgba(width: number, height: number): Uint8ClampedArray<ArrayBuffer> {
    const ptr = this.call("qmt_web_rgba", "number", [], []) as number;
    return new Uint8ClampedArray(this.m.HEAPU8.buffer as ArrayBuffer, ptr, width * height * 4);
  }

  // --- files ----------------------------------------------------------------

  // A macro file's code page 932 bytes as editor text; a byte that is no
  // character comes as U+F0000 + byte and goes back as itself.
  fileToText(cp932: Uint8Array): string {
    const ptr = this.input(cp932);
    return this.text("qmt_web_file_to_text", ["number", "number"], [ptr, cp932.length]);
  }

  // Whether a file's bytes look like UTF-8 rather than code page 932.
  fileIsUtf8(bytes: Uint8Array): boolean {
    const ptr = this.input(bytes);
    return (this.call("qmt_web_file_is_utf8", "number", ["number", "number"], [ptr, bytes.length]) as number) !== 0;
  }

  // Editor text as the bytes the desktop program saves, or the reason why a
  // character cannot be saved.
  textToFile(text: string): { bytes?: Uint8Array; error?: string } {
    const utf8 = encoder.encode(text);
    const ptr = this.input(utf8);
    const n = this.call("qmt_web_text_to_file", "number", ["number", "number"], [ptr, utf8.length]) as number;
    if (n < 0) return { error: this.text("qmt_web_last_error") };
    const out = this.call("qmt_web_bytes", "number", [], []) as number;
    return { bytes: this.m.HEAPU8.slice(out, out + n) };
  }
}
