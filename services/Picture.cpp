// Pictures without a window toolkit: the type from the file's signature, the size from
// its header, and scaling down to JPEG with stb's decoder, resizer and encoder, compiled
// into this file alone (static functions, so they clash with no other copy) and limited to
// the formats a user picks for a post.
#include "services/Picture.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_MAX_DIMENSIONS 20000
#include "stb_image.h"

#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include "stb_image_resize.h"

#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STBI_WRITE_NO_STDIO
#include "stb_image_write.h"

namespace {

const char* const kNotPicture = "不是图片文件";
const char* const kUndecodable = "图片无法解码";
const char* const kTooManyPixels = "图片尺寸过大";
const char* const kCannotFit = "图片无法缩小到大小限制(字节)以内:";

// Pictures beyond this are damaged or hostile: decoding one would take gigabytes.
constexpr long long kMaxSide = STBI_MAX_DIMENSIONS;
constexpr long long kMaxPixels = 100'000'000;
constexpr int kMaxRounds = 8;
constexpr int kFirstQuality = 85;
constexpr int kLowestQuality = 50;

std::uint32_t Le16(const std::string& b, std::size_t at) {
  return std::uint8_t(b[at]) | std::uint32_t(std::uint8_t(b[at + 1])) << 8;
}
std::uint32_t Le24(const std::string& b, std::size_t at) {
  return Le16(b, at) | std::uint32_t(std::uint8_t(b[at + 2])) << 16;
}
std::uint32_t Le32(const std::string& b, std::size_t at) {
  return Le16(b, at) | Le16(b, at + 2) << 16;
}

// WebP is only measured, never decoded: its size is in the first chunk's header, whichever
// of the three kinds (lossy, lossless, extended) it is.
bool WebpSize(const std::string& b, int& width, int& height) {
  if (b.size() < 30) return false;
  const std::string chunk = b.substr(12, 4);
  if (chunk == "VP8 ") {
    if (std::uint8_t(b[23]) != 0x9d || std::uint8_t(b[24]) != 0x01 || std::uint8_t(b[25]) != 0x2a)
      return false;
    width = int(Le16(b, 26) & 0x3fff);
    height = int(Le16(b, 28) & 0x3fff);
  } else if (chunk == "VP8L") {
    if (std::uint8_t(b[20]) != 0x2f) return false;
    const std::uint32_t bits = Le32(b, 21);
    width = int(bits & 0x3fff) + 1;
    height = int((bits >> 14) & 0x3fff) + 1;
  } else if (chunk == "VP8X") {
    width = int(Le24(b, 24)) + 1;
    height = int(Le24(b, 27)) + 1;
  } else {
    return false;
  }
  return width > 0 && height > 0;
}

// The EXIF orientation of a JPEG (1 to 8; 1 where there is none): how a camera that was
// held on its side wants the picture turned. stb ignores it, so a picture re-encoded
// without applying it would lie on its side.
int JpegOrientation(const std::string& b) {
  std::size_t at = 2;
  while (at + 4 <= b.size() && std::uint8_t(b[at]) == 0xff) {
    const std::uint8_t marker = std::uint8_t(b[at + 1]);
    const std::size_t length = std::size_t(std::uint8_t(b[at + 2])) << 8 | std::uint8_t(b[at + 3]);
    if (marker == 0xda || length < 2 || at + 2 + length > b.size()) return 1;  // image data
    if (marker == 0xe1 && length >= 16 && b.compare(at + 4, 6, std::string("Exif\0\0", 6)) == 0) {
      const std::string tiff = b.substr(at + 10, length - 8);
      const bool little = tiff.compare(0, 2, "II") == 0;
      if (!little && tiff.compare(0, 2, "MM") != 0) return 1;
      auto u16 = [&](std::size_t p) -> std::uint32_t {
        if (p + 2 > tiff.size()) return 0;
        return little ? Le16(tiff, p)
                      : std::uint32_t(std::uint8_t(tiff[p])) << 8 | std::uint8_t(tiff[p + 1]);
      };
      auto u32 = [&](std::size_t p) -> std::uint32_t {
        return little ? u16(p) | u16(p + 2) << 16 : u16(p) << 16 | u16(p + 2);
      };
      const std::size_t ifd = u32(4);
      const std::size_t entries = u16(ifd);
      for (std::size_t i = 0; i < entries && ifd + 2 + 12 * (i + 1) <= tiff.size(); ++i) {
        const std::size_t entry = ifd + 2 + 12 * i;
        if (u16(entry) == 0x0112) {
          const int orientation = int(u16(entry + 8));
          return orientation >= 1 && orientation <= 8 ? orientation : 1;
        }
      }
      return 1;
    }
    at += 2 + length;
  }
  return 1;
}

// Whether every Huffman table of a JPEG holds at most 256 codes. stb_image (as Debian 12
// ships it) does not check that, and writes past its tables for one that holds more, so a
// damaged or hostile file is turned away here first. The walk reads the file as stb does:
// segments by their lengths, the tables of a DHT one after another (even past its stated
// length, as stb reads them), and anything else byte by byte up to the next marker, which
// also covers the compressed data between the scans of a progressive JPEG.
bool JpegTablesFit(const std::string& b) {
  auto byte = [&](std::size_t p) -> unsigned { return p < b.size() ? std::uint8_t(b[p]) : 0; };
  std::size_t at = 2;
  while (at + 1 < b.size()) {
    if (byte(at) != 0xff) {
      ++at;
      continue;
    }
    while (at + 1 < b.size() && byte(at + 1) == 0xff) ++at;
    const unsigned marker = byte(at + 1);
    at += 2;
    // Stuffed bytes, restart markers and the markers without a length carry no table.
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xd0 && marker <= 0xd9)) continue;
    const std::size_t length = byte(at) << 8 | byte(at + 1);
    if (marker == 0xc4) {
      std::size_t table = at + 2;
      for (long left = long(length) - 2; left > 0 && table < b.size();) {
        std::size_t codes = 0;
        for (int i = 1; i <= 16; ++i) codes += byte(table + i);
        if (codes > 256) return false;
        table += 17 + codes;
        left -= long(17 + codes);
      }
    }
    at += std::max<std::size_t>(length, 2);
  }
  return true;
}

// The pixels turned as the orientation says; 5 to 8 swap width and height.
std::vector<unsigned char> Orient(const unsigned char* src, int w, int h, int orientation,
                                  int& outW, int& outH) {
  const bool swap = orientation >= 5;
  outW = swap ? h : w;
  outH = swap ? w : h;
  std::vector<unsigned char> out(std::size_t(w) * h * 3);
  for (int y = 0; y < outH; ++y) {
    for (int x = 0; x < outW; ++x) {
      int sx = x, sy = y;
      switch (orientation) {
        case 2:
          sx = w - 1 - x;
          break;
        case 3:
          sx = w - 1 - x, sy = h - 1 - y;
          break;
        case 4:
          sy = h - 1 - y;
          break;
        case 5:
          sx = y, sy = x;
          break;
        case 6:
          sx = y, sy = h - 1 - x;
          break;
        case 7:
          sx = w - 1 - y, sy = h - 1 - x;
          break;
        case 8:
          sx = w - 1 - y, sy = x;
          break;
        default:
          break;
      }
      std::copy_n(src + (std::size_t(sy) * w + sx) * 3, 3,
                  out.data() + (std::size_t(y) * outW + x) * 3);
    }
  }
  return out;
}

// Transparent pixels become white, as a picture with transparency looks on a white page;
// the result is packed as RGB in the same buffer.
void OntoWhite(unsigned char* rgba, std::size_t pixels) {
  for (std::size_t i = 0; i < pixels; ++i) {
    const unsigned alpha = rgba[i * 4 + 3];
    for (int c = 0; c < 3; ++c)
      rgba[i * 3 + c] =
          static_cast<unsigned char>((rgba[i * 4 + c] * alpha + 255 * (255 - alpha) + 127) / 255);
  }
}

void AppendTo(void* context, void* data, int size) {
  static_cast<std::string*>(context)->append(static_cast<const char*>(data), std::size_t(size));
}

std::string CannotFit(std::size_t maxBytes) { return kCannotFit + std::to_string(maxBytes); }

}  // namespace

std::string PictureType(const std::string& b) {
  auto starts = [&](const char* magic, std::size_t n) { return b.compare(0, n, magic, n) == 0; };
  if (starts("\xff\xd8\xff", 3)) return "image/jpeg";
  if (starts("\x89PNG\r\n\x1a\n", 8)) return "image/png";
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return "image/gif";
  if (b.size() >= 16 && starts("RIFF", 4) && b.compare(8, 4, "WEBP") == 0) return "image/webp";
  if (b.size() >= 26 && starts("BM", 2)) return "image/bmp";
  return "";
}

bool ReadPicture(const std::string& bytes, SPicture& picture, std::string& why) {
  const std::string mime = PictureType(bytes);
  if (mime.empty()) {
    why = kNotPicture;
    return false;
  }
  int width = 0, height = 0, components = 0;
  if (mime == "image/jpeg" && !JpegTablesFit(bytes)) {
    why = kUndecodable;
    return false;
  }
  if (mime == "image/webp") {
    if (!WebpSize(bytes, width, height)) {
      why = kUndecodable;
      return false;
    }
  } else if (bytes.size() > INT_MAX ||
             !stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()),
                                    int(bytes.size()), &width, &height, &components) ||
             width <= 0 || height <= 0) {
    // stb refuses a side over its limit as it does a damaged header; say which it was.
    const char* reason = bytes.size() > INT_MAX ? "too large" : stbi_failure_reason();
    why = reason && std::string(reason) == "too large" ? kTooManyPixels : kUndecodable;
    return false;
  }
  if (width > kMaxSide || height > kMaxSide || (long long)width * height > kMaxPixels) {
    why = kTooManyPixels;
    return false;
  }
  if (mime == "image/jpeg" && JpegOrientation(bytes) >= 5) std::swap(width, height);
  picture.mime = mime;
  picture.width = width;
  picture.height = height;
  picture.bytes = bytes;
  return true;
}

bool ShrinkPicture(SPicture& picture, std::size_t maxBytes, std::string& why) {
  if (picture.bytes.size() <= maxBytes) return true;
  SPicture read;
  if (!ReadPicture(picture.bytes, read, why)) return false;
  if (read.mime == "image/webp") {  // measured, but not decoded here
    why = CannotFit(maxBytes);
    return false;
  }
  const std::string& bytes = picture.bytes;
  int w = 0, h = 0, components = 0;
  stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), int(bytes.size()), &w, &h,
                        &components);
  const bool alpha = components == 2 || components == 4;
  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), int(bytes.size()), &w,
                            &h, &components, alpha ? 4 : 3),
      stbi_image_free);
  if (!pixels || w <= 0 || h <= 0) {
    why = kUndecodable;
    return false;
  }
  if (alpha) OntoWhite(pixels.get(), std::size_t(w) * h);
  const int orientation = read.mime == "image/jpeg" ? JpegOrientation(bytes) : 1;

  // JPEG's bytes grow with the pixels, so the first try scales the area by the byte ratio;
  // each further round corrects by the ratio it missed by, and gives up some quality.
  double scale = std::min(1.0, std::sqrt(0.9 * double(maxBytes) / double(bytes.size())));
  int quality = kFirstQuality;
  std::vector<unsigned char> resized;
  for (int round = 0; round < kMaxRounds; ++round) {
    const int nw = std::max(1, int(std::lround(w * scale)));
    const int nh = std::max(1, int(std::lround(h * scale)));
    const unsigned char* rgb = pixels.get();
    if (nw != w || nh != h) {
      resized.resize(std::size_t(nw) * nh * 3);
      if (!stbir_resize_uint8(pixels.get(), w, h, 0, resized.data(), nw, nh, 0, 3)) {
        why = kUndecodable;
        return false;
      }
      rgb = resized.data();
    }
    int ow = nw, oh = nh;
    std::vector<unsigned char> turned;
    if (orientation != 1) {
      turned = Orient(rgb, nw, nh, orientation, ow, oh);
      rgb = turned.data();
    }
    std::string jpeg;
    stbi_write_jpg_to_func(AppendTo, &jpeg, ow, oh, 3, rgb, quality);
    if (!jpeg.empty() && jpeg.size() <= maxBytes) {
      picture = {"image/jpeg", ow, oh, std::move(jpeg)};
      return true;
    }
    if (jpeg.empty() || (nw == 1 && nh == 1)) break;
    scale *= std::clamp(0.95 * std::sqrt(double(maxBytes) / double(jpeg.size())), 0.1, 0.9);
    quality = std::max(kLowestQuality, quality - 10);
  }
  why = CannotFit(maxBytes);
  return false;
}
