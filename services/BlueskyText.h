// Bluesky's rules for the text of a post: its length in grapheme clusters (what the
// network limits, besides bytes) and the rich-text facets that make links, #tags and
// @mentions clickable. Facet ranges are UTF-8 byte offsets into the text, as the
// record's lexicon defines them. No network here: mentions are found, not resolved.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

namespace bluesky {

constexpr std::size_t kMaxGraphemes = 300;
constexpr std::size_t kMaxTextBytes = 3000;

// User-perceived characters of UTF-8 text (ICU's extended grapheme clusters): an emoji
// with its skin tone, or a letter with its combining marks, counts once. Invalid UTF-8
// counts each bad byte as one.
std::size_t CountGraphemes(const std::string& utf8);

struct SFacetSpan {
  enum class EKind { Link, Tag, Mention };
  EKind kind;
  std::size_t byteStart;  // [byteStart, byteEnd) into the text, on UTF-8 boundaries
  std::size_t byteEnd;
  std::string value;  // Link: the full address; Tag: the tag without '#'; Mention: the
                      // handle without '@', lower case
};

// The links (http and https addresses), #tags and @handle mentions of a text, in text
// order, never overlapping and always inside the text.
std::vector<SFacetSpan> FindFacets(const std::string& utf8);

}  // namespace bluesky
