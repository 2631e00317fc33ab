// Turns a URL, a method and a CWeiboParam into what goes on the wire: the final URL,
// the body with its content type, and the OAuth Authorization header. Internal to the
// request library; separate from the transport so it can be checked without a network.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "qwblog/OAuth.h"
#include "qwblog/QWBlogAPI.h"

namespace qwblog {

using HeaderList = QWBlogHeaders;

struct WireRequest {
  std::string url;  // with GET parameters appended to the query
  bool post = false;
  std::string contentType;           // POST only
  std::string body;                  // POST only
  std::string authorization;         // value of the Authorization header; "" for none
  std::vector<std::string> headers;  // further header lines ("Name: value")
  std::string baseString;            // the signature base string, for diagnostics
};

struct FilePart {
  std::string name;         // form field name, e.g. "pic"
  std::string filename;     // file name without folders
  std::string contentType;  // from the extension
  std::string bytes;
};

// Largest picture file the library reads into a request.
constexpr size_t kMaxUploadBytes = 64u << 20;

// image/jpeg, image/gif or image/png by extension (any case), else
// application/octet-stream.
std::string ContentTypeForFile(std::string_view path);

// multipart/form-data body: each text field, then each file, then the closing line.
std::string BuildMultipart(const ParamViews& fields, const std::vector<FilePart>& files,
                           const std::string& boundary);

// Builds the request. nonce/timestamp/boundary are generated when empty. Returns
// HTTP_RESULT_OK, HTTP_RESULT_BAD_ARGUMENT (URL, method, picture on a GET) or
// HTTP_RESULT_FILE_ERROR (a picture could not be read). Pictures are read here, so a
// bad path is found before anything is sent.
HTTP_RESULTCODE BuildWireRequest(const char* url, EHttpMethod method, const CWeiboParam& params,
                                 WireRequest& out, std::string nonce = {},
                                 std::string timestamp = {}, std::string boundary = {});

// Builds a request authorised by a bearer token ("" for none) instead of a signature:
// the pairs go as for a signed request (query, form body, or multipart with the files),
// headers become further header lines. A line break or control character in the token
// or a header, an odd header name, or a credential name among the pairs gives
// HTTP_RESULT_BAD_ARGUMENT.
HTTP_RESULTCODE BuildBearerRequest(const char* url, EHttpMethod method, const std::string& bearer,
                                   const HeaderList& headers, const CWeiboParam& params,
                                   WireRequest& out, std::string boundary = {});

// A bearer-token POST with a body of its own, sent as it is with contentType. The token,
// the headers and the content type are checked as for BuildBearerRequest; a field or a
// file among params gives HTTP_RESULT_BAD_ARGUMENT.
HTTP_RESULTCODE BuildBearerBodyRequest(const char* url, const std::string& bearer,
                                       const HeaderList& headers, const std::string& contentType,
                                       const std::string& body, const CWeiboParam& params,
                                       WireRequest& out);

}  // namespace qwblog
