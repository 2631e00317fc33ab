// Pictures from any bytes: reading and scaling down end in a picture or a reason, and a
// scaled picture is a JPEG within the limit whose size is what was reported.
#include <cstdlib>
#include <string>

#include "services/Picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  SPicture picture;
  std::string why;
  if (!ReadPicture(bytes, picture, why)) {
    if (why.empty()) std::abort();
    return 0;
  }
  if (picture.width <= 0 || picture.height <= 0) std::abort();
  // Big pictures decode correctly but slowly; the small ones reach the same code.
  if (static_cast<long long>(picture.width) * picture.height > 40000) return 0;
  const std::size_t limit = size / 2;
  if (!ShrinkPicture(picture, limit, why)) {
    if (why.empty()) std::abort();
    return 0;
  }
  SPicture again;
  if (picture.bytes.size() > limit || !ReadPicture(picture.bytes, again, why) ||
      again.mime != "image/jpeg" || again.width != picture.width || again.height != picture.height)
    std::abort();
  return 0;
}
