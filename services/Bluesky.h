// Bluesky's pieces that are checked on their own: the record key a post is given before it
// is sent, and the time a record says it was made. Its row and flows are in Bluesky.cpp.
#pragma once
#include <cstdint>
#include <string>

namespace bluesky {

// A timestamp identifier (TID): 13 characters of sortable base32 ("234567a-z") holding the
// microseconds since 1970 (53 bits) and a clock id (10 bits). Later times sort later.
std::string MakeTid(uint64_t microseconds, unsigned clockId);
// A TID for now, never the same twice in one run.
std::string NewTid();

// The time as RFC 3339 in UTC with milliseconds: "2024-05-01T12:34:56.789Z".
std::string Rfc3339Utc(int64_t millisecondsSince1970);

}  // namespace bluesky
