// Request execution with a stand-in request library: the proxy rule, the library
// contract (null data, failures, zero bytes) and the conversion of the answer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "net/ServiceRequest.h"

namespace {

// What the stand-in library saw and what it answers.
struct CFakeLibrary {
  HTTP_RESULTCODE result = HTTP_RESULT_OK;
  bool giveData = true;
  std::string body;
  int length = -1;  // -1: body.size()
  // Seen:
  int calls = 0;
  std::string url;
  EHttpMethod method = EHttpMethod_Get;
  CWeiboParam params;
  char* handedOut = nullptr;
  int releases = 0;
  void* released = nullptr;
};
CFakeLibrary g_fake;

HTTP_RESULTCODE FakeRequest(const char* url, EHttpMethod method, CWeiboParam params, char*& data,
                            int& length) {
  ++g_fake.calls;
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(length, 0);
  g_fake.url = url;
  g_fake.method = method;
  g_fake.params = params;
  if (g_fake.giveData) {
    data = static_cast<char*>(std::malloc(g_fake.body.size() + 1));
    std::memcpy(data, g_fake.body.data(), g_fake.body.size());
    data[g_fake.body.size()] = '\0';
    g_fake.handedOut = data;
  }
  length = g_fake.length >= 0 ? g_fake.length : static_cast<int>(g_fake.body.size());
  return g_fake.result;
}

void FakeRelease(void* data) {
  ++g_fake.releases;
  g_fake.released = data;
  std::free(data);
}

std::string RunRequest(bool isTwitter, const CProxySettings& proxy,
                       CWeiboParam params = CWeiboParam()) {
  return ExecuteServiceRequest("http://127.0.0.1:1/statuses/update.json", EHttpMethod_Post, params,
                               isTwitter, proxy, FakeRequest, FakeRelease);
}

class ServiceRequest : public ::testing::Test {
 protected:
  void SetUp() override { g_fake = CFakeLibrary(); }
  void TearDown() override {
    // Anything handed out and not released by the code under test is freed here.
    if (g_fake.handedOut && g_fake.releases == 0) std::free(g_fake.handedOut);
  }
};

}  // namespace

TEST(ProxyRule, TwitterUsesAnyRangeButZeroOthersOnlyTwo) {
  for (int range : {0, 1, 2, 3, -1, 7}) {
    EXPECT_EQ(UsesProxy(range, true), range != 0) << range;
    EXPECT_EQ(UsesProxy(range, false), range == 2) << range;
  }
}

TEST_F(ServiceRequest, ProxyIsSetOnlyWhenTheRuleSaysSoWithValuesUnchanged) {
  struct Row {
    int range;
    bool twitterProxied, othersProxied;
  } rows[] = {
      {0, false, false}, {1, true, false}, {2, true, true}, {5, true, false}, {-3, true, false}};
  for (const Row& row : rows) {
    CProxySettings proxy{row.range, 7, 0xC0A80101ul, 1080};
    for (bool isTwitter : {true, false}) {
      g_fake = CFakeLibrary();
      g_fake.body = "ok";
      CWeiboParam mine;
      mine.AddParam("status", "hi");
      EXPECT_EQ(RunRequest(isTwitter, proxy, mine), "ok");
      bool expected = isTwitter ? row.twitterProxied : row.othersProxied;
      EXPECT_EQ(g_fake.params.HasProxy(), expected) << row.range << " " << isTwitter;
      if (expected) {
        EXPECT_EQ(g_fake.params.ProxyType(), 7);
        EXPECT_EQ(g_fake.params.ProxyAddress(), 0xC0A80101ul);
        EXPECT_EQ(g_fake.params.ProxyPort(), 1080);
      }
      EXPECT_FALSE(mine.HasProxy()) << "the caller's set is never changed";
      EXPECT_EQ(g_fake.params.Params(), mine.Params());
    }
  }
}

TEST_F(ServiceRequest, RangeTwoWithANeverSavedAddressStillSetsTheProxy) {
  g_fake.body = "x";
  RunRequest(false, CProxySettings{2, 0, 0, 0});
  EXPECT_TRUE(g_fake.params.HasProxy());
  EXPECT_EQ(g_fake.params.ProxyAddress(), 0ul);
  EXPECT_EQ(g_fake.url, "http://127.0.0.1:1/statuses/update.json");
  EXPECT_EQ(g_fake.method, EHttpMethod_Post);
}

TEST_F(ServiceRequest, NoAnswerGivesEmptyTextAndNothingIsReleased) {
  g_fake.giveData = false;
  EXPECT_EQ(RunRequest(false, {}), "");
  EXPECT_EQ(g_fake.releases, 0);

  g_fake = CFakeLibrary();
  g_fake.result = HTTP_RESULT_TRANSPORT;
  g_fake.body = "partial";
  EXPECT_EQ(RunRequest(false, {}), "");
  EXPECT_EQ(g_fake.releases, 0) << "a failed request hands nothing back to release";
}

TEST_F(ServiceRequest, AnswerIsCopiedToItsFirstZeroByteAndReleasedOnce) {
  g_fake.body = std::string("ret=0\0hidden", 12);
  EXPECT_EQ(RunRequest(true, {}), "ret=0");
  EXPECT_EQ(g_fake.releases, 1);
  EXPECT_EQ(g_fake.released, g_fake.handedOut);

  g_fake = CFakeLibrary();
  g_fake.body = "abcdef";
  g_fake.length = 3;
  EXPECT_EQ(RunRequest(true, {}), "abc") << "only length bytes are taken";

  g_fake = CFakeLibrary();
  g_fake.body = "";
  EXPECT_EQ(RunRequest(true, {}), "");
  EXPECT_EQ(g_fake.releases, 1) << "an empty answer is still released";
}

TEST_F(ServiceRequest, Utf8AnswerArrivesAsAnsiText) {
  g_fake.body = "{\"name\":\"\xE5\xBC\xA0\xE4\xB8\x89\"}";
  EXPECT_EQ(RunRequest(false, {}), g_fake.body);
  g_fake = CFakeLibrary();
  g_fake.body = "bad \xC0 byte";
  EXPECT_EQ(RunRequest(false, {}), "bad \xEF\xBF\xBD byte");
}
