// OAuth 1.0 HMAC-SHA1 signing on OpenSSL libcrypto, and the URL and form-encoding
// helpers the signature base string is built from.
#include "qwblog/OAuth.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <random>

namespace qwblog {
namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

// The names the library itself fills in; a caller's copy of them is dropped.
bool IsGeneratedProtocolName(const std::string& name) {
  static const std::array<const char*, 7> kNames = {
      "oauth_consumer_key", "oauth_token",   "oauth_signature_method", "oauth_timestamp",
      "oauth_nonce",        "oauth_version", "oauth_signature"};
  return std::any_of(kNames.begin(), kNames.end(), [&](const char* n) { return name == n; });
}

}  // namespace

std::string PercentEncode(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (unsigned char c : bytes) {
    if (IsUnreserved(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::string PercentDecode(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 2 < text.size()) {
      int hi = HexValue(text[i + 1]);
      int lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(plusIsSpace && c == '+' ? ' ' : c);
  }
  return out;
}

ParamList ParseFormEncoded(std::string_view text) {
  ParamList out;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t amp = text.find('&', pos);
    if (amp == std::string_view::npos) amp = text.size();
    std::string_view piece = text.substr(pos, amp - pos);
    if (!piece.empty()) {
      size_t eq = piece.find('=');
      if (eq == std::string_view::npos) {
        out.emplace_back(PercentDecode(piece, true), std::string());
      } else {
        out.emplace_back(PercentDecode(piece.substr(0, eq), true),
                         PercentDecode(piece.substr(eq + 1), true));
      }
    }
    pos = amp + 1;
  }
  return out;
}

std::string FormEncode(const ParamList& params) {
  std::string out;
  for (const auto& [name, value] : params) {
    if (!out.empty()) out.push_back('&');
    out += PercentEncode(name);
    out.push_back('=');
    out += PercentEncode(value);
  }
  return out;
}

bool ParseUrl(std::string_view url, ParsedUrl& out) {
  out = ParsedUrl();
  size_t colon = url.find("://");
  if (colon == std::string_view::npos) return false;
  out.scheme = Lower(url.substr(0, colon));
  int defaultPort;
  if (out.scheme == "http") {
    defaultPort = 80;
  } else if (out.scheme == "https") {
    defaultPort = 443;
  } else {
    return false;
  }
  std::string_view full = url.substr(0, url.find('#'));
  // A blank or control byte cannot travel in a request line; such a URL would be sent
  // differently from how it was signed, or smuggle a line into the request.
  for (char c : full) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
  }
  out.withoutFragment = std::string(full);

  std::string_view rest = full.substr(colon + 3);
  size_t authorityEnd = rest.find_first_of("/?");
  if (authorityEnd == std::string_view::npos) authorityEnd = rest.size();
  std::string_view authority = rest.substr(0, authorityEnd);
  std::string_view tail = rest.substr(authorityEnd);

  // User information never takes part in the signature.
  size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority = authority.substr(at + 1);

  std::string_view host;
  std::string_view portText;
  if (!authority.empty() && authority.front() == '[') {
    size_t close = authority.find(']');
    if (close == std::string_view::npos) return false;
    host = authority.substr(0, close + 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return false;
      portText = after.substr(1);
    }
  } else {
    size_t pc = authority.rfind(':');
    host = authority.substr(0, pc);
    if (pc != std::string_view::npos) portText = authority.substr(pc + 1);
  }
  if (host.empty()) return false;
  out.host = Lower(host);
  out.port = defaultPort;
  if (!portText.empty()) {
    if (portText.size() > 5) return false;
    int port = 0;
    for (char c : portText) {
      if (c < '0' || c > '9') return false;
      port = port * 10 + (c - '0');
    }
    if (port <= 0 || port > 65535) return false;
    out.port = port;
    out.explicitPort = port != defaultPort;
  }

  size_t q = tail.find('?');
  out.path = std::string(tail.substr(0, q));
  if (out.path.empty()) out.path = "/";
  if (q != std::string_view::npos) {
    out.hasQuery = true;
    out.query = std::string(tail.substr(q + 1));
  }
  return true;
}

std::string BaseStringUri(const ParsedUrl& url) {
  std::string out = url.scheme + "://" + url.host;
  if (url.explicitPort) out += ":" + std::to_string(url.port);
  out += url.path;
  return out;
}

std::string SignatureBaseString(std::string_view method, std::string_view baseUri,
                                const ParamList& params) {
  std::vector<std::pair<std::string, std::string>> encoded;
  encoded.reserve(params.size());
  for (const auto& [name, value] : params)
    encoded.emplace_back(PercentEncode(name), PercentEncode(value));
  std::sort(encoded.begin(), encoded.end());
  std::string normalised;
  for (const auto& [name, value] : encoded) {
    if (!normalised.empty()) normalised.push_back('&');
    normalised += name;
    normalised.push_back('=');
    normalised += value;
  }
  std::string out;
  for (char c : method) out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  out.push_back('&');
  out += PercentEncode(baseUri);
  out.push_back('&');
  out += PercentEncode(normalised);
  return out;
}

std::string HmacSha1Base64(std::string_view key, std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = 0;
  HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
       reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest, &digestLength);
  unsigned char encoded[4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1];
  int n = EVP_EncodeBlock(encoded, digest, static_cast<int>(digestLength));
  return std::string(reinterpret_cast<char*>(encoded), n > 0 ? static_cast<size_t>(n) : 0);
}

std::string SigningKey(std::string_view consumerSecret, std::string_view tokenSecret) {
  return PercentEncode(consumerSecret) + "&" + PercentEncode(tokenSecret);
}

std::string MakeNonce() {
  unsigned char bytes[16];
  if (RAND_bytes(bytes, sizeof bytes) != 1) {
    // The system's random source failed; fall back to a seeded engine so a request
    // never goes out without a fresh nonce.
    thread_local std::mt19937_64 engine(
        std::random_device{}() ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (auto& b : bytes) b = static_cast<unsigned char>(engine());
  }
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

std::string MakeTimestamp() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

OAuthSignature SignRequest(std::string_view method, const ParsedUrl& url,
                           const ParamList& requestParams, const ParamList& extraProtocol,
                           const OAuthCredentials& credentials, const std::string& nonce,
                           const std::string& timestamp) {
  OAuthSignature result;
  ParamList& protocol = result.protocolParams;
  protocol.emplace_back("oauth_consumer_key", credentials.consumerKey);
  if (!credentials.token.empty()) protocol.emplace_back("oauth_token", credentials.token);
  protocol.emplace_back("oauth_signature_method", "HMAC-SHA1");
  protocol.emplace_back("oauth_timestamp", timestamp);
  protocol.emplace_back("oauth_nonce", nonce);
  protocol.emplace_back("oauth_version", "1.0");
  for (const auto& pair : extraProtocol) {
    if (!IsGeneratedProtocolName(pair.first)) protocol.push_back(pair);
  }

  ParamList all = requestParams;
  all.insert(all.end(), protocol.begin(), protocol.end());
  result.baseString = SignatureBaseString(method, BaseStringUri(url), all);
  result.signature = HmacSha1Base64(SigningKey(credentials.consumerSecret, credentials.tokenSecret),
                                    result.baseString);
  protocol.emplace_back("oauth_signature", result.signature);
  std::sort(protocol.begin(), protocol.end());

  result.authorization = "OAuth ";
  bool first = true;
  for (const auto& [name, value] : protocol) {
    if (!first) result.authorization += ", ";
    first = false;
    result.authorization += PercentEncode(name) + "=\"" + PercentEncode(value) + "\"";
  }
  return result;
}

}  // namespace qwblog
