#include "host/embedded_tables.h"

#include <string_view>

#include "support/string_list_tray.h"

namespace qmt {
namespace tables {
extern const unsigned char kTrayFuncLabel[];
extern const std::size_t kTrayFuncLabelSize;
extern const unsigned char kTrayExtValue[];
extern const std::size_t kTrayExtValueSize;
extern const unsigned char kTrayConstant[];
extern const std::size_t kTrayConstantSize;
extern const unsigned char kTrayColors[];
extern const std::size_t kTrayColorsSize;
extern const unsigned char kTrayMacro[];
extern const std::size_t kTrayMacroSize;
}  // namespace tables

namespace {

std::vector<std::string> Load(const unsigned char* data, std::size_t size) {
  // The streams are written by the build from the repository's own files; a
  // stream that does not load is a broken build, and the tray's error says
  // where it broke.
  TStringListTray tray;
  tray.LoadFromStream(std::string_view(reinterpret_cast<const char*>(data), size));
  return tray.Items().Strings();
}

}  // namespace

const std::vector<std::string>& EmbeddedTableLines(EmbeddedTable table) {
  switch (table) {
    case EmbeddedTable::FuncLabel: {
      static const auto lines = Load(tables::kTrayFuncLabel, tables::kTrayFuncLabelSize);
      return lines;
    }
    case EmbeddedTable::ExtValue: {
      static const auto lines = Load(tables::kTrayExtValue, tables::kTrayExtValueSize);
      return lines;
    }
    case EmbeddedTable::Constant: {
      static const auto lines = Load(tables::kTrayConstant, tables::kTrayConstantSize);
      return lines;
    }
    case EmbeddedTable::Colors: {
      static const auto lines = Load(tables::kTrayColors, tables::kTrayColorsSize);
      return lines;
    }
    case EmbeddedTable::Macro: {
      static const auto lines = Load(tables::kTrayMacro, tables::kTrayMacroSize);
      return lines;
    }
  }
  static const std::vector<std::string> none;
  return none;
}

}  // namespace qmt
