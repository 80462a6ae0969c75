#include "support/prefault.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace qmt {

void PrefaultPages(void* bytes, std::size_t size) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
  static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const auto at = reinterpret_cast<std::uintptr_t>(bytes);
  // The whole pages inside the buffer: the pages it shares with other
  // memory are left as they are.
  const std::uintptr_t from = (at + page - 1) & ~(page - 1);
  const std::uintptr_t to = (at + size) & ~(page - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_POPULATE_WRITE);
#else
  (void)bytes;
  (void)size;
#endif
}

}  // namespace qmt
