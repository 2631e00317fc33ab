// A tiny TCP server on 127.0.0.1 for tests that need an HTTP partner misbehaving in a
// precise way (cut bodies, endless answers, another protocol). Each accepted
// connection runs the test's handler on a thread of its own.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class RawServer {
 public:
  // The handler gets the connection and the request head (up to and including the
  // blank line, plus a body of Content-Length bytes when readRequest is true).
  using Handler = std::function<void(RawServer& server, int fd, const std::string& request)>;

  explicit RawServer(Handler handler, bool readRequest = true)
      : m_handler(std::move(handler)), m_readRequest(readRequest) {
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(m_listen, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(m_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::listen(m_listen, 64) == 0 &&
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
      m_port = ntohs(addr.sin_port);
    }
    m_acceptor = std::thread([this] { AcceptLoop(); });
  }

  ~RawServer() {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stopping = true;
    }
    m_cv.notify_all();
    m_acceptor.join();
    std::vector<std::thread> workers;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      workers.swap(m_workers);
    }
    for (auto& t : workers) t.join();
    ::close(m_listen);
  }

  int Port() const { return m_port; }
  std::string Url(const std::string& path = "/") const {
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
  }
  int Connections() const { return m_connections.load(); }
  std::vector<std::string> Requests() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
  }

  // For handlers that hold a connection open: waits until the server is being
  // destroyed or ms have passed; true when stopping.
  bool WaitStop(int ms) {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_cv.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopping; });
  }

  // Writes everything; false when the peer went away.
  static bool SendAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<size_t>(n);
    }
    return true;
  }

  static std::string Response(int status, const std::string& body,
                              const std::string& extraHeaders = "") {
    return "HTTP/1.1 " + std::to_string(status) +
           " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n" +
           extraHeaders + "\r\n" + body;
  }

 private:
  void AcceptLoop() {
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stopping) return;
      }
      pollfd p{m_listen, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++m_connections;
      std::lock_guard<std::mutex> lock(m_mutex);
      m_workers.emplace_back([this, fd] {
        std::string request = m_readRequest ? ReadRequest(fd) : std::string();
        {
          std::lock_guard<std::mutex> inner(m_mutex);
          m_requests.push_back(request);
        }
        m_handler(*this, fd, request);
        ::close(fd);
      });
    }
  }

  // Reads the head and a Content-Length body, giving up after 5 s.
  static std::string ReadRequest(int fd) {
    std::string data;
    size_t want = std::string::npos;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    char buffer[65536];
    while (std::chrono::steady_clock::now() < deadline) {
      if (want == std::string::npos) {
        size_t end = data.find("\r\n\r\n");
        if (end != std::string::npos) {
          size_t length = 0;
          std::string head = data.substr(0, end);
          for (auto& ch : head)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
          size_t cl = head.find("\r\ncontent-length:");
          if (cl != std::string::npos) length = std::stoul(head.substr(cl + 17));
          want = end + 4 + length;
        }
      }
      if (want != std::string::npos && data.size() >= want) break;
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 100) <= 0) continue;
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      data.append(buffer, static_cast<size_t>(n));
    }
    return data;
  }

  Handler m_handler;
  bool m_readRequest;
  int m_listen = -1;
  int m_port = 0;
  std::atomic<int> m_connections{0};
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_stopping = false;
  std::vector<std::thread> m_workers;
  std::vector<std::string> m_requests;
  std::thread m_acceptor;
};
