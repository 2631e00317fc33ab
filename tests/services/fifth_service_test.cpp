// Adding a service is one row, its answer reader and its tests: a fifth service, defined
// here only, binds and posts through the common flows alone, with real signed requests,
// against a small in-test stand-in of its server.
#include <gtest/gtest.h>

#include "bind/BindFlow.h"
#include "post/PostFlow.h"
#include "services/Readers.h"
#include "settings/Profile.h"
#include "tests/qwblog/RawServer.h"
#include "tests/services/FakeServices.h"

using namespace servicetest;
using Strings = std::vector<std::string>;

namespace {

// The row's hooks: its post and its answers.
void AddFifthPost(CWeiboParam& params, const std::string& text, bool, const std::string&) {
  params.AddParam("text", text.c_str());
}
bool ReadFifthPost(const SServiceRow& row, const SHttpAnswer& answer,
                   std::vector<SUserText>& lines) {
  const SPostAnswer post = ReadPostJson(answer);
  const bool posted = post.ok && JsonText(post.body, "state") == "posted";
  lines = {posted ? row.post.successLine : row.post.failureLine};
  return posted;
}

// Its server: the test points this host at the in-test server through Services.ini; the
// built-in value is a closed port on loopback, so nothing leaves the machine.
constexpr SHostDef kFifthHost = {"FifthServer", "127.0.0.1:1"};
// clang-format off
const SServiceRow kFifthRow = {
    .keyPrefix = "Fifth",
    .storesUserId = true,
    .proxyPicked = false,
    .notBoundText = "not bound",
    .consumer = {"Fifth", "hn", "hv"},  // "fk" and "fs", stored scrambled
    .hosts = {&kFifthHost},
    .bind = {"binding Fifth...", {&kFifthHost, false, "/oauth/request_token"}, "oob", false,
             {&kFifthHost, false, "/oauth/authorize"}, {&kFifthHost, false, "/oauth/access_token"},
             EHttpMethod_Post, "user_id", "screen_name", "no request token", "request token refused:",
             "no access token", "access token refused:", {}, EHttpMethod_Get, nullptr, false},
    .post = {"posting to Fifth...", "posted to Fifth", "Fifth refused the post",
             {&kFifthHost, false, "/statuses"}, {}, false, AddFifthPost, ReadFifthPost},
    .poll = nullptr,
    .window = {},
};
// clang-format on

// A session whose requests really go out, signed, over the usual request path.
struct SRealRequests : SFakeServices {
  std::string Request(const std::string& url, EHttpMethod method, CWeiboParam params,
                      bool proxyPicked) override {
    return CSession::Request(url, method, std::move(params), proxyPicked);
  }
  SHttpAnswer SignedRequest(const std::string& url, EHttpMethod method, CWeiboParam params,
                            bool proxyPicked) override {
    return CSession::SignedRequest(url, method, std::move(params), proxyPicked);
  }
};

bool Has(const std::string& request, const std::string& text) {
  return request.find(text) != std::string::npos;
}

// The server: each endpoint answers only a request signed with the pair it expects.
void Serve(RawServer&, int fd, const std::string& req) {
  const bool consumer = Has(req, "oauth_consumer_key=\"fk\"");
  std::string body;
  if (req.rfind("GET /oauth/request_token", 0) == 0 && consumer &&
      Has(req, "oauth_callback=\"oob\""))
    body = "oauth_token=rt5&oauth_token_secret=rs5";
  else if (req.rfind("POST /oauth/access_token", 0) == 0 && consumer &&
           Has(req, "oauth_token=\"rt5\"") && Has(req, "oauth_verifier=\"v5\""))
    body = "oauth_token=at5&oauth_token_secret=as5&user_id=55&screen_name=fifth";
  else if (req.rfind("POST /statuses", 0) == 0 && consumer && Has(req, "oauth_token=\"at5\"") &&
           Has(req, "text=hello"))
    body = R"({"state":"posted"})";
  RawServer::SendAll(fd, RawServer::Response(body.empty() ? 401 : 200, body));
}

TEST(FifthService, BindsAndPostsThroughTheModelAlone) {
  const std::string dir = coretest::FreshSettingsFolder("fifth");
  RawServer server(Serve);
  coretest::Spit(dir + "/Services.ini",
                 "[Hosts]\r\nFifthServer=127.0.0.1:" + std::to_string(server.Port()) + "\r\n");
  ReloadServiceConfig();
  SRealRequests fake;
  fake.code = "v5";

  ASSERT_TRUE(BindAccount(fake, kFifthRow));
  EXPECT_EQ(fake.pages, Strings{server.Url("/oauth/authorize?oauth_token=rt5")});
  EXPECT_EQ(fake.log, (Strings{"binding Fifth...", "绑定成功(fifth)!"}));
  const SAccountSnapshot account = fake.Account(kFifthRow);
  EXPECT_TRUE(account.bound);
  EXPECT_EQ(account.accessToken + "/" + account.userId, "at5/55");
  EXPECT_EQ(ProfileString(false, "FifthAccessToken", "", ""), "at5");
  for (const SServiceRow* row : ServiceRows())
    EXPECT_FALSE(fake.Account(*row).bound)
        << row->keyPrefix << ": the registered services are untouched";

  fake.log.clear();
  EXPECT_TRUE(PostStatus(fake, kFifthRow, "hello", ""));
  EXPECT_EQ(fake.log, (Strings{"posting to Fifth...", "posted to Fifth"}));

  // A wrong code: the server refuses, the message box says so, the account stays.
  fake.log.clear();
  fake.code = "wrong";
  EXPECT_FALSE(BindAccount(fake, kFifthRow));
  EXPECT_EQ(fake.boxes, Strings{"no access token"});
  EXPECT_EQ(fake.Account(kFifthRow).accessToken, "at5");
  EXPECT_EQ(server.Requests().size(), 5u);
}

}  // namespace
