// A picture the user picked, as a service sees it: its real type, its size in pixels and
// its bytes, and the scaling down of one that is over a server's byte limit. No window
// toolkit: decoding and encoding work on worker threads and in the Qt-free layers.
#pragma once
#include <cstddef>
#include <string>

struct SPicture {
  std::string mime;  // "image/jpeg", "image/png", "image/gif", "image/webp", ...
  int width = 0;
  int height = 0;
  std::string bytes;
};

// The type of a picture from its signature: "image/jpeg", "image/png", "image/gif",
// "image/webp" or "image/bmp"; "" for anything else.
std::string PictureType(const std::string& bytes);

// Reads a picture from its bytes: the type from its signature (never from a file name),
// and its size in pixels. False with a reason a user can read ("不是图片文件", ...) for
// data that is not a picture of a known type or cannot be decoded.
bool ReadPicture(const std::string& bytes, SPicture& picture, std::string& why);

// Makes a picture fit maxBytes: one already within it is left as it is; a bigger one is
// decoded, scaled down and encoded as JPEG, smaller each round, until it fits. False with a
// reason when it cannot be made to fit or cannot be decoded. width/height follow the result.
bool ShrinkPicture(SPicture& picture, std::size_t maxBytes, std::string& why);
