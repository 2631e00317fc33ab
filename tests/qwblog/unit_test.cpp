// Request library without a network: OAuth 1.0 signatures against published vectors,
// percent-encoding, URL handling, and the wire form of GET, form and multipart requests.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "qwblog/OAuth.h"
#include "qwblog/QWBlogAPI.h"
#include "qwblog/WireRequest.h"
#include "tests/qwblog/QwblogTestUtil.h"
#include "tests/support/TestEnv.h"

using namespace qwblog;

namespace {

CWeiboParam AppendixACredentials() {
  return qwblogtest::SignedParams("dpf43f3p2l4k3l03", "kd94hf93k423kf44", "nnch734d00sl2jdk",
                                  "pfkkdhi9sl3r4s00");
}

const char kAppendixABase[] =
    "GET&http%3A%2F%2Fphotos.example.net%2Fphotos&file%3Dvacation.jpg%26oauth_consumer_key%3D"
    "dpf43f3p2l4k3l03%26oauth_nonce%3Dkllo9940pd9333jh%26oauth_signature_method%3DHMAC-SHA1%26"
    "oauth_timestamp%3D1191242096%26oauth_token%3Dnnch734d00sl2jdk%26oauth_version%3D1.0%26"
    "size%3Doriginal";

}  // namespace

TEST(OAuthVectors, Rfc5849SignatureBaseString) {
  // RFC 5849 section 3.4.1.1: query and form body both take part, decoded and
  // re-encoded, sorted by name and then value; oauth_signature and realm do not.
  ParsedUrl url;
  ASSERT_TRUE(ParseUrl("http://example.com/request?b5=%3D%253D&a3=a&c%40=&a2=r%20b", url));
  ParamList params = ParseFormEncoded(url.query);
  ParamList body = ParseFormEncoded("c2&a3=2+q");
  params.insert(params.end(), body.begin(), body.end());
  params.emplace_back("oauth_consumer_key", "9djdj82h48djs9d2");
  params.emplace_back("oauth_token", "kkk9d7dh3k39sjv7");
  params.emplace_back("oauth_signature_method", "HMAC-SHA1");
  params.emplace_back("oauth_timestamp", "137131201");
  params.emplace_back("oauth_nonce", "7d8f3e4a");
  EXPECT_EQ(SignatureBaseString("POST", BaseStringUri(url), params),
            "POST&http%3A%2F%2Fexample.com%2Frequest&a2%3Dr%2520b%26a3%3D2%2520q"
            "%26a3%3Da%26b5%3D%253D%25253D%26c%2540%3D%26c2%3D%26oauth_consumer_"
            "key%3D9djdj82h48djs9d2%26oauth_nonce%3D7d8f3e4a%26oauth_signature_m"
            "ethod%3DHMAC-SHA1%26oauth_timestamp%3D137131201%26oauth_token%3Dkkk"
            "9d7dh3k39sjv7");
}

TEST(OAuthVectors, OAuthCoreAppendixAWithQueryInUrl) {
  WireRequest wire;
  ASSERT_EQ(BuildWireRequest("http://photos.example.net/photos?file=vacation.jpg&size=original",
                             EHttpMethod_Get, AppendixACredentials(), wire, "kllo9940pd9333jh",
                             "1191242096"),
            HTTP_RESULT_OK);
  EXPECT_EQ(wire.baseString, kAppendixABase);
  EXPECT_NE(wire.authorization.find("oauth_signature=\"tR3%2BTy81lMeYAr%2FFid0kMTYa%2FWM%3D\""),
            std::string::npos)
      << wire.authorization;
  EXPECT_EQ(wire.authorization.rfind("OAuth ", 0), 0u);
  EXPECT_EQ(wire.url, "http://photos.example.net/photos?file=vacation.jpg&size=original");
  EXPECT_FALSE(wire.post);
}

TEST(OAuthVectors, OAuthCoreAppendixAWithParamsAdded) {
  // The same request with its parameters added by AddParam, to an upper-case URL with
  // the default port written out: same signature, parameters appended as the query.
  CWeiboParam p = AppendixACredentials();
  p.AddParam("file", "vacation.jpg");
  p.AddParam("size", "original");
  WireRequest wire;
  ASSERT_EQ(BuildWireRequest("HTTP://Photos.Example.NET:80/photos#frag", EHttpMethod_Get, p, wire,
                             "kllo9940pd9333jh", "1191242096"),
            HTTP_RESULT_OK);
  EXPECT_EQ(wire.baseString, kAppendixABase);
  EXPECT_NE(wire.authorization.find("tR3%2BTy81lMeYAr%2FFid0kMTYa%2FWM%3D"), std::string::npos);
  EXPECT_EQ(wire.url, "HTTP://Photos.Example.NET:80/photos?file=vacation.jpg&size=original");
}

TEST(PercentEncoding, SignaturePieces) {
  EXPECT_EQ(PercentEncode("AZaz09-._~"), "AZaz09-._~");
  EXPECT_EQ(PercentEncode("~*'()! "), "~%2A%27%28%29%21%20");
  EXPECT_EQ(PercentEncode("a+b/c?d&e=f%g"), "a%2Bb%2Fc%3Fd%26e%3Df%25g");
  EXPECT_EQ(PercentEncode("\xE4\xB8\xAD\xE6\x96\x87"), "%E4%B8%AD%E6%96%87");  // 中文
  EXPECT_EQ(PercentEncode(std::string("\0\x7f\xff", 3)), "%00%7F%FF");
  // Secrets with reserved characters are encoded before they are joined by "&".
  EXPECT_EQ(SigningKey("c&s=", "t s"), "c%26s%3D&t%20s");
  EXPECT_EQ(SigningKey("cs", ""), "cs&");

  EXPECT_EQ(PercentDecode("a%20b+c%2", true), "a b c%2");
  EXPECT_EQ(PercentDecode("a%zzb+c", false), "a%zzb+c");
  EXPECT_EQ(PercentDecode("%E4%b8%AD", false), "\xE4\xB8\xAD");
  ParamList form = ParseFormEncoded("a=1&&b&c=%3D=&=v");
  ASSERT_EQ(form.size(), 4u);
  EXPECT_EQ(form[1], (std::pair<std::string, std::string>("b", "")));
  EXPECT_EQ(form[2], (std::pair<std::string, std::string>("c", "==")));
  EXPECT_EQ(form[3], (std::pair<std::string, std::string>("", "v")));
}

TEST(PercentEncoding, FormBodyCarriesUtf8AndSpecialCharacters) {
  CWeiboParam p = AppendixACredentials();
  p.AddParam("status", "\xE4\xBD\xA0\xE5\xA5\xBD ~*'()!");
  p.AddParam("empty", nullptr);
  WireRequest wire;
  ASSERT_EQ(BuildWireRequest("http://api.example.com/statuses/update.json", EHttpMethod_Post, p,
                             wire, "n", "1"),
            HTTP_RESULT_OK);
  EXPECT_TRUE(wire.post);
  EXPECT_EQ(wire.contentType, "application/x-www-form-urlencoded");
  EXPECT_EQ(wire.body, "status=%E4%BD%A0%E5%A5%BD%20~%2A%27%28%29%21&empty=");
  EXPECT_EQ(wire.url, "http://api.example.com/statuses/update.json");
  // The body's pairs are part of what is signed, encoded once more.
  EXPECT_NE(wire.baseString.find("status%3D%25E4%25BD%25A0%25E5%25A5%25BD%2520~%252A%2527%2528"
                                 "%2529%2521"),
            std::string::npos)
      << wire.baseString;
}

TEST(UrlHandling, ParseAndBaseStringUri) {
  ParsedUrl u;
  ASSERT_TRUE(ParseUrl("https://USER:pw@Example.COM:443/a/b?x=1#top", u));
  EXPECT_EQ(BaseStringUri(u), "https://example.com/a/b");
  EXPECT_EQ(u.query, "x=1");
  ASSERT_TRUE(ParseUrl("http://127.0.0.1:8080", u));
  EXPECT_EQ(BaseStringUri(u), "http://127.0.0.1:8080/");
  EXPECT_FALSE(u.hasQuery);
  ASSERT_TRUE(ParseUrl("http://[::1]:81/p", u));
  EXPECT_EQ(BaseStringUri(u), "http://[::1]:81/p");
  for (const char* bad : {"ftp://h/", "http:///p", "h/p", "http://h:0/", "http://h:70000/",
                          "http://h:8x/", "http://a b/", "", "http://[::1/", "http://h/a b",
                          "http://h/p?x=1\r\nX-Injected: 1", "http://h/\x7f"}) {
    EXPECT_FALSE(ParseUrl(bad, u)) << bad;
  }
}

TEST(UrlHandling, GetParametersJoinExistingQuery) {
  CWeiboParam p = AppendixACredentials();
  p.AddParam("b", "2 3");
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"http://h/p", "http://h/p?b=2%203"},
               {"http://h/p?a=1", "http://h/p?a=1&b=2%203"},
               {"http://h/p?", "http://h/p?b=2%203"},
               {"http://h/p?a=1&", "http://h/p?a=1&b=2%203"},
               {"http://h/p?a=1#f", "http://h/p?a=1&b=2%203"}};
  for (const auto& c : cases) {
    WireRequest wire;
    ASSERT_EQ(BuildWireRequest(c.in, EHttpMethod_Get, p, wire), HTTP_RESULT_OK);
    EXPECT_EQ(wire.url, c.out);
    EXPECT_TRUE(wire.body.empty());
  }
  // Both the URL's own pair and the added one are signed.
  WireRequest wire;
  ASSERT_EQ(BuildWireRequest("http://h/p?a=1", EHttpMethod_Get, p, wire), HTTP_RESULT_OK);
  EXPECT_NE(wire.baseString.find("a%3D1%26b%3D2%25203"), std::string::npos) << wire.baseString;
}

TEST(WireForm, ReservedNamesAndSecretsNeverSent) {
  const std::string dir = MakeTestFolder("reserved", false);
  WriteFile(dir + "/p.png", "PNGDATA");
  for (int kind = 0; kind < 3; ++kind) {
    CWeiboParam p =
        qwblogtest::SignedParams("CONSUMERKEY", "CONSUMERSECRET", "TOKENKEY", "TOKENSECRET");
    p.AddParam("oauth_verifier", "123456");
    p.AddParam("oauth_callback", "null");
    p.AddParam("oauth_nonce", "CALLERNONCE");  // the library's own wins
    p.AddParam("status", "hi");
    if (kind == 2) p.AddPicNameParam("pic", (dir + "/p.png").c_str());
    WireRequest wire;
    ASSERT_EQ(
        BuildWireRequest("http://h/x", kind == 0 ? EHttpMethod_Get : EHttpMethod_Post, p, wire),
        HTTP_RESULT_OK);
    const std::string onWire = wire.url + "\n" + wire.body + "\n" + wire.authorization;
    for (const char* secret : {"strCustomKey", "strCustomSecrect", "strTokenKey", "strTokenSecrect",
                               "CONSUMERSECRET", "TOKENSECRET", "CALLERNONCE"}) {
      EXPECT_EQ(onWire.find(secret), std::string::npos) << kind << " " << secret;
    }
    // Protocol parameters travel in the header only.
    EXPECT_EQ(wire.url.find("oauth_"), std::string::npos);
    EXPECT_EQ(wire.body.find("oauth_"), std::string::npos);
    for (const char* piece : {"oauth_consumer_key=\"CONSUMERKEY\"", "oauth_token=\"TOKENKEY\"",
                              "oauth_verifier=\"123456\"", "oauth_callback=\"null\"",
                              "oauth_version=\"1.0\"", "oauth_signature_method=\"HMAC-SHA1\""}) {
      EXPECT_NE(wire.authorization.find(piece), std::string::npos) << piece;
    }
  }
  // Without a token pair there is no oauth_token, and each request has a fresh nonce.
  CWeiboParam p = qwblogtest::SignedParams("k", "s");
  WireRequest a, b;
  ASSERT_EQ(BuildWireRequest("http://h/x", EHttpMethod_Get, p, a), HTTP_RESULT_OK);
  ASSERT_EQ(BuildWireRequest("http://h/x", EHttpMethod_Get, p, b), HTTP_RESULT_OK);
  EXPECT_EQ(a.authorization.find("oauth_token="), std::string::npos);
  auto nonceOf = [](const std::string& h) {
    size_t at = h.find("oauth_nonce=\"") + 13;
    return h.substr(at, h.find('"', at) - at);
  };
  EXPECT_EQ(nonceOf(a.authorization).size(), 32u);
  EXPECT_NE(nonceOf(a.authorization), nonceOf(b.authorization));
}

TEST(WireForm, MultipartLayout) {
  const std::string dir = MakeTestFolder("multipart", false);
  const std::string bytes("\xFF\xD8\0\r\n--x\xFF", 9);
  WriteFile(dir + "/Photo.JPG", bytes);
  CWeiboParam p = AppendixACredentials();
  p.AddParam("format", "json");
  p.AddParam("content", "\xE4\xB8\xAD %E4 +");  // UTF-8 and text passed as given
  p.AddPicNameParam("pic", (dir + "/Photo.JPG").c_str());
  WireRequest wire;
  ASSERT_EQ(BuildWireRequest("http://h/api/t/add_pic?x=1", EHttpMethod_Post, p, wire, "n", "1",
                             "BOUNDARY"),
            HTTP_RESULT_OK);
  EXPECT_EQ(wire.contentType, "multipart/form-data; boundary=BOUNDARY");
  EXPECT_EQ(wire.url, "http://h/api/t/add_pic?x=1");
  const std::string expected =
      "--BOUNDARY\r\nContent-Disposition: form-data; name=\"format\"\r\n\r\njson\r\n"
      "--BOUNDARY\r\nContent-Disposition: form-data; name=\"content\"\r\n\r\n"
      "\xE4\xB8\xAD %E4 +\r\n"
      "--BOUNDARY\r\nContent-Disposition: form-data; name=\"pic\"; filename=\"Photo.JPG\"\r\n"
      "Content-Type: image/jpeg\r\n\r\n" +
      bytes + "\r\n--BOUNDARY--\r\n";
  EXPECT_EQ(wire.body, expected);
  // Multipart fields are not signed; the URL's query is.
  EXPECT_EQ(wire.baseString.find("format"), std::string::npos);
  EXPECT_NE(wire.baseString.find("x%3D1"), std::string::npos);

  // A generated boundary never occurs in the content.
  ASSERT_EQ(BuildWireRequest("http://h/u", EHttpMethod_Post, p, wire), HTTP_RESULT_OK);
  const std::string boundary = wire.contentType.substr(wire.contentType.find('=') + 1);
  EXPECT_GE(boundary.size(), 32u);
  EXPECT_EQ(bytes.find(boundary), std::string::npos);

  EXPECT_EQ(ContentTypeForFile("a.jpeg"), "image/jpeg");
  EXPECT_EQ(ContentTypeForFile("/x/a.GIF"), "image/gif");
  EXPECT_EQ(ContentTypeForFile("a.png"), "image/png");
  EXPECT_EQ(ContentTypeForFile("a.png.txt"), "application/octet-stream");
  EXPECT_EQ(ContentTypeForFile("jpg"), "application/octet-stream");

  // A file name cannot break out of its quotes.
  FilePart odd{"pic", "a\"b\r\n.png", "image/png", "z"};
  EXPECT_NE(BuildMultipart({}, {odd}, "B").find("filename=\"a%22b%0D%0A.png\""), std::string::npos);
}

TEST(WireForm, BadArgumentsAndUnreadablePictures) {
  const std::string dir = MakeTestFolder("badargs", false);
  CWeiboParam p = AppendixACredentials();
  WireRequest wire;
  EXPECT_EQ(BuildWireRequest(nullptr, EHttpMethod_Get, p, wire), HTTP_RESULT_BAD_ARGUMENT);
  EXPECT_EQ(BuildWireRequest("ftp://h/", EHttpMethod_Get, p, wire), HTTP_RESULT_BAD_ARGUMENT);
  EXPECT_EQ(BuildWireRequest("http://h/", static_cast<EHttpMethod>(2), p, wire),
            HTTP_RESULT_BAD_ARGUMENT);
  CWeiboParam withPic = p;
  withPic.AddPicNameParam("pic", (dir + "/missing.jpg").c_str());
  EXPECT_EQ(BuildWireRequest("http://h/", EHttpMethod_Post, withPic, wire), HTTP_RESULT_FILE_ERROR);
  EXPECT_EQ(BuildWireRequest("http://h/", EHttpMethod_Get, withPic, wire),
            HTTP_RESULT_BAD_ARGUMENT);
  CWeiboParam folder = p;
  folder.AddPicNameParam("pic", dir.c_str());
  EXPECT_EQ(BuildWireRequest("http://h/", EHttpMethod_Post, folder, wire), HTTP_RESULT_FILE_ERROR);
  // Copies are independent.
  EXPECT_EQ(p.Pictures().size(), 0u);

  // Through SyncRequest: nothing comes back for any of them.
  char* data = reinterpret_cast<char*>(1);
  int length = 7;
  EXPECT_EQ(SyncRequest("not a url", EHttpMethod_Get, p, data, length), HTTP_RESULT_BAD_ARGUMENT);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(length, 0);
  EXPECT_EQ(SyncRequest("http://127.0.0.1:1/", EHttpMethod_Post, withPic, data, length),
            HTTP_RESULT_FILE_ERROR);
  EXPECT_EQ(data, nullptr);
  CWeiboParam badProxy = p;
  badProxy.SetProxy(3, 0x7f000001, 1080);
  EXPECT_EQ(SyncRequest("http://127.0.0.1:1/", EHttpMethod_Get, badProxy, data, length),
            HTTP_RESULT_BAD_ARGUMENT);
  CWeiboParam zeroProxy = p;
  zeroProxy.SetProxy(0, 0, 8080);  // an address never entered
  EXPECT_EQ(SyncRequest("http://127.0.0.1:1/", EHttpMethod_Get, zeroProxy, data, length),
            HTTP_RESULT_TRANSPORT);
  EXPECT_EQ(data, nullptr);
}

TEST(OAuthVectors, HmacSha1Rfc2202WithTheKeyChangingBetweenCalls) {
  // The signer keeps the pads of the last key: a change of key, a key longer than the
  // SHA-1 block (hashed first), an empty key and a return to an earlier key all sign right.
  const std::string jefe = "Jefe", longKey(80, '\xaa'), shortKey(20, '\x0b');
  const std::string jefeText = "what do ya want for nothing?";
  const std::string longText = "Test Using Larger Than Block-Size Key - Hash Key First";
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(HmacSha1Base64(shortKey, "Hi There"), "thcxhlUFcmTii8C2+zeMjvFGvgA=");
    EXPECT_EQ(HmacSha1Base64(jefe, jefeText), "7/zfauXrL6LSdBbV8YTfnCWafHk=");
    EXPECT_EQ(HmacSha1Base64(jefe, jefeText), "7/zfauXrL6LSdBbV8YTfnCWafHk=");
    EXPECT_EQ(HmacSha1Base64(longKey, longText), "qkrl4VJy0A6VcFY3zoo7Ve1AIRI=");
    EXPECT_EQ(HmacSha1Base64("", "text"), "8/J29QAWRAE9vSAvGFS9YfkSPQ8=");
  }
}

TEST(Nonces, DistinctAcrossThreadsAndAfterAFork) {
  // Nonces come from a read-ahead buffer per thread: every thread's are its own, and a
  // forked child does not send the nonces its parent is about to send.
  std::vector<std::vector<std::string>> perThread(4);
  std::vector<std::thread> threads;
  for (auto& list : perThread) {
    threads.emplace_back([&list] {
      for (int i = 0; i < 600; ++i) list.push_back(MakeNonce());  // more than one buffer
    });
  }
  for (auto& t : threads) t.join();
  std::set<std::string> seen;
  for (const auto& list : perThread) {
    for (const auto& n : list) {
      ASSERT_EQ(n.size(), 32u);
      ASSERT_EQ(n.find_first_not_of("0123456789abcdef"), std::string::npos) << n;
      seen.insert(n);
    }
  }
  EXPECT_EQ(seen.size(), 4u * 600u);

  MakeNonce();  // the buffer of this thread holds unused bytes now
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::string mine;
    for (int i = 0; i < 4; ++i) mine += MakeNonce();
    _exit(write(pipeFds[1], mine.data(), mine.size()) == ssize_t(mine.size()) ? 0 : 1);
  }
  close(pipeFds[1]);
  std::string childNonces(4 * 32, '\0');
  size_t got = 0;
  while (got < childNonces.size()) {
    const ssize_t n = read(pipeFds[0], childNonces.data() + got, childNonces.size() - got);
    if (n <= 0) break;
    got += size_t(n);
  }
  close(pipeFds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_EQ(got, childNonces.size());
  for (int i = 0; i < 4; ++i) {
    const std::string parentNonce = MakeNonce();
    for (int j = 0; j < 4; ++j) EXPECT_NE(childNonces.substr(size_t(j) * 32, 32), parentNonce);
  }
}
