// Bluesky's text rules on any bytes: the grapheme count never exceeds the byte count, and
// every facet lies inside the text, after the one before it, on whole UTF-8 characters.
#include <cstdlib>
#include <string>

#include "services/BlueskyText.h"

namespace {

bool IsContinuation(const std::string& s, std::size_t at) {
  return at < s.size() && (static_cast<unsigned char>(s[at]) & 0xC0) == 0x80;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (bluesky::CountGraphemes(text) > text.size()) std::abort();
  std::size_t last = 0;
  for (const auto& facet : bluesky::FindFacets(text)) {
    if (facet.byteStart < last || facet.byteEnd <= facet.byteStart || facet.byteEnd > size)
      std::abort();
    // A facet starts on a character and ends after a whole one.
    if (IsContinuation(text, facet.byteStart) || facet.value.empty()) std::abort();
    if (static_cast<unsigned char>(text[facet.byteEnd - 1]) >= 0xC0) std::abort();
    last = facet.byteEnd;
  }
  return 0;
}
