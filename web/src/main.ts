// The simulator page: the display, the panel and the tool window's macro
// pages around the core.  Nothing leaves the browser: files are read from
// the user's picks and drops and saved as downloads, edits are kept in the
// browser's own storage.
import createModule from "qmt-core";
import { Core, CoreFault, CoreRefusal, type ModuleFactory, type Outcome, type PanelInfo, type WasmSource } from "./core";
import type { MacroEditor } from "./editor";
import { buildPanel } from "./panel";
import { readDroppedPicture } from "./picture";
import { download, loadStored, saveStored } from "./store";

declare global {
  // The single-file page carries the core inline, base64; the served page
  // starts compiling the core's file before its scripts have loaded.
  var __QMT_WASM__: string | undefined;
  var __QMT_WASM_COMPILING__: Promise<WebAssembly.Module> | undefined;
  // What the page is doing, for scripts that drive it.
  var qmtsim: { ready: boolean; ticks: number; frame: number; faults: number; step?: () => Promise<void> } | undefined;
}

const $ = <T extends HTMLElement = HTMLElement>(id: string) => document.getElementById(id) as T;

const params = new URLSearchParams(location.search);
const macroUrl = params.get("macro");
const storageKey = "qmt3308.macro:" + (macroUrl ?? "");
const state: NonNullable<typeof globalThis.qmtsim> = { ready: false, ticks: 0, frame: -1, faults: 0 };
globalThis.qmtsim = state;

function wasmSource(): WasmSource {
  const inline = globalThis.__QMT_WASM__;
  if (!inline) return { url: new URL("qmt_web.wasm", location.href), compiling: globalThis.__QMT_WASM_COMPILING__ };
  const text = atob(inline);
  const bytes = new Uint8Array(text.length);
  for (let i = 0; i < text.length; ++i) bytes[i] = text.charCodeAt(i);
  return { bytes };
}

// --- message box, caption and lists of the tool window ------------------------

// With `pick`, the box offers to pick a macro file to start with.
function showMessage(text: string, pick = false) {
  $("messageText").textContent = text;
  $("messagePick").hidden = !pick;
  $("messageBox").hidden = false;
  $("messageOk").focus();
}
$("messageOk").addEventListener("click", () => ($("messageBox").hidden = true));

function activateTab(id: string) {
  for (const b of document.querySelectorAll<HTMLButtonElement>("#tabs button")) {
    const on = b.dataset.tab === id;
    b.classList.toggle("active", on);
    $(b.dataset.tab!).hidden = !on;
  }
}
for (const b of document.querySelectorAll<HTMLButtonElement>("#tabs button"))
  b.addEventListener("click", () => activateTab(b.dataset.tab!));

function showTool(tab?: string) {
  $("tool").hidden = false;
  if (tab) activateTab(tab);
}

function setCaption(text: string) {
  $("toolCaption").textContent = text;
}

const maxRunMessages = 200;
function addRunMessage(text: string) {
  const list = $("runMessages");
  const line = document.createElement("div");
  line.textContent = text;
  list.append(line);
  while (list.childElementCount > maxRunMessages) list.firstElementChild!.remove();
  list.scrollTop = list.scrollHeight;
}

let editor: MacroEditor;

function showErrors(errors: { line: number; text: string }[]) {
  const log = $("ErrLog");
  log.replaceChildren();
  for (const e of errors) {
    const li = document.createElement("li");
    li.textContent = e.text;
    if (e.line > 0) {
      li.dataset.line = String(e.line);
      li.addEventListener("click", () => {
        activateTab("TabMacro");
        editor.gotoLine(e.line);
      });
    }
    log.append(li);
  }
  // The Err page is there exactly while the log has lines.
  $("tabErrButton").hidden = errors.length === 0;
  if (errors.length > 0) showTool("TabErr");
  else if (!$("TabErr").hidden) activateTab("TabMacro");
}

// --- the core -------------------------------------------------------------------

let core: Core;
let panel: PanelInfo;
let sliders: HTMLInputElement[] = [];
let macroBytes: Uint8Array | null = null; // what the last compile-and-go ran
let startBytes: Uint8Array | null = null; // the linked or picked macro the simulator starts with
const canvas = $<HTMLCanvasElement>("display");
const ctx = canvas.getContext("2d", { alpha: false })!;
ctx.imageSmoothingEnabled = false;

function paint() {
  const frame = core.frame();
  if (frame === state.frame) return;
  state.frame = frame;
  ctx.putImageData(new ImageData(core.rgba(panel.width, panel.height), panel.width, panel.height), 0, 0);
}

// Handles what an action reported; a fault restarts the core.  A run's
// messages bring the macro page forward, as the window does; the command
// test's stay on its own page.
function report(out: Outcome, stay = false) {
  if (out.errors) showErrors(out.errors);
  for (const m of out.messages ?? []) {
    setCaption(m);
    addRunMessage(m);
    showTool(stay ? undefined : "TabMacro");
  }
  if (out.error) showMessage(out.error);
  if (out.fault) throw new CoreFault(out.fault);
}

let recovering = false;

// Runs an action of the core; a fault inside it shows a message and the
// page carries on with a fresh core.
async function act(action: () => Outcome | void, stay = false) {
  try {
    const out = action();
    if (out) report(out, stay);
    paint();
  } catch (e) {
    if (e instanceof CoreRefusal) showMessage(e.message);
    else if (e instanceof CoreFault) await recover(e.message);
    else throw e;
  }
}

async function recover(why: string) {
  state.faults++;
  showMessage(`シミュレータの内部で障害が起きました（${why}）。シミュレータを起動し直します`);
  if (recovering) return;
  recovering = true;
  try {
    await core.instantiate();
    // The macro that faulted may fault again: it starts or is compiled once
    // more, and if that faults too the built-in macro runs and the editor
    // keeps the text.
    try {
      startCore();
      if (macroBytes && macroBytes !== startBytes) report(core.compile(macroBytes));
    } catch {
      macroBytes = startBytes = null;
      await core.instantiate();
      startCore();
    }
    state.frame = -1;
    paint();
  } finally {
    recovering = false;
  }
}

function startCore() {
  report(startBytes ? core.startWith(startBytes) : core.start());
  core.setTimer($<HTMLInputElement>("CheckTimer").checked);
  for (const s of sliders) s.value = "0";
  for (const b of document.querySelectorAll<HTMLInputElement>("#fSens input")) b.checked = false;
}

// --- the macro ------------------------------------------------------------------

let originalText = ""; // the text of the macro the simulator starts with
let fileName = "qmtsimMacro.txt";

function compileAndGo() {
  void act(() => {
    const file = core.textToFile(editor.text());
    if (!file.bytes) {
      // Nothing is compiled from a text that would lose characters.
      const m = /(\d+)行目/.exec(file.error ?? "");
      showErrors([{ line: m ? Number(m[1]) : -1, text: "マクロ: " + file.error }]);
      return;
    }
    setCaption("");
    macroBytes = file.bytes;
    return core.compile(file.bytes);
  });
}

function saveMacro() {
  void act(() => {
    const file = core.textToFile(editor.text());
    if (!file.bytes) showMessage("マクロ: " + file.error);
    else download(new Blob([file.bytes as BlobPart], { type: "text/plain" }), fileName);
  });
}

function setEditorText(text: string, edited: boolean) {
  editor.setText(text);
  // What was typed before is replaced, not stored later.
  editPending = false;
  clearTimeout(storeTimer);
  saveStored(storageKey, edited && text !== originalText ? text : null);
}

// A question with two answers; resolves true for `yes`.
function ask(text: string, yes: string, no: string): Promise<boolean> {
  const box = $("choiceBox");
  $("choiceText").textContent = text;
  $("choiceYes").textContent = yes;
  $("choiceNo").textContent = no;
  box.hidden = false;
  $("choiceYes").focus();
  return new Promise((resolve) => {
    const answer = (v: boolean) => () => {
      box.hidden = true;
      $("choiceYes").onclick = $("choiceNo").onclick = null;
      resolve(v);
    };
    $("choiceYes").onclick = answer(true);
    $("choiceNo").onclick = answer(false);
  });
}

// A macro file in UTF-8 (as Notepad saves it) rather than code page 932:
// the text converted, when the user wants it so; null to open the bytes as
// they are (nothing is lost either way).
async function convertedUtf8(name: string, bytes: Uint8Array): Promise<string | null> {
  let utf8 = false;
  await act(() => void (utf8 = core.fileIsUtf8(bytes)));
  if (!utf8) return null;
  const convert = await ask(
    `「${name}」は UTF-8 で書かれたファイルのようです（メモ帳などで保存したもの）。` +
      "マクロはシフトJISで書くものです。シフトJISに変換して開きますか？\n" +
      "変換すると日本語がそのまま読め、保存するとシフトJISで書かれます。そのまま開くと日本語は文字化けします。",
    "シフトJISに変換して開く",
    "そのまま開く",
  );
  if (!convert) return null;
  // The editor's lines, as the core gives a file's: no byte-order mark, no
  // line end after the last line.
  return new TextDecoder("utf-8").decode(bytes).replace(/\r\n?/g, "\n").replace(/\n$/, "");
}

async function openMacroFile(file: File) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  fileName = file.name;
  const utf8 = await convertedUtf8(file.name, bytes);
  // As the window's 読込: into the editor, not compiled.
  await act(() => setEditorText(utf8 ?? core.fileToText(bytes), true));
  showTool("TabMacro");
}

// The core's look at a picture's header before the page decodes it.
function checkPicture(name: string, bytes: Uint8Array): string | undefined {
  try {
    const out = core.checkPicture(name, bytes);
    return out.ok ? undefined : out.error;
  } catch (e) {
    return e instanceof CoreRefusal ? e.message : undefined;
  }
}

async function dropFile(file: File) {
  const lower = file.name.toLowerCase();
  if (lower.endsWith(".txt")) {
    fileName = file.name;
    const utf8 = await convertedUtf8(file.name, new Uint8Array(await file.arrayBuffer()));
    if (utf8 !== null) {
      // The converted text becomes the macro and runs, as a dropped file does.
      setEditorText(utf8, true);
      compileAndGo();
      return;
    }
  }
  const picture = await readDroppedPicture(file, () => core.hasJpeg(), (bytes) => checkPicture(file.name, bytes));
  if (picture.error) {
    showMessage(picture.error);
    return;
  }
  await act(() =>
    picture.rgb ? core.dropRgb(picture.width!, picture.height!, picture.rgb) : core.drop(file.name, picture.bytes!),
  );
  if (lower.endsWith(".txt")) {
    await act(() => {
      const text = core.macroText();
      macroBytes = core.textToFile(text).bytes ?? macroBytes;
      setEditorText(text, true);
    });
  }
}

// A macro picked in place of a linked one the page could not read: the
// simulator starts again with it, as it starts with a linked macro.
async function startWithMacroFile(file: File) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  $("messageBox").hidden = true;
  fileName = file.name;
  startBytes = macroBytes = bytes;
  setCaption("");
  await act(() => startCore());
  originalText = core.macroText();
  setEditorText(originalText, false);
}

// --- boot -----------------------------------------------------------------------

type LinkedMacro = { bytes: Uint8Array } | { problem: string; pick: boolean };

async function loadLinkedMacro(url: string): Promise<LinkedMacro> {
  let address: URL | null = null;
  try {
    address = new URL(url, location.href);
    const res = await fetch(address);
    if (!res.ok) throw new Error(`${res.status} ${res.statusText}`);
    return { bytes: new Uint8Array(await res.arrayBuffer()) };
  } catch (e) {
    // A page opened from disk may not read other files: browsers forbid it.
    if (address?.protocol === "file:") {
      return {
        pick: true,
        problem: `「${url}」を読めません: ファイルから開いたページには、ブラウザがほかのファイルを読ませません。` +
          "組み込みのマクロを使います。「マクロファイルを選ぶ…」でそのファイルを選ぶと、そのマクロで始めます",
      };
    }
    return { pick: false, problem: `「${url}」を読めません: ${e instanceof Error ? e.message : e}。組み込みのマクロを使います` };
  }
}

async function boot() {
  performance.mark("qmt-boot");
  // A linked macro downloads while the core loads.
  const linked = macroUrl ? loadLinkedMacro(macroUrl) : null;
  core = await Core.load(createModule as unknown as ModuleFactory, wasmSource());
  performance.mark("qmt-core-loaded");
  panel = core.panel();
  sliders = buildPanel(panel, {
    key: (i) => void act(() => core.key(i)),
    slider: (i, v) => void act(() => core.slider(i, v)),
    switchBox: (i, on) => void act(() => core.switchBox(i, on)),
  });
  const timerBox = $<HTMLInputElement>("CheckTimer");
  timerBox.checked = params.get("timer") !== "off";
  timerBox.addEventListener("change", () => void act(() => core.setTimer(timerBox.checked)));

  // A linked macro starts in place of the built-in one, from the state
  // `qmt run FILE` starts from.
  const got = await linked;
  if (got && "bytes" in got) {
    fileName = decodeURIComponent(new URL(macroUrl!, location.href).pathname.split("/").pop() || fileName);
    startBytes = macroBytes = got.bytes;
  } else if (got) {
    showMessage(got.problem, got.pick);
  }
  await act(() => startCore());
  performance.mark("qmt-core-started");
  paint();
  // The first frame is on the screen at the next rendering opportunity.
  requestAnimationFrame(() => performance.mark("qmt-first-frame"));

  // The editor comes after the display: its code loads while the page is
  // already up.
  const { createEditor } = await import("./editor");
  editor = createEditor($("Editor1"), saveStoredSoon, { compileAndGo, save: saveMacro });

  originalText = core.macroText();
  const stored = loadStored(storageKey);
  if (stored !== null && stored !== originalText) {
    // The edit the user left here last time comes back and runs.
    editor.setText(stored);
    compileAndGo();
  } else {
    editor.setText(originalText);
  }

  wireMenus();
  setInterval(tick, panel.timerMs);
  $("loading").hidden = true;
  state.ready = true;
  document.body.dataset.ready = "1";
}

function tick() {
  if (document.visibilityState !== "visible" || recovering) return;
  void step();
}

// One tick of the timer with its canvas update; also for scripts that time it.
async function step() {
  state.ticks++;
  await act(() => core.tick(performance.now()));
}
state.step = step;

// Edits are stored a moment after the last keystroke, and at once when the
// page goes away or out of sight: nothing typed just before a reload or
// closing the tab is lost.
let storeTimer = 0;
let editPending = false;
function saveStoredSoon() {
  editPending = true;
  clearTimeout(storeTimer);
  storeTimer = window.setTimeout(storePendingEdit, 300);
}
function storePendingEdit() {
  clearTimeout(storeTimer);
  if (!editPending) return;
  editPending = false;
  const text = editor.text();
  saveStored(storageKey, text === originalText ? null : text);
}
addEventListener("pagehide", storePendingEdit);
document.addEventListener("visibilitychange", () => document.visibilityState === "hidden" && storePendingEdit());

function wireMenus() {
  const zoom = (z: number) => {
    canvas.style.width = `${panel.width * z}px`;
    canvas.style.height = `${panel.height * z}px`;
    for (const r of document.querySelectorAll<HTMLInputElement>("input[name=zoom]")) r.checked = Number(r.value) === z;
  };
  for (const r of document.querySelectorAll<HTMLInputElement>("input[name=zoom]"))
    r.addEventListener("change", () => zoom(Number(r.value)));
  document.addEventListener("keydown", (ev) => {
    // The editor's own keys (F9 there) were handled already.
    if (ev.defaultPrevented) return;
    if (ev.ctrlKey && ["1", "2", "3"].includes(ev.key)) {
      ev.preventDefault();
      zoom(Number(ev.key));
    } else if (ev.key === "F9") {
      ev.preventDefault();
      compileAndGo();
    }
  });
  $("screenshot").addEventListener("click", () => canvas.toBlob((b) => b && download(b, "screen.png"), "image/png"));

  $("Button11").addEventListener("click", () => ($("fSens").hidden = !$("fSens").hidden));
  $("Button10").addEventListener("click", () => {
    $("tool").hidden = !$("tool").hidden;
    if (!$("tool").hidden) $("tool").scrollIntoView({ block: "nearest" });
  });

  $("N1").addEventListener("click", compileAndGo);
  $("Save1").addEventListener("click", saveMacro);
  const starter = $<HTMLInputElement>("startFile");
  $("messagePick").addEventListener("click", () => starter.click());
  starter.addEventListener("change", () => {
    const f = starter.files?.[0];
    starter.value = "";
    if (f) void startWithMacroFile(f);
  });
  const picker = $<HTMLInputElement>("openFile");
  $("L1").addEventListener("click", () => picker.click());
  picker.addEventListener("change", () => {
    const f = picker.files?.[0];
    picker.value = "";
    if (f) void openMacroFile(f);
  });
  $("PCODElist1").addEventListener("click", () => {
    void act(() => void ($("pcode").textContent = core.listing()));
    showTool("TabPcode");
  });
  // Back to the page as it started: the macro it started with, from its
  // start state.
  $("revert").addEventListener("click", () => {
    setEditorText(originalText, false);
    setCaption("");
    macroBytes = startBytes;
    void act(() => startCore());
  });
  $("Button4").addEventListener("click", () => {
    setCaption("");
    void act(() => core.command($<HTMLTextAreaElement>("Memo2").value), true);
  });

  document.addEventListener("dragover", (ev) => {
    ev.preventDefault();
    document.body.classList.add("dragging");
  });
  document.addEventListener("dragleave", () => document.body.classList.remove("dragging"));
  document.addEventListener("drop", (ev) => {
    ev.preventDefault();
    document.body.classList.remove("dragging");
    // Only the first of several files counts, as on the window.
    const f = ev.dataTransfer?.files[0];
    if (f) void dropFile(f);
  });
}

boot().catch((e) => {
  $("loading").textContent = "";
  showMessage(`シミュレータを起動できません: ${e instanceof Error ? e.message : e}`);
  console.error(e);
});
