// The WebAssembly module: the functions of qmt_web.h are its exports, and
// nothing runs when it loads (it has no main).
#include "web/qmt_web.h"
