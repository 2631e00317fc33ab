// Request library end to end: every request goes to the service emulator, which checks
// its OAuth 1.0 signature with oauthlib and records what arrived; proxied requests go
// through real dante (SOCKS4/5) and tinyproxy (HTTP) processes.
#include "tests/support/Emulator.h"

#include <gtest/gtest.h>
#include <openssl/sha.h>

#include <QJsonArray>
#include <QJsonObject>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "qwblog/OAuth.h"
#include "qwblog/QWBlogAPI.h"
#include "tests/qwblog/QwblogTestUtil.h"
#include "tests/support/Proxies.h"
#include "tests/support/TestEnv.h"

namespace {

struct Consumer {
  const char* key;
  const char* secret;
};
const Consumer kTencent{"00fb2186d149f67e8f34efd7ac75d171", "f9199fa9d9c103e71e89e517323d0a5b"};
const Consumer kSina{"2598211882", "44920bf52885822dbcd782c87711b134"};
const Consumer kTwitter{"BSLCBeJaZZ585Dd0qBVGV", "c5HVMUAuU22ZIoM6O5V0NGTZIiRl4sRLPJHaKlGLoY"};

using Answer = qwblogtest::SSyncAnswer;
Answer Call(const std::string& url, EHttpMethod method, const CWeiboParam& params) {
  return qwblogtest::SyncCall(url, method, params);
}

CWeiboParam WithConsumer(const Consumer& c) { return qwblogtest::SignedParams(c.key, c.secret); }

CWeiboParam WithToken(const Consumer& c, const std::string& token, const std::string& secret) {
  CWeiboParam p = qwblogtest::SignedParams(c.key, c.secret, token, secret);
  return p;
}

std::string FormValue(const std::string& answer, const std::string& key) {
  for (const auto& [k, v] : qwblog::ParseFormEncoded(answer)) {
    if (k == key) return v;
  }
  return {};
}

std::string Str(const QJsonValue& v) { return v.toString().toStdString(); }

// Value of name in a recorded [[k, v], ...] list; "<absent>" when missing.
std::string PairValue(const QJsonArray& pairs, const std::string& name) {
  for (const auto& p : pairs) {
    if (Str(p.toArray().at(0)) == name) return Str(p.toArray().at(1));
  }
  return "<absent>";
}

std::string Sha256Hex(const std::string& bytes) {
  unsigned char d[SHA256_DIGEST_LENGTH];
  SHA256(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), d);
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (unsigned char b : d) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

class EmulatorCalls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    QWBlogGlobalInit();
    s_emulator = std::make_unique<CEmulator>();
    s_started = s_emulator->Start(MakeTestFolder("emulator", false));
  }
  static void TearDownTestSuite() { s_emulator.reset(); }

  void SetUp() override {
    ASSERT_TRUE(s_started) << "the emulator did not start";
    m_saved = QWBlogGetOptions();
    QWBlogOptions o = m_saved;
    o.caFile = s_emulator->CaFile();
    QWBlogSetOptions(o);
    s_emulator->Reset();
  }
  void TearDown() override { QWBlogSetOptions(m_saved); }

  static std::string Url(const std::string& role, const std::string& pathAndQuery) {
    const std::string scheme = role == "tencent_open_tls" ? "https" : "http";
    return scheme + "://127.0.0.1:" + std::to_string(s_emulator->Port(role)) + pathAndQuery;
  }

  // Both binding legs as GETs: the request token with callback, then the access token
  // with the emulator's verifier. The request-token answer goes into *rt.
  static Answer BindingLegs(const Consumer& c, const std::string& role,
                            const std::string& requestPath, const std::string& accessPath,
                            const char* callback, Answer* rt) {
    CWeiboParam rtp = WithConsumer(c);
    rtp.AddParam("oauth_callback", callback);
    *rt = Call(Url(role, requestPath), EHttpMethod_Get, rtp);
    const std::string token = FormValue(rt->body, "oauth_token");
    CWeiboParam atp = WithToken(c, token, FormValue(rt->body, "oauth_token_secret"));
    atp.AddParam("oauth_verifier", s_emulator->VerifierFor(token).c_str());
    return Call(Url(role, accessPath), EHttpMethod_Get, atp);
  }

  // The last request the emulator recorded for service.
  static QJsonObject Last(const std::string& service) {
    QJsonArray all = s_emulator->Requests(service);
    return all.isEmpty() ? QJsonObject() : all.last().toObject();
  }
  static void ExpectValid(const QJsonObject& rec) {
    EXPECT_TRUE(rec["oauth"].toObject()["valid"].toBool())
        << Str(rec["path"]) << ": " << Str(rec["oauth"].toObject()["reason"]);
  }

  // Sina binding through the real endpoints: request token, verifier from the
  // emulator, access token. Returns the access pair.
  static std::pair<std::string, std::string> SinaAccess() {
    Answer rt = Call(Url("sina_api", "/oauth/request_token"), EHttpMethod_Get, WithConsumer(kSina));
    EXPECT_EQ(rt.result, HTTP_RESULT_OK);
    const std::string token = FormValue(rt.body, "oauth_token");
    const std::string secret = FormValue(rt.body, "oauth_token_secret");
    EXPECT_FALSE(token.empty()) << rt.body;
    CWeiboParam p = WithToken(kSina, token, secret);
    p.AddParam("oauth_verifier", s_emulator->VerifierFor(token).c_str());
    Answer at = Call(Url("sina_api", "/oauth/access_token"), EHttpMethod_Post, p);
    EXPECT_EQ(at.result, HTTP_RESULT_OK);
    EXPECT_EQ(FormValue(at.body, "user_id"), "1904178193") << at.body;
    return {FormValue(at.body, "oauth_token"), FormValue(at.body, "oauth_token_secret")};
  }

  static std::unique_ptr<CEmulator> s_emulator;
  static bool s_started;
  QWBlogOptions m_saved;
};

std::unique_ptr<CEmulator> EmulatorCalls::s_emulator;
bool EmulatorCalls::s_started = false;

}  // namespace

TEST_F(EmulatorCalls, BindingAndSignedGetAndForm) {
  auto [token, secret] = SinaAccess();
  ASSERT_FALSE(token.empty());
  QJsonArray recs = s_emulator->Requests("sina");
  ASSERT_EQ(recs.size(), 2);
  for (const auto& r : recs) ExpectValid(r.toObject());
  const QJsonObject access = recs.at(1).toObject();
  EXPECT_EQ(Str(access["method"]), "POST");
  EXPECT_FALSE(Str(access["oauth"].toObject()["params"].toObject()["oauth_verifier"]).empty());

  // GET: a pair already in the URL and one added; both arrive and are signed.
  CWeiboParam poll = WithToken(kSina, token, secret);
  poll.AddParam("since_id", "1");
  Answer a =
      Call(Url("sina_api", "/statuses/unread.json?with_new_status=1"), EHttpMethod_Get, poll);
  EXPECT_EQ(a.result, HTTP_RESULT_OK);
  EXPECT_NE(a.body.find("\"new_status\""), std::string::npos) << a.body;
  QJsonObject rec = Last("sina");
  ExpectValid(rec);
  EXPECT_EQ(PairValue(rec["query"].toArray(), "with_new_status"), "1");
  EXPECT_EQ(PairValue(rec["query"].toArray(), "since_id"), "1");
  EXPECT_EQ(Str(rec["oauth"].toObject()["params"].toObject()["oauth_token"]), token);

  // POST form: Chinese text and the characters percent-encoding treats specially.
  const std::string text =
      "\xE4\xB8\xAD\xE6\x96\x87\xE5\xBE\xAE\xE5\x8D\x9A ~ * ' ( ) ! a+b=c&d%20";
  CWeiboParam post = WithToken(kSina, token, secret);
  post.AddParam("status", text.c_str());
  a = Call(Url("sina_api", "/statuses/update.json"), EHttpMethod_Post, post);
  EXPECT_EQ(a.result, HTTP_RESULT_OK);
  EXPECT_NE(a.body.find("\"id\""), std::string::npos) << a.body;
  rec = Last("sina");
  ExpectValid(rec);
  EXPECT_EQ(PairValue(rec["form"].toArray(), "status"), text);
  for (const char* reserved :
       {"strCustomKey", "strCustomSecrect", "strTokenKey", "strTokenSecrect"}) {
    EXPECT_EQ(PairValue(rec["form"].toArray(), reserved), "<absent>");
    EXPECT_EQ(PairValue(rec["query"].toArray(), reserved), "<absent>");
  }

  // The same text again: the service's error answer (HTTP 400) reaches the caller.
  a = Call(Url("sina_api", "/statuses/update.json"), EHttpMethod_Post, post);
  EXPECT_EQ(a.result, HTTP_RESULT_OK);
  EXPECT_NE(a.body.find("repeated weibo text"), std::string::npos) << a.body;
}

TEST_F(EmulatorCalls, WrongSecretIsRefusedAndTheRefusalComesBack) {
  // The negative control for every "valid" above: the verifier does refuse.
  CWeiboParam p = qwblogtest::SignedParams(kSina.key, "not-the-secret");
  Answer a = Call(Url("sina_api", "/oauth/request_token"), EHttpMethod_Get, p);
  EXPECT_EQ(a.result, HTTP_RESULT_OK);
  EXPECT_FALSE(a.dataNull);
  EXPECT_FALSE(a.body.empty());
  EXPECT_EQ(FormValue(a.body, "oauth_token"), "");
  QJsonObject rec = Last("sina");
  EXPECT_FALSE(rec["oauth"].toObject()["valid"].toBool());
}

TEST_F(EmulatorCalls, MultipartWithPicture) {
  // Tencent binding over https gives the access pair for the upload.
  Answer rt;
  Answer at = BindingLegs(kTencent, "tencent_open_tls", "/cgi-bin/request_token",
                          "/cgi-bin/access_token", "null", &rt);
  ASSERT_EQ(rt.result, HTTP_RESULT_OK);
  EXPECT_EQ(FormValue(rt.body, "oauth_callback_confirmed"), "true") << rt.body;
  ASSERT_EQ(at.result, HTTP_RESULT_OK);
  EXPECT_EQ(FormValue(at.body, "name"), "tencent_user") << at.body;
  for (const auto& r : s_emulator->Requests("tencent")) ExpectValid(r.toObject());

  const std::string dir = MakeTestFolder("picture", false);
  std::string picture("\x89PNG\r\n\x1a\n", 8);
  for (unsigned i = 0; i < 300000; ++i) picture.push_back(static_cast<char>((i * 7919u) >> 3));
  picture += "\r\n--";  // bytes that look like a part boundary must survive
  ASSERT_TRUE(WriteFile(dir + "/photo.png", picture));

  const std::string content = "\xE5\x9B\xBE\xE7\x89\x87 ~*'()! x";
  CWeiboParam p = WithToken(kTencent, FormValue(at.body, "oauth_token"),
                            FormValue(at.body, "oauth_token_secret"));
  p.AddParam("format", "json");
  p.AddParam("content", content.c_str());
  p.AddParam("clientip", "203.0.113.7");
  p.AddPicNameParam("pic", (dir + "/photo.png").c_str());
  Answer a = Call(Url("tencent_open", "/api/t/add_pic"), EHttpMethod_Post, p);
  EXPECT_EQ(a.result, HTTP_RESULT_OK);
  EXPECT_NE(a.body.find("\"ret\":0"), std::string::npos) << a.body;
  QJsonObject rec = Last("tencent");
  ExpectValid(rec);
  EXPECT_EQ(PairValue(rec["form"].toArray(), "content"), content);
  EXPECT_EQ(PairValue(rec["form"].toArray(), "format"), "json");
  ASSERT_EQ(rec["files"].toArray().size(), 1);
  QJsonObject file = rec["files"].toArray().at(0).toObject();
  EXPECT_EQ(Str(file["name"]), "pic");
  EXPECT_EQ(Str(file["filename"]), "photo.png");
  EXPECT_EQ(file["size"].toInteger(), static_cast<qint64>(picture.size()));
  EXPECT_EQ(Str(file["sha256"]), Sha256Hex(picture));
}

TEST_F(EmulatorCalls, HttpsNeedsTheCaFileAndTwitterBinds) {
  QWBlogOptions o = QWBlogGetOptions();
  o.caFile.clear();
  QWBlogSetOptions(o);
  CWeiboParam p = WithConsumer(kTencent);
  p.AddParam("oauth_callback", "null");
  Answer a = Call(Url("tencent_open_tls", "/cgi-bin/request_token"), EHttpMethod_Get, p);
  EXPECT_EQ(a.result, HTTP_RESULT_TRANSPORT);
  EXPECT_TRUE(a.dataNull);
  o.caFile = s_emulator->CaFile();
  QWBlogSetOptions(o);
  a = Call(Url("tencent_open_tls", "/cgi-bin/request_token"), EHttpMethod_Get, p);
  EXPECT_EQ(a.result, HTTP_RESULT_OK);
  EXPECT_FALSE(FormValue(a.body, "oauth_token").empty()) << a.body;
  QJsonObject rec = Last("tencent");
  EXPECT_EQ(Str(rec["scheme"]), "https");
  ExpectValid(rec);

  // Twitter: both binding legs are GETs, the verifier travels as a protocol parameter.
  Answer rt;
  Answer at = BindingLegs(kTwitter, "twitter_api", "/oauth/request_token", "/oauth/access_token",
                          "oob", &rt);
  ASSERT_EQ(rt.result, HTTP_RESULT_OK);
  ASSERT_EQ(at.result, HTTP_RESULT_OK);
  EXPECT_EQ(FormValue(at.body, "screen_name"), "twitter_user") << at.body;
  for (const auto& r : s_emulator->Requests("twitter")) ExpectValid(r.toObject());
}

TEST_F(EmulatorCalls, ThroughRealProxies) {
  CProxies proxies;
  ASSERT_TRUE(proxies.Start(MakeTestFolder("proxies", false)));
  const unsigned long loopback = (127UL << 24) | 1UL;
  struct Case {
    int type;
    int port;
    const char* peer;
  } cases[] = {{4, proxies.SocksPort(), CProxies::kSocksEgress},
               {7, proxies.SocksPort(), CProxies::kSocksEgress},
               {0, proxies.HttpPort(), CProxies::kHttpEgress}};
  for (const auto& c : cases) {
    for (const char* role : {"sina_api", "tencent_open_tls"}) {
      CWeiboParam p = WithConsumer(role[0] == 's' ? kSina : kTencent);
      if (role[0] == 't') p.AddParam("oauth_callback", "null");
      p.SetProxy(c.type, loopback, c.port);
      const std::string path = role[0] == 's' ? "/oauth/request_token" : "/cgi-bin/request_token";
      Answer a = Call(Url(role, path), EHttpMethod_Get, p);
      EXPECT_EQ(a.result, HTTP_RESULT_OK) << "type " << c.type << " " << role;
      EXPECT_FALSE(FormValue(a.body, "oauth_token").empty()) << a.body;
      QJsonObject rec = Last(role[0] == 's' ? "sina" : "tencent");
      EXPECT_EQ(Str(rec["peer"]), c.peer) << "type " << c.type << " " << role;
      ExpectValid(rec);
      if (c.type == 0 && role[0] == 's') {
        EXPECT_NE(Str(rec["headers"].toObject()["Via"]).find("tinyproxy"), std::string::npos);
      }
    }
  }
  const std::string log = proxies.DanteLog();
  EXPECT_NE(log.find("pass(1)"), std::string::npos) << log;  // SOCKS4
  EXPECT_NE(log.find("pass(2)"), std::string::npos) << log;  // SOCKS5

  // Type 7 hands the host name to the proxy. The name's first label is longer than DNS
  // allows, so the resolver refuses it at once and no query leaves the machine.
  const std::string host = "no-such-host-" + std::string(64, 'q') + ".invalid";
  for (int type : {4, 7}) {
    CWeiboParam p = WithConsumer(kSina);
    p.SetProxy(type, loopback, proxies.SocksPort());
    Answer a = Call("http://" + host + "/", EHttpMethod_Get, p);
    EXPECT_EQ(a.result, HTTP_RESULT_TRANSPORT);
    EXPECT_TRUE(a.dataNull);
    const bool proxyTriedTheName =
        proxies.DanteLog().find("could not resolve hostname \"" + host + "\"") != std::string::npos;
    // SOCKS4 resolves on this side and fails before reaching dante.
    EXPECT_EQ(proxyTriedTheName, type == 7) << "type " << type;
  }
}

TEST_F(EmulatorCalls, FiveThreadsAtOnce) {
  auto [token, secret] = SinaAccess();
  ASSERT_FALSE(token.empty());
  std::atomic<int> right{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 5; ++t) {
    threads.emplace_back([&, t, token = token, secret = secret] {
      for (int i = 0; i < 4; ++i) {
        if (t == 0) QWBlogSetOptions(QWBlogGetOptions());  // options change meanwhile
        const std::string text =
            "\xE7\xBA\xBF\xE7\xA8\x8B " + std::to_string(t) + "-" + std::to_string(i);
        CWeiboParam p = WithToken(kSina, token, secret);
        p.AddParam("status", text.c_str());
        Answer a = Call(Url("sina_api", "/statuses/update.json"), EHttpMethod_Post, p);
        if (a.result == HTTP_RESULT_OK &&
            a.body.find("\"text\":\"" + text + "\"") != std::string::npos) {
          ++right;
        } else {
          ADD_FAILURE() << "thread " << t << ": " << a.result << " " << a.body;
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(right.load(), 20);
  QJsonArray recs = s_emulator->Requests("sina");
  int valid = 0;
  for (const auto& r : recs) valid += r.toObject()["oauth"].toObject()["valid"].toBool() ? 1 : 0;
  EXPECT_EQ(valid, recs.size());
  EXPECT_EQ(recs.size(), 22);
}
