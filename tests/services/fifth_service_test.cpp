// Adding a service is one table row, its answer reader and its tests: a fifth service,
// defined here only, binds and posts through the service model alone, with real signed
// requests, against a small in-test stand-in of its server.
#include <gtest/gtest.h>

#include "services/Readers.h"
#include "settings/Profile.h"
#include "tests/qwblog/RawServer.h"
#include "tests/services/FakeServices.h"

using namespace servicetest;
using Strings = std::vector<std::string>;

namespace {

constexpr auto kFifth = static_cast<EService>(kServiceCount);
int g_port = 0;

// The row's hooks: its server's address, its consumer pair, its post and its answers.
std::string FifthAddress(const SEndpoint& endpoint, const std::string& tail) {
  return "http://127.0.0.1:" + std::to_string(g_port) + endpoint.path + tail;
}
bool FifthConsumer(EService, CWeiboParam& params) {
  params.AddParam(QWB_CUSTOM_KEY, "fk");
  params.AddParam(QWB_CUSTOM_SECRET, "fs");
  return true;
}
void AddFifthPost(CWeiboParam& params, const std::string& text, bool, const std::string&) {
  params.AddParam("text", text.c_str());
}
bool ReadFifthPost(const SServiceRow& row, const std::string& answer, Strings& lines) {
  const bool posted = JsonTextMember(answer, "state") == "posted";
  lines = {posted ? row.post.successLine : row.post.failureLine};
  return posted;
}

constexpr SEndpoint kNone = {EHost::TencentOpen, false, nullptr};
// clang-format off
const SServiceRow kFifthRow = {
    kFifth, "Fifth", true, false, "not bound",
    {"binding Fifth...", {EHost::TencentOpen, false, "/oauth/request_token"}, "oob", false,
     {EHost::TencentOpen, false, "/oauth/authorize"}, {EHost::TencentOpen, false, "/oauth/access_token"},
     EHttpMethod_Post, "user_id", "screen_name", "no request token", "request token refused:",
     "no access token", "access token refused:", kNone, EHttpMethod_Get, nullptr, false},
    {"posting to Fifth...", "posted to Fifth", "Fifth refused the post", {EHost::TencentOpen, false, "/statuses"},
     kNone, false, AddFifthPost, ReadFifthPost},
    nullptr, FifthAddress, FifthConsumer};
// clang-format on

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
  coretest::FreshSettingsFolder("fifth");
  RawServer server(Serve);
  g_port = server.Port();
  CServiceState state(kServiceCount + 1);
  SFakeServices fake;
  SServiceIo io = fake.Io();
  io.request = [](const std::string& url, EHttpMethod method, const CWeiboParam& params,
                  bool twitterProxy) {
    return ExecuteServiceRequest(url, method, params, twitterProxy, CProxySettings{});
  };
  fake.code = "v5";

  ASSERT_TRUE(BindAccount(kFifthRow, state, io));
  EXPECT_EQ(fake.pages, Strings{server.Url("/oauth/authorize?oauth_token=rt5")});
  EXPECT_EQ(fake.log, (Strings{"binding Fifth...", "绑定成功(fifth)!"}));
  const SAccountSnapshot account = state.Account(kFifth);
  EXPECT_TRUE(account.bound);
  EXPECT_EQ(account.accessToken + "/" + account.userId, "at5/55");
  EXPECT_EQ(ProfileString(false, "FifthAccessToken", "", ""), "at5");
  EXPECT_FALSE(state.Account(EService::Tencent).bound) << "the four services are untouched";

  fake.log.clear();
  EXPECT_TRUE(PostStatus(kFifthRow, state, io, "hello", ""));
  EXPECT_EQ(fake.log, (Strings{"posting to Fifth...", "posted to Fifth"}));

  // A wrong code: the server refuses, the message box says so, the account stays.
  fake.log.clear();
  fake.code = "wrong";
  EXPECT_FALSE(BindAccount(kFifthRow, state, io));
  EXPECT_EQ(fake.boxes, Strings{"no access token"});
  EXPECT_EQ(state.Account(kFifth).accessToken, "at5");
  EXPECT_EQ(server.Requests().size(), 5u);
}

}  // namespace
