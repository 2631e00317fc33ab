// Code-page conversion of arbitrary bytes between the code pages the program meets:
// no fault, no zero byte in a result, and valid UTF-8 survives a UTF-8 round trip.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "net/TextOps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  static const unsigned kPages[] = {CP_ACP, CP_UTF8, 936, 54936, 932, 1252, 20127, 65000};
  const unsigned from = kPages[in.ConsumeIntegralInRange<size_t>(0, 7)];
  const unsigned to = kPages[in.ConsumeIntegralInRange<size_t>(0, 7)];
  const std::string text = in.ConsumeRemainingBytesAsString();

  const std::string converted = ConvertCodePage(text, from, to);
  if (converted.find('\0') != std::string::npos) std::abort();

  // UTF-8 to UTF-8 replaces bad sequences; a second pass changes nothing.
  const std::string clean = ConvertCodePage(text, CP_UTF8, CP_ACP);
  if (ConvertCodePage(clean, CP_ACP, CP_UTF8) != clean) std::abort();
  // GB18030 holds every Unicode character: the round trip through it is exact.
  if (ConvertCodePage(ConvertCodePage(clean, CP_UTF8, 54936), 54936, CP_UTF8) != clean)
    std::abort();
  return 0;
}
