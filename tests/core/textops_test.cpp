// Text operations: percent-encoding, value scanning of form and JSON answers, code-page
// conversion and double-byte-aware search.
#include "net/TextOps.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {
const std::string kZhongWenUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";  // 中文
const std::string kZhongWenGbk = "\xD6\xD0\xCE\xC4";
const std::string kEmojiUtf8 = "\xF0\x9F\x98\x80";  // not in GBK
}  // namespace

TEST(UrlEncode, KeepsExactlyTheSeventyThreeCharacters) {
  const std::string kept =
      "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ$-_.+!*'(),";
  ASSERT_EQ(kept.size(), 73u);
  EXPECT_EQ(UrlEncode(kept), kept);
  int escaped = 0;
  for (int b = 0; b < 256; ++b) {
    std::string one(1, static_cast<char>(b));
    if (kept.find(one) != std::string::npos) continue;
    char expected[4];
    std::snprintf(expected, sizeof expected, "%%%02X", b);
    EXPECT_EQ(UrlEncode(one), expected) << "byte " << b;
    ++escaped;
  }
  EXPECT_EQ(escaped, 256 - 73);
}

TEST(UrlEncode, TypicalStatusText) {
  EXPECT_EQ(UrlEncode("a b\r\n~\t(x),'y'"), "a%20b%0D%0A%7E%09(x),'y'");
  EXPECT_EQ(UrlEncode(kZhongWenUtf8), "%E4%B8%AD%E6%96%87");
  EXPECT_EQ(UrlEncode(""), "");
}

TEST(GetQueryValue, FormAnswers) {
  const std::string body = "oauth_token=abc&oauth_token_secret=def";
  EXPECT_EQ(GetQueryValue(body, "oauth_token"), "abc");
  EXPECT_EQ(GetQueryValue(body, "oauth_token_secret"), "def");
  EXPECT_EQ(GetQueryValue(body, "user_id"), "");
  EXPECT_EQ(GetQueryValue("a=1&user_id=", "user_id"), "");
  EXPECT_EQ(GetQueryValue("user_id=12345", "user_id"), "12345");
  EXPECT_EQ(GetQueryValue("name=a%20b+c&x=1", "name"), "a%20b+c") << "never decoded";
  // The key also matches at the end of a longer name; the first match wins.
  EXPECT_EQ(GetQueryValue("xuser_id=5&user_id=7", "user_id"), "5");
  EXPECT_EQ(GetQueryValue("a=1&&b=2", "b"), "2");
}

TEST(GetTextBetween, JsonMembers) {
  const std::string q = "\"";
  EXPECT_EQ(GetTextBetween("{\"msg\":\"ok\",\"ret\":0}", "\"msg\":", q, q), "ok");
  // A number value: the next quote is the start of the following member's name.
  EXPECT_EQ(GetTextBetween("{\"id\":12,\"name\":\"x\"}", "\"id\":", q, q), "name");
  // Flat search: the first occurrence at any depth wins; escapes end the value early.
  EXPECT_EQ(GetTextBetween("{\"user\":{\"name\":\"in\"},\"name\":\"out\"}", "\"name\":", q, q),
            "in");
  EXPECT_EQ(GetTextBetween("{\"text\":\"a\\\"b\"}", "\"text\":", q, q), "a\\");
  EXPECT_EQ(GetTextBetween("{\"msg\":\"ok\"}", "\"ret\":", q, q), "");
  EXPECT_EQ(GetTextBetween("{\"ret\":0}", "\"ret\":", q, q), "") << "no quote after the key";
  EXPECT_EQ(GetTextBetween("{\"msg\":\"unterminated", "\"msg\":", q, q), "");
  EXPECT_EQ(GetTextBetween("ret=0;rest", "ret=", "", ";"), "0") << "empty skipTo";
}

TEST(ConvertCodePage, BetweenUtf8AndGbk) {
  EXPECT_EQ(ConvertCodePage(kZhongWenUtf8, 65001, 936), kZhongWenGbk);
  EXPECT_EQ(ConvertCodePage(kZhongWenGbk, 936, 65001), kZhongWenUtf8);
  EXPECT_EQ(ConvertCodePage("a" + kEmojiUtf8 + "b", 65001, 936), "a?b");
  EXPECT_EQ(ConvertCodePage("", 65001, 936), "");
  EXPECT_EQ(ConvertCodePage("", 0, 65001), "");
}

TEST(ConvertCodePage, AnsiIsUtf8AndBadInputIsSurvived) {
  const std::string mixed = "ok " + kZhongWenUtf8 + " " + kEmojiUtf8;
  EXPECT_EQ(ConvertCodePage(mixed, CP_UTF8, CP_ACP), mixed);
  EXPECT_EQ(ConvertCodePage(std::string("ab\0cd", 5), CP_UTF8, CP_ACP), "ab")
      << "text ends at the first zero byte";
  // Invalid bytes become the replacement character; the rest converts.
  EXPECT_EQ(ConvertCodePage("a\xFF"
                            "b",
                            CP_UTF8, CP_ACP),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(ConvertCodePage("a\xE4\xB8", CP_UTF8, 936), "a??");
  EXPECT_EQ(ConvertCodePage("\xD6", 936, CP_UTF8), "\xEF\xBF\xBD") << "cut-off lead byte";
  EXPECT_EQ(ConvertCodePage("abc", 12345, CP_UTF8), "") << "unknown code page";
  EXPECT_EQ(ConvertCodePage("caf\xC3\xA9", CP_UTF8, 1252), "caf\xE9");
}

TEST(FindText, NeverStartsOnATrailByteOfCodePage936) {
  // 0x81 0x61 is one GBK character whose second byte looks like "a".
  const std::string body =
      "\x81"
      "a=x&a=y";
  EXPECT_EQ(GetQueryValue(body, "a", 936), "y");
  EXPECT_EQ(GetQueryValue(body, "a", CP_ACP), "x");
  EXPECT_EQ(FindText(body, "a", 0, 936), 5u);
  EXPECT_EQ(FindText(body, "a", 2, 936), 5u);
  EXPECT_EQ(FindText("\xB1\xED"
                     "\xED",
                     "\xED", 0, 936),
            2u);
  EXPECT_EQ(FindText("ab\x81", "\x81", 0, 936), 2u) << "a lone lead byte at the end";
  EXPECT_EQ(FindText("abc", "", 1, 936), 1u);
  EXPECT_EQ(FindText("abc", "x", 5, 936), std::string::npos);
  EXPECT_EQ(GetTextBetween("\x81\x61\"k\":\"v\"", "\"k\":", "\"", "\"", 936), "v");
  // A lead byte always takes the next byte with it, as the platform's character
  // stepping does, even when that byte is not a valid second byte.
  EXPECT_EQ(FindText("\x81\"k", "\"", 0, 936), std::string::npos);
}
