// Pictures picked for a post: the type from the signature, the size from the header, and
// the scaling down of a picture over a byte limit, turned upright as its camera said.
#include "services/Picture.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// Bytes of a literal, zeros included.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

void Put(std::string& b, std::uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b += char(v >> (8 * i) & 0xff);
}

// A 24-bit BMP of noise, the worst case for JPEG: w*h*3 bytes and a header.
std::string NoiseBmp(int w, int h) {
  const std::uint32_t row = (w * 3 + 3) / 4 * 4;
  std::string b = "BM";
  Put(b, 54 + row * h, 4), Put(b, 0, 4), Put(b, 54, 4), Put(b, 40, 4), Put(b, w, 4), Put(b, h, 4);
  Put(b, 1, 2), Put(b, 24, 2), Put(b, 0, 4), Put(b, row * h, 4), Put(b, 2835, 4), Put(b, 2835, 4);
  Put(b, 0, 8);
  std::mt19937 random(7);
  for (std::uint32_t i = 0; i < row * h; ++i) b += char(random());
  return b;
}

TEST(Picture, TypeComesFromTheSignature) {
  const struct {
    std::string bytes;
    const char* mime;
  } cases[] = {
      {"\xff\xd8\xff\xe0", "image/jpeg"},
      {"\x89PNG\r\n\x1a\n", "image/png"},
      {"GIF87a", "image/gif"},
      {"GIF89a", "image/gif"},
      {Bytes("RIFF\x10\0\0\0WEBPVP8 "), "image/webp"},
      {Bytes("RIFF\x10\0\0\0WAVEfmt "), ""},
      {NoiseBmp(2, 2), "image/bmp"},
      {"BM", ""},
      {"<html>", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(PictureType(c.bytes), c.mime) << c.bytes;
}

TEST(Picture, ReadsTheSizeOrSaysWhyNot) {
  std::string webp = Bytes("RIFF\0\0\0\0WEBPVP8X\x0a\0\0\0\0\0\0\0");
  Put(webp, 999, 3), Put(webp, 799, 3);
  std::string huge = NoiseBmp(2, 2);
  huge.replace(18, 8, Bytes("\x30\x75\0\0\x30\x75\0\0"));  // 30000 x 30000
  const struct {
    std::string bytes;
    bool ok;
    const char* what;  // the type, or the reason
    int width, height;
  } cases[] = {
      {NoiseBmp(40, 30), true, "image/bmp", 40, 30},
      {webp, true, "image/webp", 1000, 800},
      {"just some text", false, "不是图片文件", 0, 0},
      {"\x89PNG\r\n\x1a\n" + std::string(40, 'x'), false, "图片无法解码", 0, 0},
      {huge, false, "图片尺寸过大", 0, 0},
      // A Huffman table of more than 256 codes, which would overrun the decoder's tables.
      {Bytes("\xff\xd8\xff\xc4\0\x13\0") + std::string(16, '\xff'), false, "图片无法解码", 0, 0},
  };
  for (const auto& c : cases) {
    SPicture picture;
    std::string why;
    ASSERT_EQ(ReadPicture(c.bytes, picture, why), c.ok) << c.what;
    EXPECT_EQ(c.ok ? picture.mime : why, c.what);
    EXPECT_EQ(picture.width, c.width);
    EXPECT_EQ(picture.height, c.height);
  }
}

TEST(Picture, ShrinksABigPictureBelowTheLimit) {
  SPicture picture;
  std::string why;
  ASSERT_TRUE(ReadPicture(NoiseBmp(1200, 900), picture, why));
  ASSERT_GT(picture.bytes.size(), 3'000'000u);
  ASSERT_TRUE(ShrinkPicture(picture, 1'000'000, why)) << why;
  EXPECT_LE(picture.bytes.size(), 1'000'000u);
  SPicture again;
  ASSERT_TRUE(ReadPicture(picture.bytes, again, why));
  EXPECT_EQ(again.mime, "image/jpeg");
  EXPECT_EQ(again.width, picture.width);
  EXPECT_NEAR(double(picture.width) / picture.height, 4.0 / 3, 0.02);

  // A photo taken with the camera on its side (EXIF orientation 6) comes out upright.
  const std::string exif = Bytes(
      "\xff\xe1\0\x22"
      "Exif\0\0"
      "II\x2a\0\x08\0\0\0"
      "\x01\0"  // one entry in IFD0:
      "\x12\x01\x03\0\x01\0\0\0\x06\0\0\0"
      "\0\0\0\0");  // orientation 6
  std::string turned = picture.bytes;
  turned.insert(2, exif);
  ASSERT_TRUE(ReadPicture(turned, again, why));
  EXPECT_EQ(again.width, picture.height);
  ASSERT_TRUE(ShrinkPicture(again, turned.size() - 1, why)) << why;
  EXPECT_LT(again.width, again.height);
}

TEST(Picture, LeavesSmallPicturesAndRefusesWhatCannotFit) {
  SPicture small{"image/bmp", 4, 4, NoiseBmp(4, 4)};
  const std::string before = small.bytes;
  std::string why;
  EXPECT_TRUE(ShrinkPicture(small, 1'000'000, why));
  EXPECT_EQ(small.bytes, before);
  EXPECT_EQ(small.mime, "image/bmp");

  SPicture text{"", 0, 0, std::string(2'000'000, 'x')};
  EXPECT_FALSE(ShrinkPicture(text, 1'000'000, why));
  EXPECT_EQ(why, "不是图片文件");

  SPicture big{"image/bmp", 300, 300, NoiseBmp(300, 300)};
  why.clear();
  EXPECT_FALSE(ShrinkPicture(big, 200, why));  // not even one pixel of JPEG is that small
  EXPECT_NE(why.find("200"), std::string::npos);
}

}  // namespace
