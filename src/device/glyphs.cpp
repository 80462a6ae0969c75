#include "device/glyphs.h"

#include "device/escape.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <unordered_map>

#include "device/messages.h"
#include "support/encoding.h"

namespace qmt {

FontLocator::~FontLocator() = default;

namespace {

// The program's alias for "ＭＳ ゴシック": which installed family stands in for
// it at a cell height, and which Debian package brings that family.
struct FontAlias {
  const char* family;
  const char* package;
};

FontAlias AliasFor(int cellHeight) {
  if (cellHeight < kSmallFontLimit) return {"MisakiGothic", "fonts-misaki"};
  return {"IPAGothic", "fonts-ipafont-gothic"};
}

std::string MissingFontMessage(const FontAlias& alias, const std::string& why) {
  return std::string("font ") + alias.family + " " + why + ": install the package " + alias.package;
}

class FontconfigLocator final : public FontLocator {
 public:
  explicit FontconfigLocator(std::vector<std::string> dirs) : dirs_(std::move(dirs)) {}
  ~FontconfigLocator() override {
    if (config_ != nullptr) FcConfigDestroy(config_);
  }

  FontFile Locate(int cellHeight) override {
    const FontAlias alias = AliasFor(cellHeight);
    FcConfig* config = Config();
    if (config == nullptr) throw FontUnavailable(MissingFontMessage(alias, "not found (fontconfig failed)"));

    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(alias.family));
    FcPatternAddDouble(pattern, FC_PIXEL_SIZE, cellHeight);
    FcConfigSubstitute(config, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(config, pattern, &result);
    FcPatternDestroy(pattern);

    // fontconfig answers some font whatever was asked; only the aliased
    // family will do, since others may have no Japanese glyphs at all.
    FontFile file;
    bool found = false;
    if (match != nullptr) {
      FcChar8* family = nullptr;
      for (int i = 0; !found && FcPatternGetString(match, FC_FAMILY, i, &family) == FcResultMatch; ++i)
        found = FcStrCmpIgnoreCase(family, reinterpret_cast<const FcChar8*>(alias.family)) == 0;
      FcChar8* path = nullptr;
      if (found && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
        file.path = reinterpret_cast<const char*>(path);
        int index = 0;
        if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) file.index = index;
      } else {
        found = false;
      }
      FcPatternDestroy(match);
    }
    if (!found) throw FontUnavailable(MissingFontMessage(alias, "is not installed"));
    return file;
  }

 private:
  FcConfig* Config() {
    if (config_ == nullptr) {
      if (dirs_.empty()) {
        // The process's own configuration, loaded once and shared with
        // whatever else in the process uses fontconfig (the windows' fonts):
        // loading it is most of the cost of a short run.
        config_ = FcConfigReference(nullptr);
      } else {
        // Font by font, so that no cache is wanted for these folders.
        config_ = FcConfigCreate();
        for (const std::string& dir : dirs_) {
          std::error_code ec;
          for (const auto& entry : std::filesystem::recursive_directory_iterator(dir, ec)) {
            if (entry.is_regular_file(ec))
              FcConfigAppFontAddFile(config_, reinterpret_cast<const FcChar8*>(entry.path().c_str()));
          }
        }
      }
    }
    return config_;
  }

  std::vector<std::string> dirs_;
  FcConfig* config_ = nullptr;
};

// One glyph as it lands in a box: its ink rows relative to the pen position
// on the box's top edge.
struct Glyph {
  int left = 0;  // first column, from the pen position
  int top = 0;   // first row, from the top of the box
  int width = 0;
  int rows = 0;
  int stride = 0;  // width rounded up to 8, so that rows go over in words
  int advance = 0;
  std::vector<std::uint8_t> ink;  // rows * stride, 1 = ink, padding 0
};

struct Face {
  FT_Face face = nullptr;
  int baseline = 0;  // rows from the top of the cell
  // Cached glyphs of the single-byte characters, found without hashing.
  std::array<const Glyph*, 256> singleByte{};
};

std::uint32_t GlyphKey(Cp932Char c, int cellHeight) {
  return (std::uint32_t{c.code} << 16) | static_cast<std::uint16_t>(cellHeight);
}

}  // namespace

std::vector<Cp932Char> SplitCp932(std::string_view cp932) {
  std::vector<Cp932Char> chars;
  chars.reserve(cp932.size());
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    auto b = static_cast<std::uint8_t>(cp932[i]);
    if (IsLeadByte(b) && i + 1 < cp932.size()) {
      chars.push_back({static_cast<std::uint16_t>(b << 8 | static_cast<std::uint8_t>(cp932[i + 1]))});
      ++i;
    } else {
      chars.push_back({b});
    }
  }
  return chars;
}

int CountCp932Chars(std::string_view cp932) {
  int n = 0;
  for (std::size_t i = 0; i < cp932.size(); ++i, ++n)
    if (IsLeadByte(static_cast<std::uint8_t>(cp932[i])) && i + 1 < cp932.size()) ++i;
  return n;
}

char32_t DecodeCp932Char(Cp932Char c) { return DecodeCp932(c.code, U'\u30FB'); }

std::unique_ptr<FontLocator> MakeFontconfigLocator(std::vector<std::string> fontDirs) {
  return std::make_unique<FontconfigLocator>(std::move(fontDirs));
}

struct GlyphEngine::Impl {
  std::unique_ptr<FontLocator> locator;
  std::size_t cacheLimit;
  FT_Library library = nullptr;
  std::unordered_map<int, Face> faces;  // by cell height
  std::unordered_map<std::uint32_t, Glyph> cache;
  std::size_t rasterizations = 0;

  ~Impl() {
    for (auto& [height, face] : faces) FT_Done_Face(face.face);
    if (library != nullptr) FT_Done_FreeType(library);
  }

  Face& FaceFor(int cellHeight) {
    if (auto it = faces.find(cellHeight); it != faces.end()) return it->second;
    const FontAlias alias = AliasFor(cellHeight);
    if (library == nullptr && FT_Init_FreeType(&library) != 0) {
      library = nullptr;
      throw FontUnavailable(MissingFontMessage(alias, "cannot be used (FreeType failed to start)"));
    }
    FontFile file = locator->Locate(cellHeight);
    Face entry;
    if (FT_New_Face(library, file.path.c_str(), file.index, &entry.face) != 0)
      throw FontUnavailable(MissingFontMessage(alias, "cannot be read from " + file.path));
    // The cell height is the font's ascender plus descender (internal
    // leading included), so the em is scaled from the font's own figures
    // rather than FreeType's rounded ones.
    const long ascender = entry.face->ascender;
    const long span = ascender - entry.face->descender;
    bool sized = false;
    if (FT_IS_SCALABLE(entry.face) && span > 0) {
      const long long charHeight = (2LL * cellHeight * entry.face->units_per_EM * 64 + span) / (2 * span);
      sized = FT_Set_Char_Size(entry.face, 0, static_cast<FT_F26Dot6>(charHeight), 72, 72) == 0;
      entry.baseline = static_cast<int>((2LL * cellHeight * ascender + span) / (2 * span));
    }
    if (!sized) {
      FT_Done_Face(entry.face);
      throw FontUnavailable(MissingFontMessage(alias, "has no usable size in " + file.path));
    }
    return faces.emplace(cellHeight, entry).first->second;
  }

  Glyph Rasterize(const Face& face, Cp932Char c) {
    ++rasterizations;
    Glyph glyph;
    const FT_UInt index = FT_Get_Char_Index(face.face, DecodeCp932Char(c));
    if (FT_Load_Glyph(face.face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_MONOCHROME) != 0)
      return glyph;  // a glyph FreeType cannot load draws nothing and takes no room
    const FT_GlyphSlot slot = face.face->glyph;
    glyph.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    glyph.left = slot->bitmap_left;
    glyph.top = face.baseline - slot->bitmap_top;
    const FT_Bitmap& bitmap = slot->bitmap;
    glyph.width = static_cast<int>(bitmap.width);
    glyph.rows = static_cast<int>(bitmap.rows);
    glyph.stride = (glyph.width + 7) / 8 * 8;
    glyph.ink.assign(static_cast<std::size_t>(glyph.stride) * glyph.rows, 0);
    for (int y = 0; y < glyph.rows; ++y) {
      const unsigned char* row = bitmap.buffer + static_cast<std::ptrdiff_t>(y) * bitmap.pitch;
      for (int x = 0; x < glyph.width; ++x) {
        bool on = bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (row[x >> 3] & (0x80 >> (x & 7))) != 0 : row[x] >= 128;
        glyph.ink[static_cast<std::size_t>(y) * glyph.stride + x] = on ? 1 : 0;
      }
    }
    return glyph;
  }

  const Glyph& Lookup(Face& face, Cp932Char c, int cellHeight) {
    if (c.code < 256 && face.singleByte[c.code] != nullptr) return *face.singleByte[c.code];
    const std::uint32_t key = GlyphKey(c, cellHeight);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    // A full cache starts again rather than tracking use: text on the device
    // is labels and numbers, so the working set refills at once.
    if (cache.size() >= cacheLimit) ClearCache();
    const Glyph& glyph = cache.emplace(key, Rasterize(face, c)).first->second;
    if (c.code < 256) face.singleByte[c.code] = &glyph;
    return glyph;
  }

  void ClearCache() {
    cache.clear();
    for (auto& [height, face] : faces) face.singleByte.fill(nullptr);
  }
};

GlyphEngine::GlyphEngine(std::unique_ptr<FontLocator> locator, std::size_t cacheLimit)
    : impl_(std::make_unique<Impl>()) {
  impl_->locator = std::move(locator);
  impl_->cacheLimit = std::max<std::size_t>(cacheLimit, 1);
}

GlyphEngine::~GlyphEngine() = default;

void GlyphEngine::Render(std::string_view cp932, int boxWidth, int cellHeight, TextMask& out) {
  boxWidth = std::max(boxWidth, 0);
  cellHeight = std::clamp(cellHeight, 0, 0xFFFF);
  Face* face = cellHeight > 0 ? &impl_->FaceFor(cellHeight) : nullptr;
  out.width = boxWidth;
  out.height = cellHeight;
  out.ink.assign(static_cast<std::size_t>(boxWidth) * cellHeight, 0);
  if (face == nullptr) return;

  int pen = 0;
  for (std::size_t i = 0; i < cp932.size() && pen < boxWidth; ++i) {
    auto b = static_cast<std::uint8_t>(cp932[i]);
    Cp932Char c{b};
    if (IsLeadByte(b) && i + 1 < cp932.size()) {
      c.code = static_cast<std::uint16_t>(b << 8 | static_cast<std::uint8_t>(cp932[++i]));
    }
    const Glyph& glyph = impl_->Lookup(*face, c, cellHeight);
    // Clip the glyph to the box.
    const int x0 = pen + glyph.left;
    const int gx0 = std::max(0, -x0);
    const int gx1 = std::min(glyph.width, boxWidth - x0);
    const int gy0 = std::max(0, -glyph.top);
    const int gy1 = std::min(glyph.rows, cellHeight - glyph.top);
    const bool unclipped = gx0 == 0 && gx1 == glyph.width;
    for (int gy = gy0; gy < gy1; ++gy) {
      const std::uint8_t* src = glyph.ink.data() + static_cast<std::size_t>(gy) * glyph.stride;
      const std::size_t at = static_cast<std::size_t>(glyph.top + gy) * boxWidth + x0;
      std::uint8_t* dst = out.ink.data() + at;
      if (unclipped && at + glyph.stride <= out.ink.size()) {
        // Whole words: the padding is zero, so what spills into the row's
        // tail or the next row's head changes nothing.
        for (int k = 0; k < glyph.stride; k += 8) {
          std::uint64_t a, b;
          std::memcpy(&a, dst + k, 8);
          std::memcpy(&b, src + k, 8);
          a |= b;
          std::memcpy(dst + k, &a, 8);
        }
      } else {
        for (int gx = gx0; gx < gx1; ++gx) dst[gx] |= src[gx];
      }
    }
    pen += glyph.advance;
  }
}

void GlyphEngine::SetLocator(std::unique_ptr<FontLocator> locator) {
  impl_->ClearCache();
  for (auto& [height, face] : impl_->faces) FT_Done_Face(face.face);
  impl_->faces.clear();
  impl_->locator = std::move(locator);
}

std::size_t GlyphEngine::CachedGlyphs() const { return impl_->cache.size(); }
std::size_t GlyphEngine::Rasterizations() const { return impl_->rasterizations; }

GlyphEngine& SharedGlyphEngine() {
  static GlyphEngine engine;
  return engine;
}

// --- JIS text ---------------------------------------------------------------

std::uint16_t JisToShiftJis(std::uint8_t j1, std::uint8_t j2) {
  if (j1 < 0x21 || j1 > 0x7E) msg::Fail(msg::JisCode());
  const unsigned s1 = (j1 + 1u) / 2 + (j1 <= 0x5E ? 0x70u : 0xB0u);
  unsigned s2;
  if (j1 % 2 == 0) {
    s2 = j2 + 0x7Eu;
  } else {
    s2 = j2 < 0x60 ? j2 + 0x1Fu : j2 + 0x20u;
  }
  return static_cast<std::uint16_t>(s1 << 8 | (s2 & 0xFF));
}

namespace {

std::uint8_t HexPair(std::string_view pair) {
  const int hi = HexDigitValue(pair[0]);
  const int lo = HexDigitValue(pair[1]);
  if (hi < 0 || lo < 0) msg::Fail(msg::NotInteger("$" + std::string(pair)));
  return static_cast<std::uint8_t>(hi << 4 | lo);
}

}  // namespace

std::string JisHexToShiftJis(std::string_view hexDigits) {
  std::string sjis;
  sjis.reserve(hexDigits.size() / 2);
  for (std::size_t i = 0; i + 4 <= hexDigits.size(); i += 4) {
    const std::uint8_t j1 = HexPair(hexDigits.substr(i, 2));
    const std::uint8_t j2 = HexPair(hexDigits.substr(i + 2, 2));
    const std::uint16_t s = JisToShiftJis(j1, j2);
    sjis.push_back(static_cast<char>(s >> 8));
    sjis.push_back(static_cast<char>(s & 0xFF));
  }
  return sjis;
}

}  // namespace qmt
