// The weighted length of a post for X: the public twitter-text rules (version 3) with
// their table of light ranges, links of a fixed length and emoji sequences counted once.
#include "services/TwitterText.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <memory>
#include <vector>

namespace twitter {
namespace {

// Weights in hundredths: the scale of the twitter-text configuration.
constexpr int kScale = 100;
constexpr int kDefaultWeight = 200;
constexpr int kLinkLength = 23;  // every link counts as a shortened t.co address

struct SRange {
  UChar32 first, last;
};
// The code points of weight 100; every other one weighs kDefaultWeight.
constexpr SRange kLightRanges[] = {
    {0x0000, 0x10FF}, {0x2000, 0x200D}, {0x2010, 0x201F}, {0x2032, 0x2037}};

int Weight(UChar32 c) {
  for (const SRange& range : kLightRanges)
    if (c >= range.first && c <= range.last) return 100;
  return kDefaultWeight;
}

bool IsAsciiAlnum(UChar32 c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

UChar32 Lower(UChar32 c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

bool StartsWith(const std::vector<UChar32>& text, size_t at, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i)
    if (at + i >= text.size() || Lower(text[at + i]) != UChar32(prefix[i])) return false;
  return true;
}

// Characters that end a link: blanks, quotes and brackets that cannot be part of it.
bool EndsLink(UChar32 c) {
  return u_isUWhiteSpace(c) || c < 0x20 || c == '"' || c == '<' || c == '>' || c == 0x3000 ||
         (c >= 0x3001 && c <= 0x303F) || (c >= 0xFF01 && c <= 0xFF0F);
}

// Punctuation a link does not end with (it belongs to the sentence around it).
bool TrailingPunctuation(UChar32 c) {
  switch (c) {
    case '.':
    case ',':
    case ':':
    case ';':
    case '!':
    case '?':
    case '\'':
    case ')':
    case ']':
    case '}':
      return true;
    default:
      return false;
  }
}

// The length, in code points, of an http or https link starting at `at`; 0 for none.
// Its host must have a dot with a name on either side.
size_t LinkAt(const std::vector<UChar32>& text, size_t at) {
  if (at > 0 && (IsAsciiAlnum(text[at - 1]) || text[at - 1] == '@' || text[at - 1] == '$' ||
                 text[at - 1] == '#'))
    return 0;
  size_t host = 0;
  if (StartsWith(text, at, "https://")) {
    host = at + 8;
  } else if (StartsWith(text, at, "http://")) {
    host = at + 7;
  } else {
    return 0;
  }
  size_t end = host;
  while (end < text.size() && !EndsLink(text[end])) ++end;
  while (end > host && TrailingPunctuation(text[end - 1])) --end;
  size_t hostEnd = host;
  while (hostEnd < end && text[hostEnd] != '/' && text[hostEnd] != '?' && text[hostEnd] != '#' &&
         text[hostEnd] != ':')
    ++hostEnd;
  bool dotted = false;
  for (size_t i = host + 1; i + 1 < hostEnd; ++i) dotted = dotted || text[i] == '.';
  return dotted ? end - at : 0;
}

// An emoji as one user-perceived character: a pictograph (with its skin tone, variation
// selector or joined followers), a flag of two regional indicators, or a keycap.
bool IsEmojiCluster(const std::vector<UChar32>& text, size_t from, size_t to) {
  const UChar32 first = text[from];
  if (u_hasBinaryProperty(first, UCHAR_EXTENDED_PICTOGRAPHIC)) return true;
  if (u_hasBinaryProperty(first, UCHAR_REGIONAL_INDICATOR)) return to - from >= 2;
  for (size_t i = from; i < to; ++i)
    if (text[i] == 0x20E3) return true;  // combining enclosing keycap
  return false;
}

}  // namespace

int WeightedLength(const std::string& utf8) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString raw = icu::UnicodeString::fromUTF8(utf8);
  const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
  icu::UnicodeString text = U_SUCCESS(status) ? nfc->normalize(raw, status) : raw;
  if (U_FAILURE(status)) text = raw;

  // Code points, and the code point index of every UTF-16 grapheme boundary.
  std::vector<UChar32> points;
  std::vector<int32_t> unitToPoint(static_cast<size_t>(text.length()) + 1, 0);
  for (int32_t i = 0; i < text.length();) {
    const UChar32 c = text.char32At(i);
    const int32_t next = text.moveIndex32(i, 1);
    for (int32_t u = i; u < next; ++u) unitToPoint[static_cast<size_t>(u)] = int32_t(points.size());
    points.push_back(c);
    i = next;
  }
  unitToPoint[static_cast<size_t>(text.length())] = int32_t(points.size());
  std::vector<char> clusterStart(points.size() + 1, 0);
  status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> breaks(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_SUCCESS(status) && breaks) {
    breaks->setText(text);
    for (int32_t b = breaks->first(); b != icu::BreakIterator::DONE; b = breaks->next())
      clusterStart[static_cast<size_t>(unitToPoint[static_cast<size_t>(b)])] = 1;
  } else {
    for (char& start : clusterStart) start = 1;  // no breaks known: every code point alone
  }

  long long weighted = 0;
  for (size_t i = 0; i < points.size();) {
    if (const size_t link = LinkAt(points, i)) {
      weighted += kLinkLength * kScale;
      i += link;
      // A link may end inside a cluster (a combining mark after it): the rest counts alone.
      continue;
    }
    size_t end = i + 1;
    while (end < points.size() && !clusterStart[end]) ++end;
    if (clusterStart[i] && IsEmojiCluster(points, i, end)) {
      weighted += kDefaultWeight;
      i = end;
      continue;
    }
    weighted += Weight(points[i]);
    ++i;
  }
  return static_cast<int>(weighted / kScale);
}

}  // namespace twitter
