// Wire encoding of one request: query or form body or multipart body, and its signature.
#include "qwblog/WireRequest.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace qwblog {
namespace {

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i) {
    char c = s[s.size() - suffix.size() + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != suffix[i]) return false;
  }
  return true;
}

// Reads a whole regular file; false when it is missing, not a regular file, unreadable
// or larger than kMaxUploadBytes. The file is opened without blocking, so a FIFO or a
// device named as the picture is refused at once instead of waiting for a writer.
bool ReadWholeFile(const std::string& path, std::string& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<unsigned long long>(st.st_size) > kMaxUploadBytes) {
    ::close(fd);
    return false;
  }
  out.clear();
  out.reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      return false;
    }
    out.append(buffer, static_cast<size_t>(n));
    if (out.size() > kMaxUploadBytes) {  // the file grew while being read
      ::close(fd);
      return false;
    }
  }
  ::close(fd);
  return true;
}

// Quotes a name for a Content-Disposition parameter the way browsers do: the quote and
// line breaks are percent-escaped so they cannot end the header.
std::string QuoteDispositionValue(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '"') {
      out += "%22";
    } else if (c == '\r') {
      out += "%0D";
    } else if (c == '\n') {
      out += "%0A";
    } else {
      out.push_back(c);
    }
  }
  out.push_back('"');
  return out;
}

// A file to upload, read whole, named by the last part of its path.
bool ReadFilePart(const std::string& name, const std::string& path, FilePart& part) {
  part.name = name;
  const size_t slash = path.rfind('/');
  part.filename = slash == std::string::npos ? path : path.substr(slash + 1);
  part.contentType = ContentTypeForFile(path);
  return ReadWholeFile(path, part.bytes);
}

bool IsHeaderName(const std::string& name) {
  if (name.empty()) return false;
  for (unsigned char c : name)
    if (!(std::isalnum(c) || c == '-' || c == '_')) return false;
  return true;
}

bool IsHeaderValue(const std::string& value) {
  for (unsigned char c : value)
    if (c < 0x20 || c == 0x7f) return false;
  return true;
}

// The caller's pairs on the wire: in the query of a GET (or of a POST whose body the
// caller gives whole), else as a form body, or as a multipart body when files go with them.
void EncodeParams(const ParsedUrl& parsed, const CWeiboParam& params, bool post,
                  const ParamViews& ordinary, const std::vector<FilePart>& files,
                  std::string boundary, WireRequest& out) {
  out.post = post;
  out.url = parsed.withoutFragment;
  if (!post || params.HasBody()) {
    if (!ordinary.empty()) {
      if (!parsed.hasQuery) {
        out.url += '?';
      } else if (!parsed.query.empty() && parsed.query.back() != '&') {
        out.url += '&';
      }
      out.url += FormEncode(ordinary);
    }
    if (post) {
      out.contentType = params.BodyType();
      out.body = params.Body();
    }
  } else if (files.empty()) {
    out.contentType = "application/x-www-form-urlencoded";
    out.body = FormEncode(ordinary);
  } else {
    // A boundary that happens to occur inside the content would cut it; pick another.
    const bool chosen = !boundary.empty();
    for (int attempt = 0; attempt < 16; ++attempt) {
      if (!chosen) boundary = "----QWBlogBoundary" + MakeNonce();
      bool clash = false;
      for (const auto& f : files) clash = clash || f.bytes.find(boundary) != std::string::npos;
      for (const auto& p : ordinary)
        clash = clash || p.value.find(boundary) != std::string_view::npos;
      if (!clash || chosen) break;
    }
    out.contentType = "multipart/form-data; boundary=" + boundary;
    out.body = BuildMultipart(ordinary, files, boundary);
  }
}

}  // namespace

std::string ContentTypeForFile(std::string_view path) {
  if (EndsWithNoCase(path, ".jpg") || EndsWithNoCase(path, ".jpeg")) return "image/jpeg";
  if (EndsWithNoCase(path, ".gif")) return "image/gif";
  if (EndsWithNoCase(path, ".png")) return "image/png";
  return "application/octet-stream";
}

std::string BuildMultipart(const ParamViews& fields, const std::vector<FilePart>& files,
                           const std::string& boundary) {
  size_t size = 0;
  for (const auto& f : files) size += f.bytes.size() + 256;
  for (const auto& f : fields) size += f.name.size() + f.value.size() + 128;
  std::string body;
  body.reserve(size + 64);
  for (const auto& [name, value] : fields) {
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=" + QuoteDispositionValue(name) + "\r\n\r\n";
    body += value;
    body += "\r\n";
  }
  for (const auto& f : files) {
    body += "--" + boundary + "\r\n";
    body += "Content-Disposition: form-data; name=" + QuoteDispositionValue(f.name) +
            "; filename=" + QuoteDispositionValue(f.filename) + "\r\n";
    body += "Content-Type: " + f.contentType + "\r\n\r\n";
    body += f.bytes;
    body += "\r\n";
  }
  body += "--" + boundary + "--\r\n";
  return body;
}

HTTP_RESULTCODE BuildWireRequest(const char* url, EHttpMethod method, const CWeiboParam& params,
                                 WireRequest& out, std::string nonce, std::string timestamp,
                                 std::string boundary) {
  out = WireRequest();
  if (url == nullptr || (method != EHttpMethod_Get && method != EHttpMethod_Post)) {
    return HTTP_RESULT_BAD_ARGUMENT;
  }
  ParsedUrl parsed;
  if (!ParseUrl(url, parsed)) return HTTP_RESULT_BAD_ARGUMENT;
  const bool post = method == EHttpMethod_Post;
  if (!post && !params.Pictures().empty()) return HTTP_RESULT_BAD_ARGUMENT;
  // A whole body goes with a POST alone, never with files, under a type that is one line.
  if (params.HasBody() && (!post || !params.Pictures().empty() || params.BodyType().empty() ||
                           !IsHeaderValue(params.BodyType())))
    return HTTP_RESULT_BAD_ARGUMENT;

  // Sort the caller's pairs: credentials, protocol parameters, ordinary parameters. The
  // lists point into params, which outlives them.
  OAuthCredentials credentials;
  ParamViews protocol;
  ParamViews ordinary;
  ordinary.reserve(params.Params().size());
  for (const auto& pair : params.Params()) {
    const std::string& name = pair.first;
    if (name == QWB_CUSTOM_KEY) {
      credentials.consumerKey = pair.second;
    } else if (name == QWB_CUSTOM_SECRET) {
      credentials.consumerSecret = pair.second;
    } else if (name == QWB_TOKEN_KEY) {
      credentials.token = pair.second;
    } else if (name == QWB_TOKEN_SECRET) {
      credentials.tokenSecret = pair.second;
    } else if (name.rfind("oauth_", 0) == 0) {
      protocol.push_back({pair.first, pair.second});
    } else {
      ordinary.push_back({pair.first, pair.second});
    }
  }

  std::vector<FilePart> files;
  for (const auto& [name, path] : params.Pictures()) {
    files.emplace_back();
    if (!ReadFilePart(name, path, files.back())) return HTTP_RESULT_FILE_ERROR;
  }
  const bool multipart = !files.empty();

  // Pairs already in the URL's query always take part in the signature; the caller's
  // ordinary pairs do when they travel in the query or in a form-encoded body, not in
  // a multipart body. A body the caller gives whole (JSON) is never signed: OAuth 1.0
  // signs only form-encoded bodies.
  ParamList queryParams;
  if (parsed.hasQuery) queryParams = ParseFormEncoded(parsed.query);
  static const ParamViews kNone;

  if (nonce.empty()) nonce = MakeNonce();
  if (timestamp.empty()) timestamp = MakeTimestamp();
  OAuthSignature signature =
      SignRequest(post ? "POST" : "GET", parsed, queryParams, multipart ? kNone : ordinary,
                  protocol, credentials, nonce, timestamp);
  out.authorization = std::move(signature.authorization);
  out.baseString = std::move(signature.baseString);
  EncodeParams(parsed, params, post, ordinary, files, std::move(boundary), out);
  return HTTP_RESULT_OK;
}

HTTP_RESULTCODE BuildBearerRequest(const char* url, EHttpMethod method, const std::string& bearer,
                                   const HeaderList& headers, const CWeiboParam& params,
                                   WireRequest& out, std::string boundary) {
  out = WireRequest();
  if (url == nullptr || (method != EHttpMethod_Get && method != EHttpMethod_Post))
    return HTTP_RESULT_BAD_ARGUMENT;
  ParsedUrl parsed;
  if (!ParseUrl(url, parsed)) return HTTP_RESULT_BAD_ARGUMENT;
  const bool post = method == EHttpMethod_Post;
  if (!post && !params.Pictures().empty()) return HTTP_RESULT_BAD_ARGUMENT;
  // A header line is built from these: a line break or a zero byte would start another
  // header or end the request early.
  if (!IsHeaderValue(bearer)) return HTTP_RESULT_BAD_ARGUMENT;
  for (const auto& [name, value] : headers)
    if (!IsHeaderName(name) || !IsHeaderValue(value)) return HTTP_RESULT_BAD_ARGUMENT;

  ParamViews ordinary;
  for (const auto& pair : params.Params()) {
    // The credential names of the signed requests are never sent as fields.
    if (pair.first == QWB_CUSTOM_KEY || pair.first == QWB_CUSTOM_SECRET ||
        pair.first == QWB_TOKEN_KEY || pair.first == QWB_TOKEN_SECRET)
      return HTTP_RESULT_BAD_ARGUMENT;
    ordinary.push_back({pair.first, pair.second});
  }
  std::vector<FilePart> files;
  for (const auto& [name, path] : params.Pictures()) {
    files.emplace_back();
    if (!ReadFilePart(name, path, files.back())) return HTTP_RESULT_FILE_ERROR;
  }
  if (!bearer.empty()) out.authorization = "Bearer " + bearer;
  for (const auto& [name, value] : headers) out.headers.push_back(name + ": " + value);
  if (params.HasBody()) return HTTP_RESULT_BAD_ARGUMENT;  // not needed by any caller
  EncodeParams(parsed, params, post, ordinary, files, std::move(boundary), out);
  return HTTP_RESULT_OK;
}

HTTP_RESULTCODE BuildBearerBodyRequest(const char* url, const std::string& bearer,
                                       const HeaderList& headers, const std::string& contentType,
                                       const std::string& body, const CWeiboParam& params,
                                       WireRequest& out) {
  out = WireRequest();
  if (url == nullptr) return HTTP_RESULT_BAD_ARGUMENT;
  ParsedUrl parsed;
  if (!ParseUrl(url, parsed)) return HTTP_RESULT_BAD_ARGUMENT;
  if (!params.Params().empty() || !params.Pictures().empty()) return HTTP_RESULT_BAD_ARGUMENT;
  if (!IsHeaderValue(bearer) || contentType.empty() || !IsHeaderValue(contentType))
    return HTTP_RESULT_BAD_ARGUMENT;
  for (const auto& [name, value] : headers)
    if (!IsHeaderName(name) || !IsHeaderValue(value)) return HTTP_RESULT_BAD_ARGUMENT;
  out.url = parsed.withoutFragment;
  out.post = true;
  out.contentType = contentType;
  out.body = body;
  if (!bearer.empty()) out.authorization = "Bearer " + bearer;
  for (const auto& [name, value] : headers) out.headers.push_back(name + ": " + value);
  return HTTP_RESULT_OK;
}

}  // namespace qwblog
