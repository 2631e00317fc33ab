// The settings reader and writer: any text is parsed without fault, and a value written
// with IniSetValue reads back (cleaned and trimmed) while another key keeps its value.
// Any bytes that decode as text are encoded back to the same bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "settings/Ini.h"

namespace {

// What IniGetValue gives back for a value written by IniSetValue: cut at the first zero
// byte, CR and LF as blanks, surrounding blanks removed.
std::string Expected(std::string value) {
  value = value.substr(0, value.find('\0'));
  for (char& c : value) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  size_t b = value.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = value.find_last_not_of(" \t");
  return value.substr(b, e - b + 1);
}

// Keys and section names as the program uses them: letters and digits only.
std::string Name(FuzzedDataProvider& in) {
  std::string name = in.ConsumeRandomLengthString(12);
  std::string out;
  for (char c : name) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) out += c;
  }
  return out.empty() ? std::string("K") : out;
}

bool SameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string section = Name(in);
  const std::string key = Name(in);
  const std::string other = Name(in);
  const std::string value = in.ConsumeRandomLengthString(64);
  const std::string text = in.ConsumeRemainingBytesAsString();

  // A file is written back in the encoding it came in, byte for byte.
  std::string decoded;
  EIniEncoding encoding;
  if (IniDecode(text, decoded, encoding) && IniEncode(decoded, encoding) != text) std::abort();

  IniParseInt(text);
  const auto before = IniGetValue(text, section, other);
  const std::string written = IniSetValue(text, section, key, value);
  const auto readBack = IniGetValue(written, section, key);
  if (!readBack || *readBack != Expected(value)) std::abort();
  if (!SameNoCase(key, other) && IniGetValue(written, section, other) != before) std::abort();
  // Writing the same value again changes nothing.
  if (IniSetValue(written, section, key, value) != written) std::abort();
  return 0;
}
