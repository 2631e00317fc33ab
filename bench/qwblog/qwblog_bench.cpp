// Cost of one signed request through the request library on loopback, side by side
// with the same request made with plain libcurl and no signing, against the same
// in-process server. Prints medians and the ratio.
//   qwblog_bench [iterations]   (default 2000)
#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "qwblog/QWBlogAPI.h"
#include "qwblog/WireRequest.h"
#include "tests/qwblog/QwblogTestUtil.h"

namespace {

using Clock = std::chrono::steady_clock;

// One connection at a time: read the request head, send a small fixed answer, close.
class Server {
 public:
  Server() {
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_fd, 128) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      std::perror("listen");
      std::exit(1);
    }
    m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { Loop(); });
  }
  ~Server() {
    m_stop = true;
    m_thread.join();
    ::close(m_fd);
  }
  int Port() const { return m_port; }

 private:
  void Loop() {
    static const std::string kAnswer =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 61\r\n"
        "Connection: "
        "close\r\n\r\n{\"comments\":0,\"dm\":1,\"mentions\":2,\"new_status\":3,\"followers\":4}";
    char buffer[16384];
    while (!m_stop) {
      pollfd p{m_fd, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      std::string req;
      while (req.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        req.append(buffer, static_cast<size_t>(n));
      }
      ::send(c, kAnswer.data(), kAnswer.size(), MSG_NOSIGNAL);
      ::close(c);
    }
  }
  int m_fd = -1;
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

CWeiboParam PollParams() {
  CWeiboParam p = qwblogtest::SignedParams("2598211882", "44920bf52885822dbcd782c87711b134",
                                           "0123456789abcdef0123456789abcdef",
                                           "fedcba9876543210fedcba9876543210");
  p.AddParam("with_new_status", "1");
  p.AddParam("since_id", "1");
  return p;
}

double Signed(const std::string& url) {
  auto start = Clock::now();
  char* data = nullptr;
  int length = 0;
  if (SyncRequest(url.c_str(), EHttpMethod_Get, PollParams(), data, length) != HTTP_RESULT_OK ||
      length != 61) {
    std::fprintf(stderr, "signed request failed\n");
    std::exit(1);
  }
  ReleaseData(data);
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

size_t Collect(char* p, size_t s, size_t n, void* u) {
  static_cast<std::string*>(u)->append(p, s * n);
  return s * n;
}

// header: an extra request header line ("" for none), set up inside the timed part.
double Plain(const std::string& url, const std::string& header = "") {
  auto start = Clock::now();
  std::string body;
  CURL* c = curl_easy_init();
  curl_slist* headers = nullptr;
  if (!header.empty()) {
    headers = curl_slist_append(headers, header.c_str());
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers);
  }
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_PROXY, "");
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &body);
  CURLcode rc = curl_easy_perform(c);
  curl_easy_cleanup(c);
  curl_slist_free_all(headers);
  if (rc != CURLE_OK || body.size() != 61) {
    std::fprintf(stderr, "plain request failed\n");
    std::exit(1);
  }
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

double SignOnly(const std::string& url) {
  auto start = Clock::now();
  qwblog::WireRequest wire;
  qwblog::BuildWireRequest(url.c_str(), EHttpMethod_Get, PollParams(), wire);
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

struct Stats {
  double median, p10, p90;
};
Stats Summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  auto at = [&](double q) { return v[static_cast<size_t>(q * static_cast<double>(v.size() - 1))]; };
  return {at(0.5), at(0.1), at(0.9)};
}

}  // namespace

int main(int argc, char** argv) {
  const int iterations = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
  QWBlogGlobalInit();
  Server server;
  const std::string base =
      "http://127.0.0.1:" + std::to_string(server.Port()) + "/statuses/unread.json";
  const std::string plainUrl = base + "?with_new_status=1&since_id=1";

  for (int i = 0; i < 50; ++i) {  // warm-up
    Signed(base);
    Plain(plainUrl);
  }
  // The Authorization header of one signed request, for the plain request that sends the
  // same bytes without signing them.
  qwblog::WireRequest sample;
  qwblog::BuildWireRequest(base.c_str(), EHttpMethod_Get, PollParams(), sample);
  const std::string authorization = "Authorization: " + sample.authorization;
  std::vector<double> signedTimes, plainTimes, signTimes, headerTimes;
  for (int i = 0; i < iterations; ++i) {
    // Alternate which goes first so neither always follows the other.
    if (i % 2) {
      signedTimes.push_back(Signed(base));
      plainTimes.push_back(Plain(plainUrl));
    } else {
      plainTimes.push_back(Plain(plainUrl));
      signedTimes.push_back(Signed(base));
    }
    signTimes.push_back(SignOnly(base));
    headerTimes.push_back(Plain(plainUrl, authorization));
  }
  Stats s = Summarise(signedTimes), p = Summarise(plainTimes), o = Summarise(signTimes),
        h = Summarise(headerTimes);
  std::printf("iterations: %d (GET with 2 parameters, 61-byte answer, new connection each)\n",
              iterations);
  std::printf("%-34s %10s %10s %10s\n", "", "median us", "p10 us", "p90 us");
  std::printf("%-34s %10.1f %10.1f %10.1f\n", "SyncRequest (signed)", s.median, s.p10, s.p90);
  std::printf("%-34s %10.1f %10.1f %10.1f\n", "plain libcurl (unsigned)", p.median, p.p10, p.p90);
  std::printf("%-34s %10.1f %10.1f %10.1f\n", "plain libcurl + same Authorization", h.median, h.p10,
              h.p90);
  std::printf("%-34s %10.1f %10.1f %10.1f\n", "signing and encoding only", o.median, o.p10, o.p90);
  std::printf("ratio signed/plain (medians): %.2f\n", s.median / p.median);
  std::printf("ratio signed/plain with the same header (medians): %.2f\n", s.median / h.median);
  return 0;
}
