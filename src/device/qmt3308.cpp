#include "device/qmt3308.h"

#include <algorithm>
#include <cstring>

#include "device/commands.h"
#include "device/line_reader.h"
#include "device/messages.h"
#include "support/prefault.h"

namespace qmt {

WindowSurface::~WindowSurface() = default;

TQMT3308::TQMT3308()
    : pages_(new std::uint8_t[4 * static_cast<std::size_t>(kPageBytes)]),
      store_(new std::uint8_t[4 * static_cast<std::size_t>(kPageBytes)]) {
  PrefaultPages(pages_.get(), 4 * static_cast<std::size_t>(kPageBytes));
  PrefaultPages(store_.get(), 4 * static_cast<std::size_t>(kPageBytes));
  // New pages start white; the store starts black.
  std::memset(pages_.get(), 0xFF, 4 * static_cast<std::size_t>(kPageBytes));
  std::memset(store_.get(), 0x00, 4 * static_cast<std::size_t>(kPageBytes));
}

TQMT3308::~TQMT3308() = default;

// line -> mnemonic arguments.  The mnemonic is two bytes, the second A-Z.
bool TQMT3308::ExecuteLine(std::string_view line) {
  try {
    if (line.size() < 2) msg::Fail(msg::Abort());
    const auto first = static_cast<unsigned char>(line[0]);
    if (LineReader::IsEnd(first)) msg::Fail(msg::TooShort());
    const auto second = static_cast<unsigned char>(line[1]);
    if (second < 'A' || second > 'Z') msg::Fail(msg::BadCommand());
    const CommandInfo* command = FindCommand(static_cast<char>(first), static_cast<char>(second));
    if (command == nullptr) msg::Fail(msg::BadCommand());
    LineReader reader(line);
    reader.SkipMnemonic();
    command->handler(*this, reader);
    return true;
  } catch (const DeviceError& e) {
    lastError_ = e.what();
    return false;
  }
}

void TQMT3308::NotifyAreaChanged(int x0, int y0, int x1, int y1) {
  if (!Mirrors()) return;
  if (x0 > x1) std::swap(x0, x1);
  if (y0 > y1) std::swap(y0, y1);
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, kPageWidth - 1);
  y1 = std::min(y1, kPageHeight - 1);
  if (x0 > x1 || y0 > y1) return;
  surface_->AreaChanged(x0, y0, x1, y1);
}

void TQMT3308::NotifyPageChanged(int page) {
  if (surface_ != nullptr && page == state_.displayPage) surface_->PageChanged();
}

TQMT3308& Device() {
  static TQMT3308 device;
  return device;
}

}  // namespace qmt
