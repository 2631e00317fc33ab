// OAuth 1.0 HMAC-SHA1 signing on OpenSSL libcrypto, and the URL and form-encoding
// helpers the signature base string is built from.
#include "qwblog/OAuth.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/rand.h>
#include <pthread.h>
#include <sys/random.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <random>

namespace qwblog {
namespace {

// One flag per byte value: ALPHA, DIGIT, "-", ".", "_", "~".
constexpr std::array<bool, 256> kUnreserved = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[static_cast<size_t>(c)] = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                    (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                    c == '~';
  }
  return table;
}();

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
bool IsGeneratedProtocolName(std::string_view name) {
  static const std::array<const char*, 7> kNames = {
      "oauth_consumer_key", "oauth_token",   "oauth_signature_method", "oauth_timestamp",
      "oauth_nonce",        "oauth_version", "oauth_signature"};
  return std::any_of(kNames.begin(), kNames.end(), [&](const char* n) { return name == n; });
}

}  // namespace

ByteSet MakeByteSet(std::string_view keep) {
  ByteSet set{};
  for (unsigned char c : keep) set[c] = true;
  return set;
}

void AppendPercentEncoded(std::string& out, std::string_view bytes) {
  AppendPercentEncoded(out, bytes, kUnreserved);
}

void AppendPercentEncoded(std::string& out, std::string_view bytes, const ByteSet& keep) {
  static const char kHex[] = "0123456789ABCDEF";
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    // Copy a run of bytes that stay as they are, then escape one.
    const auto* run = p;
    while (p < end && keep[*p]) ++p;
    out.append(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
    if (p == end) break;
    const char escaped[3] = {'%', kHex[*p >> 4], kHex[*p & 15]};
    out.append(escaped, 3);
    ++p;
  }
}

std::string DottedAddress(unsigned long address) {
  address &= 0xffffffffUL;
  return std::to_string((address >> 24) & 255) + "." + std::to_string((address >> 16) & 255) + "." +
         std::to_string((address >> 8) & 255) + "." + std::to_string(address & 255);
}

std::string PercentEncode(std::string_view bytes) {
  std::string out;
  AppendPercentEncoded(out, bytes);
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

namespace {

// name=value&... of owned or borrowed pairs.
template <class Pairs>
std::string FormEncodePairs(const Pairs& params) {
  std::string out;
  for (const auto& [name, value] : params) {
    if (!out.empty()) out.push_back('&');
    AppendPercentEncoded(out, name);
    out.push_back('=');
    AppendPercentEncoded(out, value);
  }
  return out;
}

}  // namespace

std::string FormEncode(const ParamList& params) { return FormEncodePairs(params); }

std::string FormEncode(const ParamViews& params) { return FormEncodePairs(params); }

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

namespace {

// Text that is already percent-encoded, encoded once more: only its "%" changes.
void AppendReencoded(std::string& out, std::string_view encoded) {
  for (;;) {
    const size_t percent = encoded.find('%');
    out.append(encoded.substr(0, percent));
    if (percent == std::string_view::npos) return;
    out += "%25";
    encoded.remove_prefix(percent + 1);
  }
}

// Every pair that takes part in a signature, percent-encoded into one buffer and sorted
// by encoded name, then value (RFC 5849 3.4.1.3.2), as spans of that buffer. Protocol
// pairs are marked, so the Authorization header reuses their encoded form.
class CEncodedPairs {
 public:
  struct Span {
    uint32_t name, nameLength, value, valueLength;
    bool protocol;
  };

  template <class... Lists>
  void Add(bool protocol, const Lists&... lists) {
    auto add = [&](const auto& list) {
      for (const auto& [name, value] : list) {
        Span span;
        span.protocol = protocol;
        span.name = static_cast<uint32_t>(m_encoded.size());
        AppendPercentEncoded(m_encoded, name);
        span.nameLength = static_cast<uint32_t>(m_encoded.size()) - span.name;
        span.value = static_cast<uint32_t>(m_encoded.size());
        AppendPercentEncoded(m_encoded, value);
        span.valueLength = static_cast<uint32_t>(m_encoded.size()) - span.value;
        m_spans.push_back(span);
      }
    };
    (add(lists), ...);
  }

  void Sort() {
    const std::string_view all(m_encoded);
    std::sort(m_spans.begin(), m_spans.end(), [all](const Span& a, const Span& b) {
      const int byName = all.substr(a.name, a.nameLength).compare(all.substr(b.name, b.nameLength));
      if (byName != 0) return byName < 0;
      return all.substr(a.value, a.valueLength) < all.substr(b.value, b.valueLength);
    });
  }

  std::string_view Name(const Span& s) const { return {m_encoded.data() + s.name, s.nameLength}; }
  std::string_view Value(const Span& s) const {
    return {m_encoded.data() + s.value, s.valueLength};
  }
  const std::vector<Span>& Spans() const { return m_spans; }
  void Reserve(size_t pairs) {
    m_spans.reserve(pairs);
    m_encoded.reserve(pairs * 40);
  }

  // The normalised parameters, percent-encoded once more as the base string carries them.
  void AppendNormalised(std::string& out) const {
    out.reserve(out.size() + m_encoded.size() + m_encoded.size() / 2 + m_spans.size() * 6);
    bool first = true;
    for (const Span& span : m_spans) {
      if (!first) out += "%26";  // "&"
      first = false;
      AppendReencoded(out, Name(span));
      out += "%3D";  // "="
      AppendReencoded(out, Value(span));
    }
  }

 private:
  std::string m_encoded;
  std::vector<Span> m_spans;
};

void AppendBaseString(std::string& out, std::string_view method, std::string_view baseUri,
                      const CEncodedPairs& pairs) {
  for (char c : method) out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
  out.push_back('&');
  AppendPercentEncoded(out, baseUri);
  out.push_back('&');
  pairs.AppendNormalised(out);
}

// HMAC-SHA1 (RFC 2104) on one SHA-1 context per thread. The digest is looked up once
// and the context is reused, so a signature costs the hash and no allocation; the
// one-shot HMAC() of OpenSSL 3 fetches the algorithm from the provider tables and builds
// and frees a MAC context on every call, several times the cost of the hash itself.
class CHmacSha1 {
 public:
  static constexpr size_t kBlock = 64, kDigest = 20;

  CHmacSha1() : m_ctx(EVP_MD_CTX_new()) {}
  ~CHmacSha1() {
    EVP_MD_CTX_free(m_ctx);
    OPENSSL_cleanse(m_inner, sizeof m_inner);
    OPENSSL_cleanse(m_outer, sizeof m_outer);
    OPENSSL_cleanse(m_key.data(), m_key.size());
  }
  CHmacSha1(const CHmacSha1&) = delete;
  CHmacSha1& operator=(const CHmacSha1&) = delete;

  // False when the digest or the context is not available; the caller then takes HMAC().
  bool Sign(std::string_view key, std::string_view text, unsigned char* digest) {
    static EVP_MD* const sha1 = EVP_MD_fetch(nullptr, "SHA1", nullptr);
    if (!sha1 || !m_ctx) return false;
    if (!m_keyed || key != m_key) {
      // The key pads of RFC 2104, kept while the key stays the same (the same account).
      unsigned char block[kBlock] = {};
      if (key.size() > kBlock) {
        if (!Hash(sha1, {key}, block)) return false;
      } else {
        std::memcpy(block, key.data(), key.size());
      }
      for (size_t i = 0; i < kBlock; ++i) {
        m_inner[i] = block[i] ^ 0x36;
        m_outer[i] = block[i] ^ 0x5c;
      }
      OPENSSL_cleanse(block, sizeof block);
      OPENSSL_cleanse(m_key.data(), m_key.size());
      m_key.assign(key);
      m_keyed = true;
    }
    unsigned char inner[kDigest];
    return Hash(sha1, {View(m_inner), text}, inner) &&
           Hash(sha1, {View(m_outer), std::string_view(reinterpret_cast<char*>(inner), kDigest)},
                digest);
  }

 private:
  static std::string_view View(const unsigned char (&pad)[kBlock]) {
    return {reinterpret_cast<const char*>(pad), kBlock};
  }
  bool Hash(const EVP_MD* md, std::initializer_list<std::string_view> parts, unsigned char* out) {
    // Re-initialising a context with the digest it already has keeps its provider state.
    if (EVP_DigestInit_ex2(m_ctx, md, nullptr) != 1) return false;
    for (std::string_view part : parts) {
      if (EVP_DigestUpdate(m_ctx, part.data(), part.size()) != 1) return false;
    }
    unsigned int length = 0;
    return EVP_DigestFinal_ex(m_ctx, out, &length) == 1 && length == kDigest;
  }

  EVP_MD_CTX* m_ctx;
  unsigned char m_inner[kBlock] = {}, m_outer[kBlock] = {};
  std::string m_key;  // the key the pads were made from, when m_keyed
  bool m_keyed = false;
};

// Nonce bytes: the kernel's random source read in blocks into a buffer of each thread,
// so a request costs no system call. Every byte is used once. A forked child would
// inherit its parent's unused bytes and send the same nonces, so a fork empties the
// buffers of the child.
std::atomic<unsigned> g_forkGeneration{0};

void CountFork() { g_forkGeneration.fetch_add(1, std::memory_order_relaxed); }

class CNonceSource {
 public:
  void Take(unsigned char* out, size_t n) {
    static const bool watched = pthread_atfork(nullptr, nullptr, CountFork) == 0;
    const unsigned generation = g_forkGeneration.load(std::memory_order_relaxed);
    if (!watched || generation != m_generation) m_used = m_filled = 0;  // a fork: start anew
    m_generation = generation;
    if (m_filled - m_used < n && !Refill()) {
      // No kernel source: OpenSSL's own generator (seeded from it, fork-safe).
      if (RAND_bytes(out, static_cast<int>(n)) == 1) return;
      // Last resort, so a request never goes out without a fresh nonce.
      thread_local std::mt19937_64 engine(
          std::random_device{}() ^
          static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
      for (size_t i = 0; i < n; ++i) out[i] = static_cast<unsigned char>(engine());
      return;
    }
    std::memcpy(out, m_buffer + m_used, n);
    std::memset(m_buffer + m_used, 0, n);
    m_used += n;
  }

 private:
  bool Refill() {
    size_t got = 0;
    while (got < sizeof m_buffer) {
      const ssize_t r = getrandom(m_buffer + got, sizeof m_buffer - got, 0);
      if (r < 0) {
        if (errno == EINTR) continue;
        m_used = m_filled = 0;
        return false;
      }
      got += static_cast<size_t>(r);
    }
    m_used = 0;
    m_filled = got;
    return true;
  }
  unsigned char m_buffer[4096];
  size_t m_used = 0, m_filled = 0;
  unsigned m_generation = 0;
};

}  // namespace

std::string SignatureBaseString(std::string_view method, std::string_view baseUri,
                                const ParamList& params) {
  CEncodedPairs pairs;
  pairs.Reserve(params.size());
  pairs.Add(false, params);
  pairs.Sort();
  std::string out;
  AppendBaseString(out, method, baseUri, pairs);
  return out;
}

std::string HmacSha1Base64(std::string_view key, std::string_view text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int digestLength = CHmacSha1::kDigest;
  thread_local CHmacSha1 hmac;
  if (!hmac.Sign(key, text, digest)) {
    HMAC(EVP_sha1(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest, &digestLength);
  }
  unsigned char encoded[4 * ((EVP_MAX_MD_SIZE + 2) / 3) + 1];
  int n = EVP_EncodeBlock(encoded, digest, static_cast<int>(digestLength));
  return std::string(reinterpret_cast<char*>(encoded), n > 0 ? static_cast<size_t>(n) : 0);
}

std::string SigningKey(std::string_view consumerSecret, std::string_view tokenSecret) {
  std::string key;
  key.reserve((consumerSecret.size() + tokenSecret.size()) * 3 + 1);
  AppendPercentEncoded(key, consumerSecret);
  key.push_back('&');
  AppendPercentEncoded(key, tokenSecret);
  return key;
}

std::string MakeNonce() {
  unsigned char bytes[16];
  thread_local CNonceSource source;
  source.Take(bytes, sizeof bytes);
  static const char kHex[] = "0123456789abcdef";
  std::string out(2 * sizeof bytes, '0');
  for (size_t i = 0; i < sizeof bytes; ++i) {
    out[2 * i] = kHex[bytes[i] >> 4];
    out[2 * i + 1] = kHex[bytes[i] & 15];
  }
  return out;
}

std::string MakeTimestamp() {
  auto now = std::chrono::system_clock::now().time_since_epoch();
  return std::to_string(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

OAuthSignature SignRequest(std::string_view method, const ParsedUrl& url,
                           const ParamList& queryParams, const ParamViews& requestParams,
                           const ParamViews& extraProtocol, const OAuthCredentials& credentials,
                           std::string_view nonce, std::string_view timestamp) {
  ParamViews protocol;
  protocol.reserve(8 + extraProtocol.size());
  protocol.push_back({"oauth_consumer_key", credentials.consumerKey});
  if (!credentials.token.empty()) protocol.push_back({"oauth_token", credentials.token});
  protocol.push_back({"oauth_signature_method", "HMAC-SHA1"});
  protocol.push_back({"oauth_timestamp", timestamp});
  protocol.push_back({"oauth_nonce", nonce});
  protocol.push_back({"oauth_version", "1.0"});
  for (const auto& pair : extraProtocol) {
    if (!IsGeneratedProtocolName(pair.name)) protocol.push_back(pair);
  }

  OAuthSignature result;
  CEncodedPairs pairs;
  pairs.Reserve(queryParams.size() + requestParams.size() + protocol.size());
  pairs.Add(false, queryParams, requestParams);
  pairs.Add(true, protocol);
  pairs.Sort();
  result.baseString.reserve(256);
  AppendBaseString(result.baseString, method, BaseStringUri(url), pairs);
  result.signature = HmacSha1Base64(SigningKey(credentials.consumerSecret, credentials.tokenSecret),
                                    result.baseString);

  // The header: the protocol pairs in the order of the base string, oauth_signature in
  // its place among them.
  static constexpr std::string_view kSignatureName = "oauth_signature";
  std::string& header = result.authorization;
  header.reserve(pairs.Spans().size() * 48 + result.signature.size() * 3);
  header = "OAuth ";
  bool signatureDone = false;
  auto add = [&header](std::string_view encodedName, std::string_view encodedValue) {
    if (header.size() > 6) header += ", ";
    header += encodedName;
    header += "=\"";
    header += encodedValue;
    header.push_back('"');
  };
  auto addSignature = [&] {
    std::string encoded;
    AppendPercentEncoded(encoded, result.signature);
    add(kSignatureName, encoded);
    signatureDone = true;
  };
  for (const auto& span : pairs.Spans()) {
    if (!span.protocol) continue;
    if (!signatureDone && pairs.Name(span) > kSignatureName) addSignature();
    add(pairs.Name(span), pairs.Value(span));
  }
  if (!signatureDone) addSignature();
  return result;
}

}  // namespace qwblog
