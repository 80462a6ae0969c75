#include "fonts/freetype_glyphs.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <filesystem>
#include <unordered_map>

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

struct Face {
  FT_Face face = nullptr;
  int baseline = 0;  // rows from the top of the cell
};

class FreeTypeGlyphs final : public GlyphSource {
 public:
  explicit FreeTypeGlyphs(std::unique_ptr<FontLocator> locator) : locator_(std::move(locator)) {}
  ~FreeTypeGlyphs() override {
    for (auto& [height, face] : faces_) FT_Done_Face(face.face);
    if (library_ != nullptr) FT_Done_FreeType(library_);
  }

  void Prepare(int cellHeight) override { FaceFor(cellHeight); }

  Glyph Rasterize(int cellHeight, Cp932Char c) override {
    const Face& face = FaceFor(cellHeight);
    Glyph glyph;
    const FT_UInt index = FT_Get_Char_Index(face.face, DecodeCp932(c.code, U'\u30FB'));
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

 private:
  Face& FaceFor(int cellHeight) {
    if (auto it = faces_.find(cellHeight); it != faces_.end()) return it->second;
    const FontAlias alias = AliasFor(cellHeight);
    if (library_ == nullptr && FT_Init_FreeType(&library_) != 0) {
      library_ = nullptr;
      throw FontUnavailable(MissingFontMessage(alias, "cannot be used (FreeType failed to start)"));
    }
    FontFile file = locator_->Locate(cellHeight);
    Face entry;
    if (FT_New_Face(library_, file.path.c_str(), file.index, &entry.face) != 0)
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
    return faces_.emplace(cellHeight, entry).first->second;
  }

  std::unique_ptr<FontLocator> locator_;
  FT_Library library_ = nullptr;
  std::unordered_map<int, Face> faces_;  // by cell height
};

}  // namespace

std::unique_ptr<FontLocator> MakeFontconfigLocator(std::vector<std::string> fontDirs) {
  return std::make_unique<FontconfigLocator>(std::move(fontDirs));
}

std::unique_ptr<GlyphSource> MakeFreeTypeGlyphs(std::unique_ptr<FontLocator> locator) {
  return std::make_unique<FreeTypeGlyphs>(std::move(locator));
}

}  // namespace qmt
