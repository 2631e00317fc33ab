// Consumer credentials, the parameter sets built from them, and Services.ini.
#include "net/Credentials.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "net/ServiceHosts.h"
#include "qwblog/QWBlogAPI.h"
#include "services/Registry.h"
#include "tests/core/CoreTestUtil.h"

using namespace coretest;

namespace {

// The four services with consumer pairs, by their settings key prefixes.
const SConsumerDef& Consumer(const char* keyPrefix) { return FindServiceRow(keyPrefix)->consumer; }
const char* const kServices[] = {"QQ", "Sina", "Sohu", "Twitter"};

constexpr SHostDef kTencentOpen = {"TencentOpen", "open.t.qq.com"};
constexpr SHostDef kTencentOpenSecure = {"TencentOpenSecure", "open.t.qq.com"};
constexpr SHostDef kSinaApi = {"SinaApi", "api.t.sina.com.cn"};
constexpr SHostDef kSohuApi = {"SohuApi", "api.t.sohu.com"};

// FNV-1a of the usable consumer values, so the test holds no credential in clear.
uint64_t Fnv1a(const std::string& text) {
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

void UseServicesIni(const std::string& name, const std::string& text) {
  std::string dir = FreshSettingsFolder(name);
  if (!text.empty()) Spit(dir + "/Services.ini", text);
  ReloadServiceConfig();
}

}  // namespace

TEST(Credentials, UnscrambleLowersByTwoThreeOne) {
  EXPECT_EQ(UnscrambleCredential(""), "");
  EXPECT_EQ(UnscrambleCredential("c"), "a");
  EXPECT_EQ(UnscrambleCredential("ddd"), "bac");
  EXPECT_EQ(UnscrambleCredential("dddd"), "bacb");
  EXPECT_EQ(UnscrambleCredential(std::string("\x01\x02\x00", 3)), std::string("\xFF\xFF\xFF", 3))
      << "wraps modulo 256";
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(UnscrambleCredential(ScrambleCredential(all)), all);
  EXPECT_EQ(ScrambleCredential(UnscrambleCredential(all)), all);
}

TEST(Credentials, StoredFormsAndTheirUsableValues) {
  const size_t lengths[4][2] = {{32, 32}, {10, 32}, {20, 40}, {21, 42}};
  const uint64_t hashes[4][2] = {{0xF48402FB1882693EULL, 0x71E3EB12FFE168A0ULL},
                                 {0xFF3179B40086374BULL, 0x2B993326EDA17B39ULL},
                                 {0xCF08AB759C45353EULL, 0xF8C7D4C69502DE06ULL},
                                 {0x4B3928278087A3D7ULL, 0x9C7C7641A93F3F2AULL}};
  UseServicesIni("builtin", "");
  for (int i = 0; i < 4; ++i) {
    std::string key = Consumer(kServices[i]).storedKey;
    std::string secret = Consumer(kServices[i]).storedSecret;
    EXPECT_EQ(key.size(), lengths[i][0]) << i;
    EXPECT_EQ(secret.size(), lengths[i][1]) << i;
    for (char c : key + secret) EXPECT_TRUE(c >= 0x21 && c <= 0x7E) << i;
    EXPECT_EQ(Fnv1a(UnscrambleCredential(key)), hashes[i][0]) << i;
    EXPECT_EQ(Fnv1a(UnscrambleCredential(secret)), hashes[i][1]) << i;
    EXPECT_EQ(ConsumerKey(Consumer(kServices[i])), UnscrambleCredential(key));
    EXPECT_EQ(ConsumerSecret(Consumer(kServices[i])), UnscrambleCredential(secret));
  }
  EXPECT_EQ(ConsumerKey(Consumer("Sina")).find_first_not_of("0123456789"), std::string::npos)
      << "Sina's consumer key is a number";
}

TEST(Credentials, TokenParamsComeInOrder) {
  UseServicesIni("params", "[Consumers]\nSohuKey=ck\nSohuSecret=cs\n");
  CWeiboParam params;
  EXPECT_TRUE(AddTokenParams(Consumer("Sohu"), params, "tok", "sec"));
  using Pair = std::pair<std::string, std::string>;
  std::vector<Pair> expected = {{"strCustomKey", "ck"},
                                {"strCustomSecrect", "cs"},
                                {"strTokenKey", "tok"},
                                {"strTokenSecrect", "sec"}};
  EXPECT_EQ(params.Params(), expected);

  CWeiboParam unbound;
  AddTokenParams(Consumer("Sina"), unbound, "", "");
  ASSERT_EQ(unbound.Params().size(), 4u);
  EXPECT_EQ(unbound.Params()[0].second, UnscrambleCredential(Consumer("Sina").storedKey));
  EXPECT_EQ(unbound.Params()[2], Pair("strTokenKey", ""));
}

TEST(ServiceHosts, ParsesRedirectionsAndRejectsNonsense) {
  CServiceConfig config = ParseServiceConfig(
      "\xEF\xBB\xBF[Hosts]\r\n"
      "TencentOpen = 127.0.0.1:8080\r\n"
      "TencentOpenSecure=127.0.0.1:8443\r\n"
      "SinaApi=evil.example/path?x\r\n"
      "SohuApi=\r\n"
      "IpEchoUrl=http://127.0.0.1:8080/getip.asp\r\n"
      "[TLS]\r\nCAFile=/etc/emulator/ca.pem\r\n"
      "[Consumers]\r\nTwitterKey=tk\r\n");
  EXPECT_EQ(config.Host(kTencentOpen), "127.0.0.1:8080");
  EXPECT_EQ(config.Host(kTencentOpenSecure), "127.0.0.1:8443");
  EXPECT_EQ(config.Host(kSinaApi), "api.t.sina.com.cn");
  EXPECT_EQ(config.Host(kSohuApi), "api.t.sohu.com");
  EXPECT_EQ(config.ipEchoUrl, "http://127.0.0.1:8080/getip.asp");
  EXPECT_EQ(config.caFile, "/etc/emulator/ca.pem");
  EXPECT_EQ(config.Consumer("TwitterKey"), "tk");
  EXPECT_EQ(config.Consumer("TwitterSecret"), "");
  EXPECT_EQ(ParseServiceConfig("[Hosts]\nIpEchoUrl=ftp://x/getip.asp").ipEchoUrl,
            ParseServiceConfig("").ipEchoUrl);
}

TEST(ServiceHosts, FileInTheSettingsFolderDrivesUrlsPortsCaAndConsumers) {
  UseServicesIni("file",
                 "[Hosts]\nTencentOpenSecure=127.0.0.1:8443\nSinaApi=127.0.0.1:8080\n"
                 "IpEchoUrl=http://127.0.0.1:8081/ip/getip.asp\n"
                 "[TLS]\nCAFile=ca.pem\n[Consumers]\nSinaKey=1234567890\n");
  Spit(std::string(std::getenv("PLUMFINCH_CONFIG_DIR")) + "/ca.pem", kTestCertificate);
  ReloadServiceConfig();
  EXPECT_EQ(HttpsUrl(kTencentOpenSecure, "/cgi-bin/request_token"),
            "https://127.0.0.1:8443/cgi-bin/request_token");
  EXPECT_EQ(HttpUrl(kSinaApi, "/oauth/request_token"), "http://127.0.0.1:8080/oauth/request_token");
  EXPECT_EQ(HttpUrl(kSohuApi, "/x"), "http://api.t.sohu.com/x");
  EXPECT_EQ(IpEchoPort(), 8081);
  EXPECT_EQ(ConsumerKey(Consumer("Sina")), "1234567890");
  EXPECT_EQ(ConsumerSecret(Consumer("Sina")), UnscrambleCredential(Consumer("Sina").storedSecret));
  std::string folder = std::getenv("PLUMFINCH_CONFIG_DIR");
  EXPECT_EQ(ServiceConfig().caFile, folder + "/ca.pem") << "relative to the settings folder";
  EXPECT_EQ(QWBlogGetOptions().caFile, folder + "/ca.pem");

  QWBlogOptions options = QWBlogGetOptions();
  options.totalTimeoutS = 77;
  QWBlogSetOptions(options);
  UseServicesIni("file-no-ca", "[Hosts]\nIpEchoUrl=http://[::1]/getip.asp\n");
  EXPECT_EQ(QWBlogGetOptions().caFile, "") << "the CA file set before is taken back";
  EXPECT_EQ(QWBlogGetOptions().totalTimeoutS, 77) << "other options are kept";
  EXPECT_EQ(IpEchoPort(), 80);
  UseServicesIni("file-bad-port", "[Hosts]\nIpEchoUrl=http://127.0.0.1:99999/getip.asp\n");
  EXPECT_EQ(IpEchoPort(), 80);
}

TEST(ServiceHosts, ReadersAndAReloaderRunTogether) {
  UseServicesIni("threads", "[Hosts]\nSinaApi=127.0.0.1:1\n");
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0};
  std::vector<std::thread> readers;
  for (int t = 0; t < 3; ++t) {
    readers.emplace_back([&] {
      while (!stop) {
        std::string url = HttpUrl(kSinaApi, "/p");
        if (url != "http://127.0.0.1:1/p") ++bad;
        if (ServiceConfig().Host(kSinaApi) != "127.0.0.1:1") ++bad;
      }
    });
  }
  for (int i = 0; i < 50; ++i) ReloadServiceConfig();
  stop = true;
  for (auto& t : readers) t.join();
  EXPECT_EQ(bad.load(), 0);
}
