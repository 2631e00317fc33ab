// Request library transport against small servers on 127.0.0.1 that answer in exact,
// sometimes broken ways: statuses, empty and huge answers, cut and endless bodies,
// proxies that are down or speak another protocol, the abort flag.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "qwblog/QWBlogAPI.h"
#include "tests/qwblog/QwblogTestUtil.h"
#include "tests/qwblog/RawServer.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

using Answer = qwblogtest::SSyncAnswer;

Answer Request(const std::string& url, EHttpMethod method, const CWeiboParam& params) {
  Answer a = qwblogtest::SyncCall(url, method, params);
  if (!a.dataNull) {
    EXPECT_TRUE(a.terminated);
  }
  return a;
}

CWeiboParam Signed() { return qwblogtest::SignedParams("ck", "cs", "tk", "ts"); }

long MaxRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// A port on 127.0.0.1 with nothing listening.
int DeadPort() {
  RawServer s([](RawServer&, int, const std::string&) {});
  return s.Port();  // closed again when s goes away
}

void NoAnswer(const Answer& a) {
  EXPECT_NE(a.result, HTTP_RESULT_OK);
  EXPECT_TRUE(a.dataNull);
  EXPECT_EQ(a.length, 0);
}

class Transport : public ::testing::Test {
 protected:
  void SetUp() override {
    QWBlogGlobalInit();
    m_saved = QWBlogGetOptions();
  }
  void TearDown() override { QWBlogSetOptions(m_saved); }
  void SetTimeouts(long connectMs, long stallS, long totalS) {
    QWBlogOptions o = QWBlogGetOptions();
    o.connectTimeoutMs = connectMs;
    o.stallTimeoutS = stallS;
    o.totalTimeoutS = totalS;
    QWBlogSetOptions(o);
  }
  QWBlogOptions m_saved;
};

}  // namespace

TEST_F(Transport, AnyHttpStatusComesBackWithItsBody) {
  RawServer server([](RawServer&, int fd, const std::string& req) {
    if (req.find("GET /denied") == 0) RawServer::SendAll(fd, RawServer::Response(401, "bad sig"));
    if (req.find("GET /moved") == 0)
      RawServer::SendAll(fd, RawServer::Response(302, "gone", "Location: /denied\r\n"));
    if (req.find("GET /empty") == 0) RawServer::SendAll(fd, RawServer::Response(200, ""));
    if (req.find("GET /zero") == 0)
      RawServer::SendAll(fd, RawServer::Response(500, std::string("a\0b", 3)));
    if (req.find("POST /form") == 0) RawServer::SendAll(fd, RawServer::Response(200, req));
  });

  Answer a = Request(server.Url("/denied"), EHttpMethod_Get, Signed());
  EXPECT_EQ(a.result, HTTP_RESULT_OK);
  EXPECT_EQ(a.body, "bad sig");

  a = Request(server.Url("/moved"), EHttpMethod_Get, Signed());
  EXPECT_EQ(a.result, HTTP_RESULT_OK);
  EXPECT_EQ(a.body, "gone");  // the redirect is not followed
  EXPECT_EQ(server.Connections(), 2);

  a = Request(server.Url("/empty"), EHttpMethod_Get, Signed());
  EXPECT_EQ(a.result, HTTP_RESULT_OK);
  EXPECT_EQ(a.length, 0);
  EXPECT_FALSE(a.dataNull);

  a = Request(server.Url("/zero"), EHttpMethod_Get, Signed());
  EXPECT_EQ(a.result, HTTP_RESULT_OK);
  EXPECT_EQ(a.length, 3);
  EXPECT_EQ(a.body, std::string("a\0b", 3));

  // What a POST puts on the wire: signed header, form body, no reserved names.
  CWeiboParam p = Signed();
  p.AddParam("status", "x y");
  a = Request(server.Url("/form"), EHttpMethod_Post, p);
  ASSERT_EQ(a.result, HTTP_RESULT_OK);
  EXPECT_NE(a.body.find("\r\nAuthorization: OAuth "), std::string::npos) << a.body;
  EXPECT_NE(a.body.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"),
            std::string::npos);
  EXPECT_EQ(a.body.substr(a.body.size() - 16), "\r\n\r\nstatus=x%20y");
  EXPECT_EQ(a.body.find("100-continue"), std::string::npos);
  EXPECT_EQ(a.body.find("strCustom"), std::string::npos);
}

TEST_F(Transport, HugeAnswersFailQuicklyWithBoundedMemory) {
  const size_t kHundredMb = 100u << 20;
  RawServer server([&](RawServer&, int fd, const std::string& req) {
    const bool withLength = req.find("GET /length") == 0;
    std::string head = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
    if (withLength) head += "Content-Length: " + std::to_string(kHundredMb) + "\r\n";
    if (!RawServer::SendAll(fd, head + "\r\n")) return;
    const std::string chunk(1 << 16, 'x');
    for (size_t sent = 0; sent < kHundredMb; sent += chunk.size()) {
      if (!RawServer::SendAll(fd, chunk)) return;  // the client gave up
    }
  });
  const long rssBefore = MaxRssKb();
  for (const char* path : {"/length", "/close-delimited"}) {
    Answer a = Request(server.Url(path), EHttpMethod_Get, Signed());
    EXPECT_EQ(a.result, HTTP_RESULT_TOO_LARGE) << path;
    EXPECT_TRUE(a.dataNull);
  }
  EXPECT_LT(MaxRssKb() - rssBefore, 48L * 1024) << "answers must not be buffered whole";

  // The cap is exact: cap bytes pass, one more fails.
  QWBlogOptions o = QWBlogGetOptions();
  o.maxAnswerBytes = 1000;
  QWBlogSetOptions(o);
  RawServer sized([](RawServer&, int fd, const std::string& req) {
    size_t n = req.find("GET /1000") == 0 ? 1000 : 1001;
    // Close-delimited, so only the write path can catch it.
    RawServer::SendAll(fd, "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + std::string(n, 'y'));
  });
  Answer ok = Request(sized.Url("/1000"), EHttpMethod_Get, Signed());
  EXPECT_EQ(ok.result, HTTP_RESULT_OK);
  EXPECT_EQ(ok.length, 1000);
  EXPECT_EQ(Request(sized.Url("/1001"), EHttpMethod_Get, Signed()).result, HTTP_RESULT_TOO_LARGE);
}

TEST_F(Transport, CutAndEndlessAnswersFail) {
  SetTimeouts(2000, 2, 6);
  RawServer server([](RawServer& s, int fd, const std::string& req) {
    if (req.find("GET /cut") == 0) {
      RawServer::SendAll(fd,
                         "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(100, 'z'));
    } else if (req.find("GET /chunk-cut") == 0) {
      RawServer::SendAll(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n");
    } else if (req.find("GET /stall") == 0) {
      RawServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\npartial");
      s.WaitStop(30000);
    } else if (req.find("GET /silent") == 0) {
      s.WaitStop(30000);
    } else if (req.find("GET /drip") == 0) {
      // Twenty bytes a second: never slow enough for the stall rule (with room for a
      // busy machine), never finished; only the total time-out ends it.
      RawServer::SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
      while (!s.WaitStop(50) && RawServer::SendAll(fd, "d")) {
      }
    }
  });
  struct Case {
    const char* path;
    double atLeast, atMost;
  } cases[] = {{"/cut", 0, 1.5},
               {"/chunk-cut", 0, 1.5},
               {"/stall", 1.9, 4.5},
               {"/silent", 1.9, 4.5},
               {"/drip", 5.5, 8.5}};
  for (const auto& c : cases) {
    auto start = Clock::now();
    Answer a = Request(server.Url(c.path), EHttpMethod_Get, Signed());
    const double took = SecondsSince(start);
    EXPECT_EQ(a.result, HTTP_RESULT_TRANSPORT) << c.path;
    NoAnswer(a);
    EXPECT_GE(took, c.atLeast) << c.path;
    EXPECT_LE(took, c.atMost) << c.path;
  }
}

TEST_F(Transport, AbortFlagEndsAWaitingRequest) {
  RawServer server([](RawServer& s, int, const std::string&) { s.WaitStop(30000); });
  std::atomic<bool> abort{false};
  CWeiboParam p = Signed();
  p.SetAbortFlag(&abort);
  std::thread raiser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    abort = true;
  });
  // The server holds the request for 30 s: only the flag can end it as aborted.
  Answer a = Request(server.Url("/"), EHttpMethod_Get, p);
  raiser.join();
  EXPECT_EQ(a.result, HTTP_RESULT_ABORTED);
  NoAnswer(a);
  // Already raised: nothing is sent.
  const int before = server.Connections();
  EXPECT_EQ(Request(server.Url("/"), EHttpMethod_Get, p).result, HTTP_RESULT_ABORTED);
  EXPECT_EQ(server.Connections(), before);
}

TEST_F(Transport, BrokenProxiesFailFast) {
  SetTimeouts(5000, 2, 10);
  RawServer target([](RawServer&, int fd, const std::string&) {
    RawServer::SendAll(fd, RawServer::Response(200, "direct"));
  });
  // A port that greets in another protocol and hangs up.
  RawServer ssh(
      [](RawServer& s, int fd, const std::string&) {
        RawServer::SendAll(fd, "SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n");
        s.WaitStop(200);
      },
      false);
  const int dead = DeadPort();
  for (int type : {0, 4, 7}) {
    for (int port : {dead, ssh.Port()}) {
      CWeiboParam p = Signed();
      p.SetProxy(type, 0x7f000001UL, port);
      auto start = Clock::now();
      Answer a = Request(target.Url("/"), EHttpMethod_Get, p);
      NoAnswer(a);
      EXPECT_EQ(a.result, HTTP_RESULT_TRANSPORT) << type << " " << port;
      EXPECT_LT(SecondsSince(start), 2.0) << "type " << type << " port " << port;
    }
  }
  EXPECT_EQ(target.Connections(), 0);
  // A picture that cannot be read stops the request before anything is sent: a missing
  // file, and a FIFO, which no writer will ever open (opening it to read must not wait).
  const std::string fifo = std::string(std::getenv("PLUMFINCH_TEST_TMP")) + "/picture.fifo";
  std::filesystem::create_directories(std::getenv("PLUMFINCH_TEST_TMP"));
  std::filesystem::remove(fifo);
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& path : {std::string("/nonexistent/picture.jpg"), fifo}) {
    CWeiboParam pic = Signed();
    pic.AddPicNameParam("pic", path.c_str());
    QWBlogAnswer answer;
    EXPECT_EQ(SignedRequest(target.Url("/").c_str(), EHttpMethod_Post, pic, answer),
              HTTP_RESULT_FILE_ERROR)
        << path;
    EXPECT_EQ(answer.failure, EQWBlogFailure::Picture) << path;
  }
  EXPECT_EQ(target.Connections(), 0);
}

// Bearer requests share the transport: what goes on the wire, the status and body of any
// answer, Retry-After, and header text that could inject a line refused before sending.
TEST_F(Transport, BearerRequestsCarryTheTokenHeadersAndReadRetryAfter) {
  RawServer server([](RawServer&, int fd, const std::string& req) {
    if (req.find("POST /echo") == 0) RawServer::SendAll(fd, RawServer::Response(200, req));
    if (req.find("GET /slow") == 0)
      RawServer::SendAll(fd, RawServer::Response(429, "{}", "Retry-After: 7\r\n"));
    if (req.find("GET /date") == 0)
      RawServer::SendAll(
          fd, RawServer::Response(503, "", "Retry-After: Fri, 01 Jan 1999 00:00:00 GMT\r\n"));
    if (req.find("GET /reset") == 0)  // the reset as a Unix time, 90 s from now
      RawServer::SendAll(
          fd, RawServer::Response(
                  429, "{}", "RateLimit-Reset: " + std::to_string(time(nullptr) + 90) + "\r\n"));
  });
  CWeiboParam p;
  p.AddParam("status", "x y");
  QWBlogAnswer a;
  ASSERT_EQ(BearerRequest(server.Url("/echo").c_str(), EHttpMethod_Post, "tok123",
                          {{"Idempotency-Key", "k-1"}}, p, a),
            HTTP_RESULT_OK);
  EXPECT_EQ(a.status, 200);
  EXPECT_EQ(a.retryAfterS, -1);
  EXPECT_NE(a.body.find("\r\nAuthorization: Bearer tok123\r\n"), std::string::npos) << a.body;
  EXPECT_NE(a.body.find("\r\nIdempotency-Key: k-1\r\n"), std::string::npos);
  EXPECT_EQ(a.body.substr(a.body.size() - 16), "\r\n\r\nstatus=x%20y");

  ASSERT_EQ(BearerRequest(server.Url("/slow").c_str(), EHttpMethod_Get, "", {}, {}, a),
            HTTP_RESULT_OK);
  EXPECT_EQ(a.status, 429);
  EXPECT_EQ(a.retryAfterS, 7);
  ASSERT_EQ(BearerRequest(server.Url("/date").c_str(), EHttpMethod_Get, "", {}, {}, a),
            HTTP_RESULT_OK);
  EXPECT_EQ(a.retryAfterS, 0);  // a date in the past: at once
  ASSERT_EQ(BearerRequest(server.Url("/reset").c_str(), EHttpMethod_Get, "", {}, {}, a),
            HTTP_RESULT_OK);
  EXPECT_NEAR(a.rateLimitReset, time(nullptr) + 90, 5);
  // A body of its own goes as it is, with its type.
  ASSERT_EQ(
      BearerBodyRequest(server.Url("/echo").c_str(), "tok", {}, "image/png", "\x89PNG", {}, a),
      HTTP_RESULT_OK);
  EXPECT_NE(a.body.find("\r\nContent-Type: image/png\r\n"), std::string::npos);
  EXPECT_EQ(a.body.substr(a.body.size() - 8), "\r\n\r\n\x89PNG");

  // What a diagnostic trace gets: the address without its query, no body, no header.
  static std::string traced;
  QWBlogSetTraceHook([](const QWBlogTrace& t) { traced = t.url + " " + std::to_string(t.status); });
  CWeiboParam code;
  code.AddParam("code", "sekrit");
  BearerRequest(server.Url("/slow?since_id=1").c_str(), EHttpMethod_Get, "tok123", {}, code, a);
  QWBlogSetTraceHook(nullptr);
  EXPECT_EQ(traced, server.Url("/slow") + " 429");
  const int before = server.Connections();
  EXPECT_EQ(
      BearerRequest(server.Url("/echo").c_str(), EHttpMethod_Get, "t\r\nX-Evil: 1", {}, {}, a),
      HTTP_RESULT_BAD_ARGUMENT);
  EXPECT_EQ(
      BearerRequest(server.Url("/echo").c_str(), EHttpMethod_Get, "t", {{"A\nB", "v"}}, {}, a),
      HTTP_RESULT_BAD_ARGUMENT);
  CWeiboParam signedOnly;
  signedOnly.AddParam(QWB_TOKEN_SECRET, "s");
  EXPECT_EQ(BearerRequest(server.Url("/echo").c_str(), EHttpMethod_Post, "t", {}, signedOnly, a),
            HTTP_RESULT_BAD_ARGUMENT);
  EXPECT_EQ(server.Connections(), before);
}

// A signed request with a body of its own: the body goes as it is under its type, and the
// limit's reset time comes back from x-rate-limit-reset.
TEST_F(Transport, SignedJsonBodyGoesAsItIsAndTheRateLimitResetIsRead) {
  RawServer server([](RawServer&, int fd, const std::string& req) {
    RawServer::SendAll(fd, RawServer::Response(429, req, "x-rate-limit-reset: 1796706600\r\n"));
  });
  CWeiboParam p;
  p.AddParam(QWB_CUSTOM_KEY, "ck");
  p.SetBody("application/json", R"({"text":"a b"})");
  QWBlogAnswer a;
  ASSERT_EQ(SignedRequest(server.Url("/x").c_str(), EHttpMethod_Post, p, a), HTTP_RESULT_OK);
  EXPECT_EQ(a.rateLimitReset, 1796706600);
  EXPECT_NE(a.body.find("\r\nContent-Type: application/json\r\n"), std::string::npos) << a.body;
  EXPECT_EQ(a.body.substr(a.body.size() - 18), "\r\n\r\n{\"text\":\"a b\"}");
}
