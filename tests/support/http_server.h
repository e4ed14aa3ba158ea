// A small HTTP server on the loopback interface for tests that need a publisher:
// it answers GET requests for registered paths with fixed replies.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tarvolin::testing {

class LoopbackHttpServer {
 public:
  // port 0 picks a free port.
  explicit LoopbackHttpServer(unsigned short port = 0);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  bool listening() const { return listener_ != ~0ull; }
  unsigned short port() const { return port_; }
  // Path and query exactly as the request line carries them.
  void Serve(const std::string& path_and_query, int status, const std::string& body);
  std::vector<std::string> RequestedPaths() const;

 private:
  void AcceptLoop();
  void Answer(unsigned long long client);

  unsigned long long listener_ = ~0ull;
  unsigned short port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex guard_;
  std::map<std::string, std::pair<int, std::string>> replies_;
  std::vector<std::string> requested_;
  std::thread acceptor_;
};

}  // namespace tarvolin::testing
