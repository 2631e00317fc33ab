// Mastodon's pieces that are checked on their own: reading the server the user typed,
// the length a server gives a status, the limit an instance answer gives, and the order
// of notification ids. Its row and flows are in Mastodon.cpp.
#pragma once
#include <cstddef>
#include <string>

// What the user typed as the server: "host", "host:port", or "https://" with either and
// at most one "/" after it. The server comes back as host[:port] in lower case; false for
// http://, a path, a query, user information, blanks, or what is not a host name.
bool ParseMastodonServer(const std::string& text, std::string& server);

// The length a Mastodon server gives a status: characters (code points), each link
// counted as 23.
size_t MastodonStatusLength(const std::string& utf8);

// The status limit an instance answer gives (configuration.statuses.max_characters, or
// the older max_toot_chars); 500 when the answer gives none.
int ReadMastodonLimit(const std::string& instanceAnswer);

// Compares two notification ids: numbers by value, other ids as text.
bool MastodonIdAfter(const std::string& a, const std::string& b);
