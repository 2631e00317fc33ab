// Text operations on service traffic: code-page conversion, percent-encoding and
// cutting single values out of form-encoded and JSON answers by plain search.
#pragma once
#include <string>

// Windows code-page numbers: 0 = the system ANSI code page (UTF-8 here, 65001),
// 65001 = UTF-8, 936 = GBK, and any other code page iconv knows ("CP<n>").
constexpr unsigned CP_ACP = 0;
constexpr unsigned CP_UTF8 = 65001;

// Converts text between code pages; what the target cannot hold becomes "?".
// Empty or unconvertible input gives "". The result ends at its first zero byte.
std::string ConvertCodePage(std::string source, unsigned from, unsigned to);

// Percent-encodes every byte outside the 73-character set
// 0-9 a-z A-Z $ - _ . + ! * ' ( ) ,  as %XX with upper-case hex.
std::string UrlEncode(std::string source);

// Value after the first "key=" up to the next "&" or the end; not decoded. "" if absent.
// codePage decides which bytes may start a match (double-byte aware for 936 etc.).
std::string GetQueryValue(std::string response, std::string key, unsigned codePage = CP_ACP);

// After the first key, then (if non-empty) the first skipTo, the text up to the next
// terminator. "" when any of them is missing.
std::string GetTextBetween(std::string response, std::string key, std::string skipTo,
                           std::string terminator, unsigned codePage = CP_ACP);

// True when text begins with prefix, letters compared without regard to case (prefix is
// given in lower case).
bool StartsWithNoCase(const std::string& text, const std::string& prefix);

// A host name, IPv4 or bracketed IPv6 address, with an optional ":port": only letters,
// digits and ". - _ : [ ]", and not empty.
bool IsHostText(const std::string& text);

// First occurrence of needle in hay at or after from, never starting on the trail byte
// of a double-byte character of codePage. npos when absent.
size_t FindText(const std::string& hay, const std::string& needle, size_t from,
                unsigned codePage = CP_ACP);
