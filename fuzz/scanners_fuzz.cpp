// The plain-search scanners that cut values out of service answers, and the JSON
// counter reader: any answer is scanned without fault, and what they find is really there.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "net/TextOps.h"
#include "services/Readers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  static const unsigned kPages[] = {CP_ACP, 936, 932, 949};
  const unsigned page = kPages[in.ConsumeIntegralInRange<size_t>(0, 3)];
  const std::string key = in.ConsumeRandomLengthString(16);
  const std::string skip = in.ConsumeRandomLengthString(8);
  const std::string term = in.ConsumeRandomLengthString(8);
  const size_t from = in.ConsumeIntegralInRange<size_t>(0, 4096);
  const std::string answer = in.ConsumeRemainingBytesAsString();

  const size_t at = FindText(answer, key, from, page);
  if (at != std::string::npos && (at < from || answer.compare(at, key.size(), key) != 0))
    std::abort();
  if (page == CP_ACP && at != answer.find(key, from)) std::abort();

  const std::string value = GetQueryValue(answer, key, page);
  if (!value.empty() && answer.find(key + "=" + value) == std::string::npos) std::abort();
  if (page == CP_ACP && value.find('&') != std::string::npos) std::abort();

  const std::string between = GetTextBetween(answer, key, skip, term, page);
  if (!between.empty() && answer.find(between) == std::string::npos) std::abort();

  const int count = ReadJsonCount(answer, key);
  if (count < -1 && answer.find('-') == std::string::npos) std::abort();
  return 0;
}
