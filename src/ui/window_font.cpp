#include "ui/window_font.h"

#include <fontconfig/fontconfig.h>

namespace qmt {
namespace {

// The family fontconfig picks for `pattern`, or empty.
QString MatchFamily(const char* pattern) {
  FcPattern* pat = FcNameParse(reinterpret_cast<const FcChar8*>(pattern));
  if (!pat) return {};
  FcConfigSubstitute(nullptr, pat, FcMatchPattern);
  FcDefaultSubstitute(pat);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pat, &result);
  QString family;
  FcChar8* name = nullptr;
  FcLangSet* langs = nullptr;
  // Only a face that really covers Japanese will do.
  if (match && FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch &&
      FcPatternGetLangSet(match, FC_LANG, 0, &langs) == FcResultMatch &&
      FcLangSetHasLang(langs, reinterpret_cast<const FcChar8*>("ja")) == FcLangEqual)
    family = QString::fromUtf8(reinterpret_cast<const char*>(name));
  if (match) FcPatternDestroy(match);
  FcPatternDestroy(pat);
  return family;
}

}  // namespace

QFont JapaneseGothicFont(int pixelSize) {
  QString family;
  if (FcInit()) {
    family = MatchFamily("IPAPGothic:lang=ja");
    if (family.isEmpty()) family = MatchFamily("sans-serif:lang=ja:spacing=proportional");
  }
  QFont font(family.isEmpty() ? QStringLiteral("sans-serif") : family);
  font.setPixelSize(pixelSize);
  return font;
}

}  // namespace qmt
