// Bluesky's text rules: grapheme clusters counted by ICU, and the facets found by one scan
// over the UTF-8 text. The scan walks code points, so every range it reports starts and
// ends on a code point boundary; a byte that is not valid UTF-8 is a one-byte unit that
// belongs to no facet and ends any facet it follows.
#include "services/BlueskyText.h"

#include <unicode/ubrk.h>
#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <climits>
#include <memory>

namespace bluesky {
namespace {

constexpr std::size_t kMaxTagGraphemes = 64;
constexpr std::size_t kMaxTagBytes = 640;
constexpr std::size_t kMaxHandleBytes = 253;
constexpr std::size_t kMaxLabelBytes = 63;

// One code point at a byte offset: c < 0 for a byte that starts no valid sequence, which
// then counts as one unit of one byte.
struct SUnit {
  UChar32 c;
  std::size_t end;
};

SUnit Decode(const std::string& s, std::size_t i) {
  if (i >= s.size()) return {-1, s.size()};
  const std::size_t start = i;
  UChar32 c = 0;
  U8_NEXT(s.data(), i, s.size(), c);
  if (c < 0) i = start + 1;
  return {c, i};
}

bool IsAsciiAlnum(UChar32 c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsSpace(UChar32 c) { return c >= 0 && u_isUWhiteSpace(c); }

// Controls and invisible format characters (zero-width space and joiner, soft hyphen,
// word joiner) end a link or a tag: nobody means them as part of one.
bool IsInvisible(UChar32 c) {
  const int8_t type = u_charType(c);
  return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR;
}

bool IsSymbol(UChar32 c) {
  const int8_t type = u_charType(c);
  return type == U_MATH_SYMBOL || type == U_CURRENCY_SYMBOL || type == U_MODIFIER_SYMBOL ||
         type == U_OTHER_SYMBOL;
}

// A link runs to the next space. Chinese text often follows a link with no space between,
// so full-width punctuation and emoji (any punctuation or symbol outside ASCII) end it too,
// while letters outside ASCII stay part of it (a path in Chinese is still a path).
bool EndsLink(UChar32 c) {
  if (c < 0 || IsSpace(c) || IsInvisible(c)) return true;
  if (c == '<' || c == '>' || c == '"') return true;
  return c >= 0x80 && (u_ispunct(c) || IsSymbol(c));
}

bool EndsTag(UChar32 c) {
  if (c < 0 || IsSpace(c) || IsInvisible(c) || c == 0x20E2) return true;
  return c >= 0x80 && u_ispunct(c);
}

// The code point that ends at `end`, or -1 where the bytes before it are not valid UTF-8.
UChar32 CodePointBefore(const std::string& s, std::size_t end) {
  std::size_t start = end - 1;
  while (start > 0 && end - start < 4 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80)
    --start;
  const SUnit u = Decode(s, start);
  return u.end == end ? u.c : -1;
}

bool IsOpening(UChar32 c) { return c >= 0 && u_charType(c) == U_START_PUNCTUATION; }

bool IsHandleChar(UChar32 c) { return IsAsciiAlnum(c) || c == '.' || c == '-'; }

bool StartsWithNoCase(const std::string& s, std::size_t at, const char* prefix) {
  for (std::size_t k = 0; prefix[k]; ++k) {
    if (at + k >= s.size()) return false;
    char c = s[at + k];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    if (c != prefix[k]) return false;
  }
  return true;
}

// The address that starts at `at` (its "http://" or "https://" already seen): up to what
// ends a link, without the punctuation that closes the sentence around it.
bool ReadLink(const std::string& s, std::size_t at, std::size_t schemeEnd, SFacetSpan& facet) {
  // An address names a host: "https://" followed by a slash or by nothing is no link.
  const SUnit first = Decode(s, schemeEnd);
  if (EndsLink(first.c) || first.c == '/' || first.c == '?' || first.c == '#' || first.c == '.' ||
      first.c == ':')
    return false;
  std::size_t end = schemeEnd;
  int parens = 0, brackets = 0;  // opening minus closing
  while (end < s.size()) {
    const SUnit u = Decode(s, end);
    if (EndsLink(u.c)) break;
    parens += u.c == '(' ? 1 : u.c == ')' ? -1 : 0;
    brackets += u.c == '[' ? 1 : u.c == ']' ? -1 : 0;
    end = u.end;
  }
  // What is trimmed is ASCII, and no byte of a longer sequence equals an ASCII byte.
  while (end > schemeEnd) {
    const char last = s[end - 1];
    if (last == '.' || last == ',' || last == ';' || last == ':' || last == '!' || last == '?' ||
        last == '\'') {
      --end;
    } else if (last == ')' && parens < 0) {
      ++parens, --end;
    } else if (last == ']' && brackets < 0) {
      ++brackets, --end;
    } else {
      break;
    }
  }
  if (end == schemeEnd) return false;
  facet = {SFacetSpan::EKind::Link, at, end, s.substr(at, end - at)};
  return true;
}

// A #tag: text up to a space (or full-width punctuation), less the punctuation at its end;
// it needs one character that is neither a digit nor punctuation, so "#1" is not a tag.
bool ReadTag(const std::string& s, std::size_t at, std::size_t bodyStart, SFacetSpan& facet) {
  // "#️⃣" (the keycap emoji) begins with a variation selector and is no tag.
  const SUnit first = Decode(s, bodyStart);
  if (first.c < 0 || first.c == 0xFE0F || first.c == 0x20E3) return false;
  std::size_t end = bodyStart;
  std::size_t lastKept = bodyStart;  // the end of the body without trailing punctuation
  bool meaningful = false;
  while (end < s.size()) {
    const SUnit u = Decode(s, end);
    if (EndsTag(u.c)) break;
    end = u.end;
    if (!u_ispunct(u.c)) {
      lastKept = end;
      if (!u_isdigit(u.c)) meaningful = true;
    }
    if (end - bodyStart > kMaxTagBytes) return false;
  }
  if (!meaningful) return false;
  std::string body = s.substr(bodyStart, lastKept - bodyStart);
  if (CountGraphemes(body) > kMaxTagGraphemes) return false;
  facet = {SFacetSpan::EKind::Tag, at, lastKept, std::move(body)};
  return true;
}

// A handle is a domain name: labels of letters, digits and hyphens, neither starting nor
// ending with a hyphen, at least two of them, the last one starting with a letter.
bool IsValidHandle(const std::string& handle) {
  if (handle.empty() || handle.size() > kMaxHandleBytes) return false;
  std::size_t labels = 0, start = 0;
  while (start <= handle.size()) {
    std::size_t dot = handle.find('.', start);
    if (dot == std::string::npos) dot = handle.size();
    const std::size_t length = dot - start;
    if (length == 0 || length > kMaxLabelBytes) return false;
    if (handle[start] == '-' || handle[dot - 1] == '-') return false;
    ++labels;
    if (dot == handle.size()) {
      const char c = handle[start];
      return labels >= 2 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
    }
    start = dot + 1;
  }
  return false;
}

bool ReadMention(const std::string& s, std::size_t at, SFacetSpan& facet) {
  std::size_t end = at + 1;
  while (end < s.size() && IsHandleChar(static_cast<unsigned char>(s[end]))) ++end;
  // "@bob.example.com_x" or "@a.com@b.com" are not handles with something after them.
  if (end < s.size() && (s[end] == '_' || s[end] == '@')) return false;
  // A full stop or a dash after a handle ends the sentence, not the handle.
  while (end > at + 1 && (s[end - 1] == '.' || s[end - 1] == '-')) --end;
  std::string handle = s.substr(at + 1, end - at - 1);
  if (!IsValidHandle(handle)) return false;
  for (char& c : handle)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  facet = {SFacetSpan::EKind::Mention, at, end, std::move(handle)};
  return true;
}

}  // namespace

std::size_t CountGraphemes(const std::string& utf8) {
  // ICU's break iterator takes 32-bit lengths; text that long is over every limit anyway,
  // and its byte count is an upper bound of its graphemes.
  if (utf8.size() > INT32_MAX / 2) return utf8.size();
  std::u16string utf16;
  utf16.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const SUnit u = Decode(utf8, i);
    const UChar32 c = u.c < 0 ? 0xFFFD : u.c;
    if (U16_LENGTH(c) == 1) {
      utf16.push_back(char16_t(c));
    } else {
      utf16.push_back(char16_t(U16_LEAD(c)));
      utf16.push_back(char16_t(U16_TRAIL(c)));
    }
    i = u.end;
  }
  if (utf16.empty()) return 0;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UBreakIterator, decltype(&ubrk_close)> it(
      ubrk_open(UBRK_CHARACTER, "", reinterpret_cast<const UChar*>(utf16.data()),
                int32_t(utf16.size()), &status),
      &ubrk_close);
  // Without ICU's data no clusters can be found; the UTF-16 units are an upper bound.
  if (U_FAILURE(status) || !it) return utf16.size();
  std::size_t count = 0;
  ubrk_first(it.get());
  while (ubrk_next(it.get()) != UBRK_DONE) ++count;
  return count;
}

std::vector<SFacetSpan> FindFacets(const std::string& utf8) {
  std::vector<SFacetSpan> facets;
  const std::string& s = utf8;
  UChar32 previous = ' ';  // the start of the text counts as a space before it
  for (std::size_t i = 0; i < s.size();) {
    const SUnit u = Decode(s, i);
    SFacetSpan facet;
    bool found = false;
    if ((u.c == 'h' || u.c == 'H') && !IsAsciiAlnum(previous)) {
      // A link may follow Chinese text or an emoji with no space between.
      if (StartsWithNoCase(s, i, "https://"))
        found = ReadLink(s, i, i + 8, facet);
      else if (StartsWithNoCase(s, i, "http://"))
        found = ReadLink(s, i, i + 7, facet);
    } else if ((u.c == '#' || u.c == 0xFF03) && IsSpace(previous)) {
      found = ReadTag(s, i, u.end, facet);
    } else if (u.c == '@' && (IsSpace(previous) || IsOpening(previous))) {
      found = ReadMention(s, i, facet);
    }
    if (found) {
      i = facet.byteEnd;
      previous = CodePointBefore(s, facet.byteEnd);
      facets.push_back(std::move(facet));
    } else {
      previous = u.c;
      i = u.end;
    }
  }
  return facets;
}

}  // namespace bluesky
