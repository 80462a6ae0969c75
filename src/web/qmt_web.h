/* The simulator's core for a web page: one simulator session (data module,
 * runner, device, simulator model) behind plain C functions, called from
 * JavaScript with cwrap/ccall.
 *
 * Conventions
 * - Text crossing this interface is UTF-8 unless a function says "bytes";
 *   macro files are code page 932 bytes, converted here, not in the page.
 * - Byte input: the page copies its bytes into the session's input buffer
 *   (qmt_web_input, then HEAPU8.set) and passes the pointer and the length.
 * - Functions returning `const char*` return a NUL-terminated UTF-8 string
 *   owned by the session, valid until the next call of this interface.
 * - Most actions return an outcome, a JSON object:
 *     {"ok": true|false,
 *      "errors":   [{"line": N, "text": "[N行目] message"}, ...],
 *      "messages": ["run message", ...],
 *      "error":    "what was refused (a bad file, an unknown key)",
 *      "fault":    "a fault inside the core",
 *      "frame":    frame counter after the action}
 *   "errors" is the compile's error list as the tool window's error page
 *   shows it (N counts from 1 like the editor's margin; -1 when a message
 *   names no line), present after a compile.  "messages" holds the run
 *   messages the action raised (device errors, a run that stopped), which
 *   the window shows in the tool window's caption.  "error" and "fault"
 *   appear only when set.  "ok" is false when something was refused, the
 *   compile had errors or a fault happened.
 * - Faults: every C++ exception (including memory exhausted) is caught and
 *   reported as "fault"; the session may then be inconsistent and the page
 *   should call qmt_web_start to begin again.  A WebAssembly trap surfaces as
 *   a JavaScript exception from the call; the page then makes a new module.
 */
#ifndef QMT_WEB_H
#define QMT_WEB_H

#include <stdint.h>

#ifdef __EMSCRIPTEN__
#include <emscripten/emscripten.h>
#define QMT_WEB_API EMSCRIPTEN_KEEPALIVE
#else
#define QMT_WEB_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* --- session -------------------------------------------------------------- */

/* Starts a fresh session (dropping any earlier one) with the built-in macro
 * and colour list, and does what the window does when it first comes up:
 * compiles the macro and runs it from its start.  Returns an outcome. */
QMT_WEB_API const char* qmt_web_start(void);

/* As qmt_web_start, but the session starts with this macro (code page 932
 * bytes, lines ending in CR LF, CR or LF) in place of the built-in one: the
 * device, the built-ins' memory (colour, text position, box, needles) and the
 * panel are as new, as for `qmt run FILE`; nothing of the built-in macro
 * runs.  For a linked or picked macro.  Returns an outcome with "errors". */
QMT_WEB_API const char* qmt_web_start_with(const uint8_t* cp932, int32_t size);

/* The panel as the window has it, as JSON:
 *   {"width": 640, "height": 480, "timerMs": 33,
 *    "keys":     [{"control": "swRUN", "caption": "作動", "label": "onRUN", "red": false}, ...],
 *    "sliders":  [{"control": "TrackROT", "name": "rot", "caption": "回転計",
 *                  "min": 0, "max": 1000, "arrowStep": 2, "pageStep": 100}, ...],
 *    "switches": [{"control": "swPTO", "caption": "PTO"}, ...]}
 * Keys, sliders and switches are in the order the functions below index
 * them. */
QMT_WEB_API const char* qmt_web_panel(void);

/* A buffer of at least `size` bytes for the next call's byte input (reused;
 * null when memory is exhausted or size is out of range). */
QMT_WEB_API uint8_t* qmt_web_input(int32_t size);

/* --- the macro ------------------------------------------------------------ */

/* Compile-and-go (F9): replaces the macro with the code page 932 bytes (lines
 * end in CR LF, CR or LF), compiles it and, without errors, runs it from its
 * start.  Returns an outcome with "errors". */
QMT_WEB_API const char* qmt_web_compile(const uint8_t* cp932, int32_t size);

/* The current macro as UTF-8 text, lines joined by "\n" (for the editor). */
QMT_WEB_API const char* qmt_web_macro_text(void);

/* The P-code listing of the last compile, one instruction a line ("\n"). */
QMT_WEB_API const char* qmt_web_listing(void);

/* --- the panel's inputs ----------------------------------------------------- */

/* A key (index into "keys") clicked: the inputs are read into their cells
 * and the key's event label runs.  Returns an outcome. */
QMT_WEB_API const char* qmt_web_key(int32_t index);

/* A slider (index into "sliders") moved to `position` (clamped to 0-1000):
 * its gauge is marked (its event runs on a later tick) and the inputs are
 * read into their cells.  Returns an outcome. */
QMT_WEB_API const char* qmt_web_slider(int32_t index, int32_t position);

/* A sensor box (index into "switches") clicked to on (1) or off (0): its cell
 * follows at the next reading of the inputs, and its "chg" event (chgPTO,
 * ...) runs after the next tick, as the sensor panel delivers it.  Returns an
 * outcome. */
QMT_WEB_API const char* qmt_web_switch(int32_t index, int32_t on);

/* One tick of the 33 ms timer.  `nowMs` is a millisecond clock (only its low
 * 16 bits count; performance.now() will do): the elapsed time steps DTIME1-3,
 * the timer label runs when the timer box is ticked, then one marked gauge's
 * event, then a sensor box's pending event.  Returns an outcome. */
QMT_WEB_API const char* qmt_web_tick(double nowMs);

/* The timer box (ticked: 1).  Unticked, ticks clear DTIME1-3 instead of
 * running the timer label. */
QMT_WEB_API void qmt_web_set_timer(int32_t on);

/* --- the display page ------------------------------------------------------- */

/* Brings the RGBA copy of the display page up to date and returns the frame
 * counter, which grows by one each time the page's pixels were found
 * changed since the previous call. */
QMT_WEB_API int32_t qmt_web_frame(void);

/* The display page as 640 x 480 RGBA bytes, row by row (alpha 255), as of
 * the last qmt_web_frame. */
QMT_WEB_API const uint8_t* qmt_web_rgba(void);

/* The display page as 640 x 480 colour bytes (the device's own form), live. */
QMT_WEB_API const uint8_t* qmt_web_page(void);

/* The 256 colours of the colour byte as RGBA, 1024 bytes. */
QMT_WEB_API const uint8_t* qmt_web_palette(void);

/* --- the tool window's command test and dropped files ------------------------ */

/* The command test ("QMTコマンド実行"): each line of the UTF-8 text, in its
 * escaped form, is carried out by the device; blank lines are skipped, as
 * `qmt exec` skips them.  A line code page 932 cannot
 * hold is skipped and named in "error"; device errors come in "messages".
 * Returns an outcome. */
QMT_WEB_API const char* qmt_web_command(const uint8_t* utf8, int32_t size);

/* A file dropped on the window, by its name and bytes: a .txt file becomes
 * the macro (code page 932) and is compiled and run, a .bmp or .jpg/.jpeg
 * picture is drawn on the display page in the device's colours; any other
 * name is refused as the window refuses it.  Only the first of several
 * dropped files counts.  Returns an outcome. */
QMT_WEB_API const char* qmt_web_drop(const char* name, const uint8_t* bytes, int32_t size);

/* A picture the page decoded itself (a JPEG where the core has no decoder):
 * `rgb` holds width x height pixels of 3 bytes, row by row; it is drawn on
 * the display page as a dropped picture is.  Returns an outcome. */
QMT_WEB_API const char* qmt_web_drop_rgb(int32_t width, int32_t height, const uint8_t* rgb, int32_t size);

/* Whether this core decodes JPEG pictures itself (1) or the page must decode
 * them and use qmt_web_drop_rgb (0). */
QMT_WEB_API int32_t qmt_web_has_jpeg(void);

/* --- files: code page 932 <-> UTF-8 -------------------------------------------- */

/* A macro file's bytes (code page 932) as UTF-8 text for the editor, lines
 * joined by "\n".  Nothing is lost: a byte that would not come back through
 * the text (one the code page does not define, an unassigned pair, NUL) is
 * the character U+F0000 + byte, which qmt_web_text_to_file turns back into
 * that byte; the editor shows those characters as the bytes they are. */
QMT_WEB_API const char* qmt_web_file_to_text(const uint8_t* cp932, int32_t size);

/* The editor's UTF-8 text as the bytes the desktop program saves: code page
 * 932, every line ended by CR LF.  Returns the byte count, to be read from
 * qmt_web_bytes(); or -1 when a character cannot be held, with
 * qmt_web_last_error() naming it ("N行目の文字 U+XXXX (c) はシフトJISで表せません"). */
QMT_WEB_API int32_t qmt_web_text_to_file(const uint8_t* utf8, int32_t size);

/* Whether a file's bytes look like UTF-8 (a byte-order mark, or well-formed
 * UTF-8 beyond ASCII) rather than code page 932 (1 or 0): the page then
 * offers to convert it. */
QMT_WEB_API int32_t qmt_web_file_is_utf8(const uint8_t* bytes, int32_t size);

/* Before the page decodes a dropped picture itself: refuses it from its
 * header when its size is past what a dropped picture may be (the rule the
 * window's drop keeps too), without decoding anything.  A name ending in
 * ".bmp" is read as a bitmap, any other as JPEG.  Returns an outcome whose
 * "error" words the refusal. */
QMT_WEB_API const char* qmt_web_check_picture(const char* name, const uint8_t* bytes, int32_t size);

/* The bytes of the last qmt_web_text_to_file. */
QMT_WEB_API const uint8_t* qmt_web_bytes(void);

/* The error of the last call that returned -1 (UTF-8). */
QMT_WEB_API const char* qmt_web_last_error(void);

#ifdef __cplusplus
}
#endif

#endif
