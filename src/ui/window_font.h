// The window font: a Japanese proportional Gothic chosen through fontconfig.
#pragma once

#include <QFont>

namespace qmt {

// IPAPGothic when installed, otherwise the proportional sans-serif face that
// fontconfig prefers for Japanese, at `pixelSize` pixels.
QFont JapaneseGothicFont(int pixelSize = 12);

}  // namespace qmt
