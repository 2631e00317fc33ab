// OAuth 1.0 request signing (HMAC-SHA1, RFC 5849) and the URL pieces it needs.
// Internal to the request library; nonce and timestamp are passed in so the
// signature of a known request can be checked against published values.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qwblog {

using ParamList = std::vector<std::pair<std::string, std::string>>;
// Pairs that point into strings owned elsewhere (valid while those are).
struct ParamView {
  std::string_view name, value;
};
using ParamViews = std::vector<ParamView>;

// One flag per byte value: true for a byte that percent-encoding leaves as it is.
using ByteSet = std::array<bool, 256>;
// The set holding exactly the bytes of keep.
ByteSet MakeByteSet(std::string_view keep);

// RFC 3986 percent-encoding: every byte except ALPHA, DIGIT, "-", ".", "_", "~"
// becomes %XX with upper-case hex digits.
std::string PercentEncode(std::string_view bytes);
// The same, appended to out.
void AppendPercentEncoded(std::string& out, std::string_view bytes);
// Percent-encoding with another set of bytes left as they are (the program's other
// encodings: form values of a service, a path sent by the plain HTTP fetch).
void AppendPercentEncoded(std::string& out, std::string_view bytes, const ByteSet& keep);

// Dotted form of an IPv4 address held with its first octet most significant
// ("192.168.1.1"); bits above the lowest 32 are ignored.
std::string DottedAddress(unsigned long address);
// Reverses %XX (malformed escapes stay as they are); "+" becomes a blank when
// plusIsSpace (form encoding).
std::string PercentDecode(std::string_view text, bool plusIsSpace);
// Splits "a=1&b=&c" into decoded pairs (form encoding rules, "+" is a blank).
ParamList ParseFormEncoded(std::string_view text);
// Joins pairs as name=value&... with both sides percent-encoded.
std::string FormEncode(const ParamList& params);
std::string FormEncode(const ParamViews& params);

// An absolute http or https URL taken apart.
struct ParsedUrl {
  std::string scheme;  // lower case
  std::string host;    // lower case; IPv6 literals keep their brackets
  int port = 0;        // the explicit port, or the scheme's default
  bool explicitPort = false;
  std::string path;   // as written, "/" when empty
  std::string query;  // without "?"; empty when absent
  bool hasQuery = false;
  std::string withoutFragment;  // the URL up to any "#"
};
// False for anything that is not an absolute http/https URL with a host, and for a URL
// with a blank or control byte before its fragment.
bool ParseUrl(std::string_view url, ParsedUrl& out);
// The base string URI of RFC 5849 3.4.1.2: scheme://host[:port]/path, the port
// left out when it is the scheme's default.
std::string BaseStringUri(const ParsedUrl& url);

// RFC 5849 3.4.1: METHOD&encoded-base-uri&encoded-normalised-parameters.
// params holds every pair that takes part (query, form body, protocol parameters
// other than oauth_signature), decoded.
std::string SignatureBaseString(std::string_view method, std::string_view baseUri,
                                const ParamList& params);
// Base64 of HMAC-SHA1(key, text).
std::string HmacSha1Base64(std::string_view key, std::string_view text);
// "encoded consumer secret & encoded token secret".
std::string SigningKey(std::string_view consumerSecret, std::string_view tokenSecret);

// 32 lower-case hex digits from the kernel's random source (read ahead in blocks per
// thread; a forked child never repeats its parent's).
std::string MakeNonce();
// Seconds since the epoch, in decimal.
std::string MakeTimestamp();

// Views of the caller's strings, valid for one signing.
struct OAuthCredentials {
  std::string_view consumerKey;
  std::string_view consumerSecret;
  std::string_view token;  // empty: no oauth_token is sent
  std::string_view tokenSecret;
};

struct OAuthSignature {
  std::string baseString;
  std::string signature;      // base64, not yet percent-encoded
  std::string authorization;  // value of the Authorization header: every oauth_* pair sent,
                              // oauth_signature included, sorted
};

// Signs one request. queryParams (the URL's query, decoded) and requestParams (the
// caller's other pairs that take part: query or form body) are the non-protocol pairs of
// the signature; extraProtocol are protocol parameters the caller supplied
// (oauth_callback, oauth_verifier, ...). The library adds oauth_consumer_key, oauth_token
// (when there is a token), oauth_signature_method, oauth_timestamp, oauth_nonce and
// oauth_version=1.0; caller-supplied copies of those names are ignored.
OAuthSignature SignRequest(std::string_view method, const ParsedUrl& url,
                           const ParamList& queryParams, const ParamViews& requestParams,
                           const ParamViews& extraProtocol, const OAuthCredentials& credentials,
                           std::string_view nonce, std::string_view timestamp);

}  // namespace qwblog
