// links: qmt_link
// The line assembler on arbitrary byte streams: the stream is fed whole and
// again cut where its first byte says; both must give the same lines and
// drops, no line may pass the limit, and nothing may be held beyond it.  The
// limit is small so that dropping is reached often.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "link/line_assembler.h"

namespace {

struct Result {
  std::vector<std::string> lines;
  std::vector<std::size_t> drops;
};

constexpr std::size_t kLimit = 300;

Result Run(std::string_view stream, std::size_t piece) {
  Result r;
  qmt::LineAssembler a(kLimit);
  a.SetLineHandler([&](std::string_view l) {
    if (l.size() > kLimit) std::abort();
    r.lines.emplace_back(l);
  });
  a.SetDropHandler([&](std::size_t n) {
    if (n <= kLimit) std::abort();
    r.drops.push_back(n);
  });
  for (std::size_t i = 0; i < stream.size(); i += piece) {
    a.Feed(stream.substr(i, piece));
    if (a.Pending() > kLimit) std::abort();
  }
  a.Discard();
  if (a.Pending() != 0 || a.Dropping()) std::abort();
  return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::size_t piece = data[0] % 17 + 1;
  std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
  Result whole = Run(stream, stream.size() + 1);
  Result cut = Run(stream, piece);
  if (whole.lines != cut.lines || whole.drops != cut.drops) std::abort();
  return 0;
}
