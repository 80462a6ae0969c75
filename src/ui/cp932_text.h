// Text of the core (code page 932 bytes) as the windows show it.
#pragma once

#include <QString>
#include <string_view>

#include "support/encoding.h"

namespace qmt {

inline QString FromCp932(std::string_view cp932) { return QString::fromStdString(Cp932ToUtf8(cp932)); }

}  // namespace qmt
