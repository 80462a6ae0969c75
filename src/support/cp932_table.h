// Code page 932 as tables, written at build time by tools/cp932_table.cpp
// from iconv's CP932.  Every character of the code page is in the Basic
// Multilingual Plane, so 16 bits hold both sides.  The converters in
// encoding.h and the device's glyphs read these; nothing else should.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qmt::cp932 {

constexpr std::uint16_t kUndefined = 0xFFFF;
constexpr int kLeadBytes = 60;

// The position of a lead byte (0x81-0x9F, 0xE0-0xFC) among the lead bytes.
constexpr int LeadIndex(std::uint8_t lead) { return lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 31; }

// The character of each single byte; kUndefined where there is none (the
// lead bytes among them).
extern const std::uint16_t kSingle[256];
// The character of lead byte L and second byte T at
// kPairs[LeadIndex(L) * 256 + T]; kUndefined where there is none.
extern const std::uint16_t kPairs[kLeadBytes * 256];
// Unicode -> code page 932: kEncodeCount pairs (character, code), sorted by
// character; a code below 256 is one byte, others lead byte * 256 + trail.
extern const std::uint16_t kEncode[];
extern const std::size_t kEncodeCount;
// Characters that are accepted and written as nothing (the language tags,
// U+E0000-U+E007F); kIgnoredFirst > kIgnoredLast when there are none.
extern const char32_t kIgnoredFirst;
extern const char32_t kIgnoredLast;

}  // namespace qmt::cp932
