// URL and OAuth wire encoding: percent- and form-encoding round trips, URL parsing, and
// whole signed requests built from arbitrary URLs and parameters, whose header and URL
// can never carry a line break or a blank.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <string>

#include "net/TextOps.h"
#include "qwblog/OAuth.h"
#include "qwblog/WireRequest.h"

using namespace qwblog;

namespace {
bool HasBreakOrBlank(const std::string& s) {
  return s.find_first_of(std::string("\r\n \0", 4)) != std::string::npos;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string url = in.ConsumeRandomLengthString(128);
  const bool post = in.ConsumeBool();
  ParamList pairs;
  CWeiboParam params;
  const int count = in.ConsumeIntegralInRange<int>(0, 6);
  for (int i = 0; i < count; ++i) {
    std::string name = in.ConsumeRandomLengthString(16);
    std::string value = in.ConsumeRandomLengthString(32);
    pairs.emplace_back(name, value);
    params.AddParam(name.c_str(), value.c_str());
  }
  const std::string rest = in.ConsumeRemainingBytesAsString();

  if (PercentDecode(PercentEncode(rest), false) != rest) std::abort();
  if (ParseFormEncoded(FormEncode(pairs)) != pairs) std::abort();
  const std::string legacy = UrlEncode(rest);
  if (legacy.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                               "$-_.+!*'(),%") != std::string::npos)
    std::abort();
  ParseFormEncoded(rest);

  ParsedUrl parsed;
  if (ParseUrl(rest, parsed)) BaseStringUri(parsed);

  WireRequest wire;
  if (BuildWireRequest(url.c_str(), post ? EHttpMethod_Post : EHttpMethod_Get, params, wire,
                       "nonce", "1300000000", "boundary") == HTTP_RESULT_OK) {
    if (HasBreakOrBlank(wire.url)) std::abort();
    if (wire.authorization.find_first_of("\r\n") != std::string::npos) std::abort();
  }
  return 0;
}
