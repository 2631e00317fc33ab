// The plain HTTP request against a small HTTP server on loopback: what goes on the
// wire, which answers count, and the public-address fetch built on it.
#include "net/PlainHttp.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "net/ServiceHosts.h"
#include "qwblog/QWBlogAPI.h"
#include "tests/core/CoreTestUtil.h"

namespace {

// Answers every connection with one canned response and keeps the last request.
class CLoopbackServer {
 public:
  explicit CLoopbackServer(std::string response) : m_response(std::move(response)) {
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    int one = 1;
    setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(m_fd, 8) != 0)
      std::abort();
    socklen_t len = sizeof addr;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { Serve(); });
  }
  ~CLoopbackServer() {
    m_stop = true;
    shutdown(m_fd, SHUT_RDWR);
    close(m_fd);
    m_thread.join();
  }
  unsigned short Port() const { return m_port; }
  std::string LastRequest() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_request;
  }
  int Connections() const { return m_connections; }

 private:
  void Serve() {
    while (!m_stop) {
      int client = accept(m_fd, nullptr, nullptr);
      if (client < 0) return;
      ++m_connections;
      std::string request = ReadRequest(client);
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_request = request;
      }
      size_t sent = 0;
      while (sent < m_response.size()) {
        ssize_t n = send(client, m_response.data() + sent, m_response.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<size_t>(n);
      }
      shutdown(client, SHUT_WR);
      close(client);
    }
  }
  static std::string ReadRequest(int client) {
    std::string data;
    char buffer[4096];
    for (;;) {
      size_t headerEnd = data.find("\r\n\r\n");
      if (headerEnd != std::string::npos) {
        size_t length = 0;
        size_t cl = data.find("Content-Length: ");
        if (cl != std::string::npos && cl < headerEnd) length = std::strtoul(&data[cl + 16], 0, 10);
        if (data.size() >= headerEnd + 4 + length) return data;
      }
      ssize_t n = recv(client, buffer, sizeof buffer, 0);
      if (n <= 0) return data;
      data.append(buffer, static_cast<size_t>(n));
    }
  }

  std::string m_response;
  int m_fd = -1;
  unsigned short m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_connections{0};
  std::mutex m_mutex;
  std::string m_request;
  std::thread m_thread;
};

std::string Ok(const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string Get(const std::string& url, unsigned short port) {
  return PlainHttpRequest(url, "", nullptr, 0, "", nullptr, port);
}

// A port on which nothing listens.
unsigned short ClosedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);
  return ntohs(addr.sin_port);
}

}  // namespace

TEST(PlainHttp, SendsABrowserStyleHttp10GetAndReturnsTheBody) {
  CLoopbackServer server(Ok("203.0.113.9"));
  EXPECT_EQ(Get("HTTP://127.0.0.1/ip/getip.asp?x=1", server.Port()), "203.0.113.9");
  std::string request = server.LastRequest();
  EXPECT_EQ(request.rfind("GET /ip/getip.asp?x=1 HTTP/1.0\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; "
                         "Trident/4.0)\r\n"),
            std::string::npos);
  EXPECT_NE(request.find("\r\nPragma: no-cache\r\n"), std::string::npos);
  EXPECT_NE(request.find("\r\nCache-Control: no-cache\r\n"), std::string::npos);
  EXPECT_NE(request.find("\r\nAccept: */*\r\n"), std::string::npos);
}

TEST(PlainHttp, UrlWithoutPathOrWithItsOwnPort) {
  CLoopbackServer server(Ok("a"));
  EXPECT_EQ(Get("http://127.0.0.1", server.Port()), "a");
  EXPECT_EQ(server.LastRequest().rfind("GET / HTTP/1.0\r\n", 0), 0u);
  // The URL's own port is not used: the argument decides.
  EXPECT_EQ(Get("127.0.0.1:9/x", server.Port()), "a");
  EXPECT_EQ(server.LastRequest().rfind("GET /x HTTP/1.0\r\n", 0), 0u);
  EXPECT_EQ(Get("https://127.0.0.1/x", server.Port()), "") << "only http:// is stripped";
  EXPECT_EQ(Get("", server.Port()), "");
}

TEST(PlainHttp, OnlyA2xxStatusGivesTheBody) {
  {
    CLoopbackServer server("HTTP/1.0 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
    EXPECT_EQ(Get("http://127.0.0.1/getip.asp", server.Port()), "");
    EXPECT_EQ(server.Connections(), 1);
  }
  {
    CLoopbackServer server("HTTP/1.0 500 Oops\r\n\r\n1.2.3.4");
    EXPECT_EQ(Get("http://127.0.0.1/getip.asp", server.Port()), "");
  }
  {
    CLoopbackServer server("HTTP/1.0 203 Non-Authoritative\r\n\r\n1.2.3.4");
    EXPECT_EQ(Get("http://127.0.0.1/getip.asp", server.Port()), "1.2.3.4");
  }
  {
    CLoopbackServer server("garbage that is not HTTP");
    EXPECT_EQ(Get("http://127.0.0.1/", server.Port()), "");
  }
  {
    CLoopbackServer server(Ok(std::string(100 * 1024, '9')));
    EXPECT_EQ(Get("http://127.0.0.1/", server.Port()), "") << "answers over the cap are refused";
  }
  EXPECT_EQ(Get("http://127.0.0.1/", ClosedPort()), "");
}

TEST(PlainHttp, VerbBodyAndExtraHeadersGoOutAsGiven) {
  CLoopbackServer server(Ok("done"));
  const char body[] = "a=1&b=2";
  EXPECT_EQ(PlainHttpRequest("http://127.0.0.1/post", "POST", body, 7, "",
                             "X-One: 1\r\nX-Two: 2\r\n", server.Port()),
            "done");
  std::string request = server.LastRequest();
  EXPECT_EQ(request.rfind("POST /post HTTP/1.0\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("\r\nX-One: 1\r\nX-Two: 2\r\n"), std::string::npos) << request;
  EXPECT_EQ(request.find("application/x-www-form-urlencoded"), std::string::npos) << request;
  EXPECT_EQ(request.substr(request.size() - 7), "a=1&b=2");
  EXPECT_EQ(
      PlainHttpRequest("http://127.0.0.1/", "GET\r\nX: y", nullptr, 0, "", nullptr, server.Port()),
      "")
      << "a verb cannot carry header lines";
}

TEST(PlainHttp, EmptyProxyTextIgnoresTheEnvironmentAndAProxyTextIsUsed) {
  CLoopbackServer server(Ok("via"));
  std::string dead = "http://127.0.0.1:" + std::to_string(ClosedPort());
  setenv("http_proxy", dead.c_str(), 1);
  setenv("HTTP_PROXY", dead.c_str(), 1);
  EXPECT_EQ(Get("http://127.0.0.1/", server.Port()), "via");
  unsetenv("http_proxy");
  unsetenv("HTTP_PROXY");

  // The loopback server plays the proxy: it receives the absolute URL.
  std::string proxy = "127.0.0.1:" + std::to_string(server.Port());
  EXPECT_EQ(PlainHttpRequest("http://echo.invalid/getip.asp", "", nullptr, 0, proxy, nullptr, 80),
            "via");
  EXPECT_EQ(server.LastRequest().rfind("GET http://echo.invalid/getip.asp HTTP/1.0\r\n", 0), 0u)
      << server.LastRequest();
}

TEST(PlainHttp, TrimWhiteSpace) {
  EXPECT_EQ(TrimWhiteSpace(" \t\r\n\v\f203.0.113.9 \r\n"), "203.0.113.9");
  EXPECT_EQ(TrimWhiteSpace("a b"), "a b");
  EXPECT_EQ(TrimWhiteSpace(" \r\n\t"), "");
  EXPECT_EQ(TrimWhiteSpace(""), "");
}

TEST(PlainHttp, PublicAddressComesFromTheConfiguredEchoPage) {
  CLoopbackServer server(Ok("  198.51.100.4\r\n"));
  std::string dir = coretest::FreshSettingsFolder("echo");
  coretest::Spit(dir + "/Services.ini", "[Hosts]\nIpEchoUrl=http://127.0.0.1:" +
                                            std::to_string(server.Port()) + "/getip.asp\n");
  ReloadServiceConfig();
  EXPECT_EQ(FetchPublicIp(), "198.51.100.4");
  EXPECT_EQ(server.LastRequest().rfind("GET /getip.asp HTTP/1.0\r\n", 0), 0u);

  coretest::Spit(dir + "/Services.ini",
                 "[Hosts]\nIpEchoUrl=http://127.0.0.1:" + std::to_string(ClosedPort()) + "/\n");
  ReloadServiceConfig();
  EXPECT_EQ(FetchPublicIp(), "");
}

int main(int argc, char** argv) {
  QWBlogGlobalInit();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
