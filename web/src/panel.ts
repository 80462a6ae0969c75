// The pump panel around the display, as the simulator window lays it out:
// the keys in three framed groups under the display, the sliders in the
// right column with UP and DOWN below them, and the sensor panel's boxes.
import type { PanelInfo } from "./core";

export interface PanelHandlers {
  key(index: number): void;
  slider(index: number, position: number): void;
  switchBox(index: number, on: boolean): void;
}

const $ = (id: string) => document.getElementById(id)!;

function el<K extends keyof HTMLElementTagNameMap>(tag: K, props: Partial<HTMLElementTagNameMap[K]> = {}, ...children: (Node | string)[]) {
  const e = document.createElement(tag);
  Object.assign(e, props);
  e.append(...children);
  return e;
}

// The key groups under the display, by control name, each with its caption.
const keyGroups: [string, string[]][] = [
  ["真空ポンプ", ["swRUN", "swSTOP", "swEMG"]],
  ["画面切替", ["swUSE", "swDOC"]],
  ["計器選択", ["swROT", "swFLOW", "swGANG", "swPRES"]],
];
const updownKeys = ["swUP", "swDOWN"];

export function buildPanel(info: PanelInfo, on: PanelHandlers): HTMLInputElement[] {
  const keyButton = (control: string) => {
    const index = info.keys.findIndex((k) => k.control === control);
    const k = info.keys[index];
    const b = el("button", { type: "button", id: k.control, className: k.red ? "key red" : "key", textContent: k.caption });
    b.addEventListener("click", () => on.key(index));
    return b;
  };
  const row = $("keyRow");
  for (const [caption, controls] of keyGroups) {
    const frame = el("div", { className: "frame" }, ...controls.map(keyButton));
    row.append(el("div", { className: "keygroup" }, frame, el("div", { textContent: caption })));
  }
  $("updown").append(...updownKeys.map(keyButton));

  const sliders: HTMLInputElement[] = [];
  const column = $("sliders");
  info.sliders.forEach((s, i) => {
    const input = el("input", { type: "range", id: s.control, min: String(s.min), max: String(s.max), step: "1", value: "0" });
    input.setAttribute("aria-label", s.caption);
    // The arrow keys move by the slider's step, Page Up/Down by its page step,
    // as the window's sliders do.
    input.addEventListener("keydown", (ev) => {
      const step = { ArrowLeft: -s.arrowStep, ArrowDown: -s.arrowStep, ArrowRight: s.arrowStep, ArrowUp: s.arrowStep,
        PageDown: -s.pageStep, PageUp: s.pageStep } as Record<string, number>;
      if (!(ev.key in step)) return;
      ev.preventDefault();
      const v = Math.min(s.max, Math.max(s.min, Number(input.value) + step[ev.key]));
      if (v === Number(input.value)) return;
      input.value = String(v);
      input.dispatchEvent(new Event("input"));
    });
    input.addEventListener("input", () => on.slider(i, Number(input.value)));
    const ticks = el("div", { className: "ticks" });
    for (let t = s.min; t <= s.max; t += 100) ticks.append(el("span"));
    column.append(el("div", { className: "slider" }, el("label", { htmlFor: s.control, textContent: s.caption }), input, ticks));
    sliders.push(input);
  });

  // The sensor panel.
  const box = (caption: string, extra = "") => {
    const index = info.switches.findIndex((s) => s.caption === caption);
    const sw = info.switches[index];
    const input = el("input", { type: "checkbox", id: sw.control });
    input.addEventListener("click", () => on.switchBox(index, input.checked));
    return el("label", { className: extra }, input, " " + sw.caption);
  };
  $("sensOpen").append(...["PTO", "SFT1", "SFT2", "SFT3"].map((c) => box(c)));
  $("sensCool").append(box("SCW1"));
  $("GrOut").append(box("SBOutl", "center"), box("SLOut1"), box("SROut1"), box("SLOut2"), box("SROut2"));
  $("GrJoinSuct").append(box("SLJoin"), box("SRJoin"), box("SLSuct"), box("SRSuct"), box("STank", "center"));
  return sliders;
}
