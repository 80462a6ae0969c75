// A list of strings that travels inside the program's resources: the text
// tables (built-in names, external value names, constants, the default
// macro) are stored as tray streams and read back at start-up.
#pragma once

#include "support/resource_stream.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qmt {

using TNotifyEvent = std::function<void()>;

// Header string that marks a scrambled list.  Scrambled storage needs a key
// this program does not carry, so such lists are refused both ways.
inline constexpr std::string_view kScrambledHeader = "<Ctypt>";

// A string list with change notifications and name=value lookups.  Names
// are compared ignoring letter case (SameName).
class TMyString {
 public:
  std::size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  const std::string& operator[](std::size_t i) const { return items_[i]; }
  const std::vector<std::string>& Strings() const { return items_; }

  void Add(std::string s);
  void Clear();
  void Assign(const std::vector<std::string>& items);
  void Assign(const TMyString& other) { Assign(other.items_); }

  // Update bracket: notifications fire once, at the outermost end.
  void BeginUpdate();
  void EndUpdate();

  // Position of the whole line equal to `s` (case ignored), or -1.
  int IndexOf(std::string_view s) const;
  // Position of the first line whose text before its first "=" equals
  // `name` (case ignored, nothing trimmed), or -1.
  int IndexOfName(std::string_view name) const;
  // Everything after the first "=" of line i ("" when it has none).
  std::string ValueFromIndex(std::size_t i) const;

  bool Hidden() const { return hidden_; }
  void SetHidden(bool hidden) { hidden_ = hidden; }

  // The streamed property "Strings": header string, then the items.
  // Writing a hidden (scrambled) list raises ResourceError.
  void WriteStrings(ResourceWriter& out) const;
  // Replaces the whole list with what the stream holds.  On an error (a
  // scrambled list, a broken stream) the list is left as it was.
  void ReadStrings(ResourceReader& in);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 private:
  void Changing();
  void Changed();

  std::vector<std::string> items_;
  bool hidden_ = false;
  int updateCount_ = 0;
};

// The component: owns its list and forwards the list's notifications.
class TStringListTray {
 public:
  TStringListTray() = default;
  TStringListTray(const TStringListTray&) = delete;
  TStringListTray& operator=(const TStringListTray&) = delete;

  TMyString& Items() { return items_; }
  const TMyString& Items() const { return items_; }
  void SetItems(const TMyString& items) { items_.Assign(items); }

  bool hidon() const { return hidon_; }
  void Sethidon(bool on) {
    hidon_ = on;
    items_.SetHidden(on);
  }

  void SetOnChange(TNotifyEvent e) { items_.OnChange = std::move(e); }
  void SetOnChanging(TNotifyEvent e) { items_.OnChanging = std::move(e); }

  // A whole tray stream (list start, header, items, list end) and back.
  std::string SaveToStream() const;
  void LoadFromStream(std::string_view bytes);

 private:
  TMyString items_;
  bool hidon_ = false;
};

}  // namespace qmt
