// CEmulator: starts the emulator, knows its ports, writes Services.ini, steers it through
// the control interface and reads back what arrived.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/Emulator.h"
#include "tests/support/TestEnv.h"

namespace {

TEST(EmulatorClient, StartsReportsPortsAndReadsRequestsBack) {
  const std::string dir = MakeTestFolder("emulator_client", false);
  CEmulator emu;
  ASSERT_TRUE(emu.Start(dir + "/state"));
  ASSERT_TRUE(emu.Running());
  for (const char* role :
       {"tencent_open", "tencent_open_tls", "tencent_web", "sina_api", "sina_web", "sohu_api",
        "sohu_web", "twitter_api", "twitter_web", "ipecho", "control"}) {
    EXPECT_GT(emu.Port(role), 0) << role;
  }
  EXPECT_EQ(emu.Port("no_such_role"), 0);
  EXPECT_TRUE(std::filesystem::exists(emu.CaFile()));

  ASSERT_TRUE(emu.WriteServicesIni(dir + "/config"));
  const std::string ini = ReadFile(dir + "/config/Services.ini");
  EXPECT_NE(ini.find("SinaApi=127.0.0.1:" + std::to_string(emu.Port("sina_api")) + "\n"),
            std::string::npos);
  EXPECT_NE(ini.find("TencentOpenSecure=127.0.0.1:" + std::to_string(emu.Port("tencent_open_tls"))),
            std::string::npos);
  EXPECT_NE(
      ini.find("IpEchoUrl=http://127.0.0.1:" + std::to_string(emu.Port("ipecho")) + "/getip.asp"),
      std::string::npos);
  EXPECT_NE(ini.find("CAFile=" + emu.CaFile()), std::string::npos);
  ASSERT_TRUE(emu.WriteServicesIni(dir + "/noca", false));
  EXPECT_EQ(ReadFile(dir + "/noca/Services.ini").find("CAFile"), std::string::npos);

  // An unsigned call is refused with a reason and still recorded; the TLS port is
  // trusted through the CA file.
  std::string body;
  const std::string sina = "http://127.0.0.1:" + std::to_string(emu.Port("sina_api"));
  EXPECT_EQ(emu.HttpGet(sina + "/oauth/request_token", &body), 401);
  EXPECT_FALSE(body.empty());
  const std::string tls = "https://127.0.0.1:" + std::to_string(emu.Port("tencent_open_tls"));
  EXPECT_EQ(emu.HttpGet(tls + "/cgi-bin/authorize?oauth_token=none", &body), 400);

  QJsonArray requests = emu.Requests("sina");
  ASSERT_EQ(requests.size(), 1);
  QJsonObject r = requests[0].toObject();
  EXPECT_EQ(r["path"].toString(), "/oauth/request_token");
  EXPECT_EQ(r["method"].toString(), "GET");
  EXPECT_EQ(r["peer"].toString(), "127.0.0.1");
  EXPECT_FALSE(r["oauth"].toObject()["valid"].toBool());
  EXPECT_EQ(emu.Requests("tencent")[0].toObject()["scheme"].toString(), "https");

  // Control calls: counters, a counted fault, the IP echo, reset.
  emu.SetCounters("sina", QJsonObject{{"dm", 4}});
  EXPECT_EQ(emu.Get("/control/counters")["sina"].toObject()["dm"].toInt(), 4);
  emu.SetFault("ipecho", "getip", "status", QJsonObject{{"status", 502}, {"count", 1}});
  const std::string ip = "http://127.0.0.1:" + std::to_string(emu.Port("ipecho")) + "/getip.asp";
  EXPECT_EQ(emu.HttpGet(ip, &body), 502);
  EXPECT_EQ(emu.HttpGet(ip, &body), 200);
  EXPECT_EQ(body, "203.0.113.7\r\n");
  int status = 0;
  emu.Post("/control/fault", QJsonObject{{"service", "nowhere"}}, &status);
  EXPECT_EQ(status, 400);
  EXPECT_EQ(emu.VerifierFor("unknown-token"), "");

  emu.Reset();
  EXPECT_TRUE(emu.Requests().isEmpty());
  EXPECT_EQ(emu.Get("/control/counters")["sina"].toObject()["dm"].toInt(), 0);
  EXPECT_TRUE(emu.Posts().isEmpty());

  emu.Stop();
  EXPECT_FALSE(emu.Running());
  EXPECT_LT(emu.HttpGet(ip, &body), 0);
}

TEST(EmulatorClient, StartFailsCleanlyWhenTheStateFolderIsUnusable) {
  const std::string dir = MakeTestFolder("emulator_client_bad", false);
  WriteFile(dir + "/file", "not a folder");
  CEmulator emu;
  EXPECT_FALSE(emu.Start(dir + "/file/state"));
  EXPECT_FALSE(emu.Running());
}

}  // namespace
