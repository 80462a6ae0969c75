#include "device/glyphs.h"

#include "device/escape.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include "device/messages.h"
#include "support/encoding.h"

namespace qmt {

namespace {

// Cached glyphs of the single-byte characters at one height, found without
// hashing.
struct Face {
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

struct GlyphEngine::Impl {
  // One engine serves every device of the process, on any thread.
  mutable std::mutex mutex;
  std::unique_ptr<GlyphSource> source;
  std::size_t cacheLimit;
  std::unordered_map<int, Face> faces;  // by cell height, once prepared
  std::unordered_map<std::uint32_t, Glyph> cache;
  std::size_t rasterizations = 0;

  Face& FaceFor(int cellHeight) {
    if (auto it = faces.find(cellHeight); it != faces.end()) return it->second;
    source->Prepare(cellHeight);
    return faces[cellHeight];
  }

  Glyph Rasterize(int cellHeight, Cp932Char c) {
    ++rasterizations;
    return source->Rasterize(cellHeight, c);
  }

  const Glyph& Lookup(Face& face, Cp932Char c, int cellHeight) {
    if (c.code < 256 && face.singleByte[c.code] != nullptr) return *face.singleByte[c.code];
    const std::uint32_t key = GlyphKey(c, cellHeight);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    // A full cache starts again rather than tracking use: text on the device
    // is labels and numbers, so the working set refills at once.
    if (cache.size() >= cacheLimit) ClearCache();
    const Glyph& glyph = cache.emplace(key, Rasterize(cellHeight, c)).first->second;
    if (c.code < 256) face.singleByte[c.code] = &glyph;
    return glyph;
  }

  void ClearCache() {
    cache.clear();
    for (auto& [height, face] : faces) face.singleByte.fill(nullptr);
  }
};

GlyphEngine::GlyphEngine(std::unique_ptr<GlyphSource> source, std::size_t cacheLimit)
    : impl_(std::make_unique<Impl>()) {
  impl_->source = std::move(source);
  impl_->cacheLimit = std::max<std::size_t>(cacheLimit, 1);
}

GlyphEngine::~GlyphEngine() = default;

void GlyphEngine::Render(std::string_view cp932, int boxWidth, int cellHeight, TextMask& out) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
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

void GlyphEngine::SetSource(std::unique_ptr<GlyphSource> source) {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  impl_->ClearCache();
  impl_->faces.clear();
  impl_->source = std::move(source);
}

std::size_t GlyphEngine::CachedGlyphs() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->cache.size();
}

std::size_t GlyphEngine::Rasterizations() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->rasterizations;
}

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
