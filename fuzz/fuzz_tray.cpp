// links: qmt_support
// The string list tray reader on arbitrary streams: every stream either loads
// or is refused with ResourceError, a refused stream leaves the list as it
// was, and a loaded list writes back to a stream that loads the same items.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "support/string_list_tray.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qmt::TStringListTray tray;
  tray.Items().Add("before");
  try {
    tray.LoadFromStream(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const qmt::ResourceError&) {
    if (tray.Items().Count() != 1 || tray.Items()[0] != "before") std::abort();
    return 0;
  }
  qmt::TStringListTray again;
  again.LoadFromStream(tray.SaveToStream());
  if (again.Items().Strings() != tray.Items().Strings()) std::abort();
  return 0;
}
