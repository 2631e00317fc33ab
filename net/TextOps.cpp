// Code-page conversion over iconv, percent-encoding, and the double-byte-aware plain
// searches that cut values out of service answers.
#include "net/TextOps.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

#include "qwblog/OAuth.h"

namespace {

// The iconv name of a Windows code page; the ANSI code page here is UTF-8.
std::string IconvName(unsigned codePage) {
  switch (codePage) {
    case CP_ACP:
    case CP_UTF8:
      return "UTF-8";
    case 936:
      return "GBK";
    case 20127:
      return "ASCII";
    case 20932:
      return "EUC-JP";
    case 20936:
      return "GB2312";
    case 51949:
      return "EUC-KR";
    case 54936:
      return "GB18030";
    case 65000:
      return "UTF-7";
    default:
      break;
  }
  if (codePage >= 28591 && codePage <= 28606) return "ISO-8859-" + std::to_string(codePage - 28590);
  return "CP" + std::to_string(codePage);
}

// Code pages whose characters take one or two bytes, and the lead bytes of the latter.
bool IsLeadByte(unsigned codePage, unsigned char byte) {
  switch (codePage) {
    case 932:
      return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
    case 1361:
    case 20936:
    case 54936:
      return byte >= 0x81 && byte <= 0xFE;
    default:
      return false;
  }
}

bool IsDoubleByte(unsigned codePage) { return IsLeadByte(codePage, 0x81); }

class CIconv {
 public:
  CIconv(const std::string& to, const std::string& from)
      : m_cd(iconv_open(to.c_str(), from.c_str())) {}
  ~CIconv() {
    if (Ok()) iconv_close(m_cd);
  }
  CIconv(const CIconv&) = delete;
  CIconv& operator=(const CIconv&) = delete;
  bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
  iconv_t Get() const { return m_cd; }

 private:
  iconv_t m_cd;
};

constexpr uint32_t kReplacementChar = 0xFFFD;

void AppendUnit(std::string& out, uint32_t unit) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((unit >> (8 * i)) & 0xFF));
}

// Runs cd over source, appending to result. At input it cannot convert, replacement is
// appended and skip bytes of input are passed over (fewer at the end); a decoder then
// starts afresh (resetState), an encoder keeps its shift state.
void Convert(CIconv& cd, const std::string& source, std::string& result,
             const std::string& replacement, size_t skip, bool resetState) {
  char* in = const_cast<char*>(source.data());
  size_t inLeft = source.size();
  std::string buffer(4096, '\0');
  while (inLeft > 0) {
    char* out = buffer.data();
    size_t outLeft = buffer.size();
    size_t r = iconv(cd.Get(), &in, &inLeft, &out, &outLeft);
    result.append(buffer.data(), buffer.size() - outLeft);
    if (r != static_cast<size_t>(-1) || errno == E2BIG) continue;
    result += replacement;
    const size_t passed = inLeft < skip ? inLeft : skip;
    in += passed;
    inLeft -= passed;
    if (resetState) iconv(cd.Get(), nullptr, nullptr, nullptr, nullptr);
  }
}

// Decodes text of code page "from" into UTF-32LE. A byte sequence that is not valid
// (EILSEQ, or EINVAL: cut off at the end) becomes U+FFFD, one byte at a time, the way
// the platform's decoder treats it. false: unknown code page.
bool Decode(const std::string& source, const std::string& from, std::string& units) {
  CIconv cd("UTF-32LE", from);
  if (!cd.Ok()) return false;
  std::string replacement;
  AppendUnit(replacement, kReplacementChar);
  Convert(cd, source, units, replacement, 1, true);
  return true;
}

// Encodes UTF-32LE into code page "to"; a character the target lacks becomes "?".
bool Encode(const std::string& units, const std::string& to, std::string& result) {
  CIconv cd(to, "UTF-32LE");
  if (!cd.Ok()) return false;
  Convert(cd, units, result, "?", 4, false);
  // Flush the shift state of stateful targets.
  std::string buffer(4096, '\0');
  char* out = buffer.data();
  size_t outLeft = buffer.size();
  iconv(cd.Get(), nullptr, nullptr, &out, &outLeft);
  result.append(buffer.data(), buffer.size() - outLeft);
  return true;
}

const char kUrlSafe[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ$-_.+!*'(),";

}  // namespace

std::string ConvertCodePage(std::string source, unsigned from, unsigned to) {
  // The source ends at its first zero byte, as a terminated text does.
  source = source.substr(0, source.find('\0'));
  if (source.empty()) return {};
  std::string units;
  std::string result;
  if (!Decode(source, IconvName(from), units) || !Encode(units, IconvName(to), result)) return {};
  size_t zero = result.find('\0');
  if (zero != std::string::npos) result.resize(zero);
  return result;
}

std::string UrlEncode(std::string source) {
  static const qwblog::ByteSet kKeep = qwblog::MakeByteSet(kUrlSafe);
  std::string result;
  result.reserve(source.size() * 3);
  qwblog::AppendPercentEncoded(result, source, kKeep);
  return result;
}

size_t FindText(const std::string& hay, const std::string& needle, size_t from, unsigned codePage) {
  if (from > hay.size()) return std::string::npos;
  if (!IsDoubleByte(codePage)) return hay.find(needle, from);
  // Walk character by character from the start so that trail bytes are known.
  size_t i = 0;
  while (i <= hay.size()) {
    if (i >= from && hay.compare(i, needle.size(), needle) == 0) return i;
    if (i == hay.size()) break;
    bool lead = IsLeadByte(codePage, static_cast<unsigned char>(hay[i])) && i + 1 < hay.size();
    i += lead ? 2 : 1;
  }
  return std::string::npos;
}

std::string GetQueryValue(std::string response, std::string key, unsigned codePage) {
  size_t found = FindText(response, key + "=", 0, codePage);
  if (found == std::string::npos) return {};
  size_t start = found + key.size() + 1;
  size_t amp = FindText(response, "&", start, codePage);
  if (amp == std::string::npos) return response.substr(start);
  return response.substr(start, amp - start);
}

std::string GetTextBetween(std::string response, std::string key, std::string skipTo,
                           std::string terminator, unsigned codePage) {
  size_t pos = FindText(response, key, 0, codePage);
  if (pos == std::string::npos) return {};
  pos += key.size();
  if (!skipTo.empty()) {
    pos = FindText(response, skipTo, pos, codePage);
    if (pos == std::string::npos) return {};
    pos += skipTo.size();
  }
  size_t end = FindText(response, terminator, pos, codePage);
  if (end == std::string::npos) return {};
  return response.substr(pos, end - pos);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

bool IsHostText(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '-' || c == '_' || c == ':' || c == '[' || c == ']';
    if (!ok) return false;
  }
  return true;
}
