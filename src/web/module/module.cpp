// The WebAssembly module: the functions of qmt_web.h are its exports; there
// is nothing to run at load time.
#include "web/qmt_web.h"

int main() { return 0; }
