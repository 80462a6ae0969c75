// Memory a program is about to fill, mapped in one go.
#pragma once

#include <cstddef>

namespace qmt {

// Maps the pages of a new buffer at once rather than one fault at a time
// as they are first written, which costs several times as much where page
// faults are dear (virtual machines).  Only a hint: where it cannot be
// done, the pages come as they are written.
void PrefaultPages(void* bytes, std::size_t size);

}  // namespace qmt
