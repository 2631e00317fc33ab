// Bluesky's text rules: grapheme counts, and the facets found in a text with their UTF-8
// byte ranges, after Chinese text and emoji, around punctuation and in broken UTF-8 (that
// facets stay inside any bytes at all is fuzz/bluesky_text_fuzz.cpp's to show).
#include <gtest/gtest.h>

#include "services/BlueskyText.h"

namespace {

using bluesky::CountGraphemes;
using bluesky::FindFacets;
using EKind = bluesky::SFacetSpan::EKind;

TEST(BlueskyText, CountsGraphemeClusters) {
  const struct {
    const char* text;
    std::size_t graphemes;
  } cases[] = {
      {"", 0},
      {"hello", 5},
      {"中文字", 3},
      {"\U0001F44D\U0001F3FD", 1},                                        // thumbs up, skin tone
      {"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466", 1},  // family (ZWJ)
      {"\U0001F1E8\U0001F1F3\U0001F1EF\U0001F1F5", 2},                    // two flags
      {"e\u0301a\u0308\u0323", 2},                                        // combining marks
      {"\r\n", 1},
      {"\xff\xfe", 2},   // each bad byte is one
      {"a\xe4\xb8", 3},  // a cut sequence too
  };
  for (const auto& c : cases) EXPECT_EQ(CountGraphemes(c.text), c.graphemes) << c.text;
}

std::string Describe(const std::vector<bluesky::SFacetSpan>& facets) {
  std::string out;
  for (const auto& f : facets) {
    const char* kind = f.kind == EKind::Link ? "link" : f.kind == EKind::Tag ? "tag" : "mention";
    out += std::string(out.empty() ? "" : " ") + kind + "[" + std::to_string(f.byteStart) + "," +
           std::to_string(f.byteEnd) + ")=" + f.value;
  }
  return out;
}

TEST(BlueskyText, FindsLinksTagsAndMentions) {
  const struct {
    std::string text;
    std::string facets;
  } cases[] = {
      {"看这个https://example.com/a?b=1 很好", "link[9,34)=https://example.com/a?b=1"},
      {"\U0001F600https://a.example/x", "link[4,23)=https://a.example/x"},
      {"http://a.com 和 HTTPS://b.org/路径",
       "link[0,12)=http://a.com link[17,37)=HTTPS://b.org/路径"},
      {"see https://a.com/x. (https://b.com/y) https://c.com/?!",
       "link[4,19)=https://a.com/x link[22,37)=https://b.com/y link[39,53)=https://c.com/"},
      {"https://en.wikipedia.org/wiki/F_(b)", "link[0,35)=https://en.wikipedia.org/wiki/F_(b)"},
      {"链接https://a.com，后面\U0001F600https://b.com\U0001F600",
       "link[6,19)=https://a.com link[32,45)=https://b.com"},
      {"https:// http:///x xhttps://a.com", ""},
      {"#标签 #tag1 #123 a#b #tag. ＃全角，好 #c++ #️⃣",
       "tag[0,7)=标签 tag[8,13)=tag1 tag[23,27)=tag "
       "tag[29,38)=全角 tag[45,49)=c++"},
      {"#" + std::string(64, 'a') + " #" + std::string(65, 'b'),
       "tag[0,65)=" + std::string(64, 'a')},
      {"@alice.bsky.social 你好 (@Bob.Example.COM) @carol.example.",
       "mention[0,18)=alice.bsky.social "
       "mention[27,43)=bob.example.com mention[45,59)=carol.example"},
      {"mail@a.com @alice @a.123 @-bad.com @a..b.com @al_ice.com @a.com@b.com @" +
           std::string(64, 'x') + ".com",
       ""},
      {"\xff https://a.com\xe4\xb8 #t\xff @x.com\xff",
       "link[2,15)=https://a.com tag[18,20)=t mention[22,28)=x.com"},
  };
  for (const auto& c : cases) EXPECT_EQ(Describe(FindFacets(c.text)), c.facets) << c.text;
}

}  // namespace
