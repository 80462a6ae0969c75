#include "ui/scr_tool_binding.h"

namespace qmt {

TScript& TdmToolHost::Script1() { return dm_ ? dm_->Script1 : spare_; }

void TdmToolHost::SetMacroLines(const std::vector<std::string>& lines) {
  if (dm_) dm_->Macro.Items().Assign(lines);
}

void TdmToolHost::CompileMacro() {
  if (dm_) dm_->CompileMacro();
}

void TdmToolHost::StartMacro() {
  if (sim_) sim_->StartMacro();
}

std::vector<std::string> TdmToolHost::FuncLabelLines() const {
  return dm_ ? dm_->FuncLabel.Items().Strings() : std::vector<std::string>{};
}

std::vector<std::string> TdmToolHost::ExtValueLines() const {
  return dm_ ? dm_->ExtValue.Items().Strings() : std::vector<std::string>{};
}

std::vector<std::string> TdmToolHost::ConstantLines() const {
  return dm_ ? dm_->Constant.Items().Strings() : std::vector<std::string>{};
}

}  // namespace qmt
