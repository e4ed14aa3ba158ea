#include "support/http_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace tarvolin::testing {

LoopbackHttpServer::LoopbackHttpServer(unsigned short port) {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return;
  BOOL reuse = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  int length = sizeof address;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 16) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::closesocket(s);
    return;
  }
  listener_ = s;
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stop_ = true;
  if (listening()) ::closesocket(static_cast<SOCKET>(listener_));
  if (acceptor_.joinable()) acceptor_.join();
  ::WSACleanup();
}

void LoopbackHttpServer::Serve(const std::string& path_and_query, int status, const std::string& body) {
  std::lock_guard<std::mutex> hold(guard_);
  replies_[path_and_query] = {status, body};
}

std::vector<std::string> LoopbackHttpServer::RequestedPaths() const {
  std::lock_guard<std::mutex> hold(guard_);
  return requested_;
}

void LoopbackHttpServer::AcceptLoop() {
  while (!stop_) {
    SOCKET client = ::accept(static_cast<SOCKET>(listener_), nullptr, nullptr);
    if (client == INVALID_SOCKET) break;
    Answer(client);
    ::closesocket(client);
  }
}

void LoopbackHttpServer::Answer(unsigned long long client_handle) {
  SOCKET client = static_cast<SOCKET>(client_handle);
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    int got = ::recv(client, buffer, sizeof buffer, 0);
    if (got <= 0) return;
    request.append(buffer, static_cast<std::size_t>(got));
  }
  std::size_t first_space = request.find(' ');
  std::size_t second_space = request.find(' ', first_space + 1);
  std::string path = request.substr(first_space + 1, second_space - first_space - 1);

  std::pair<int, std::string> reply{404, "not found"};
  {
    std::lock_guard<std::mutex> hold(guard_);
    requested_.push_back(path);
    if (auto it = replies_.find(path); it != replies_.end()) reply = it->second;
  }
  std::string head = "HTTP/1.1 " + std::to_string(reply.first) + (reply.first == 200 ? " OK" : " Error") +
                     "\r\nContent-Length: " + std::to_string(reply.second.size()) +
                     "\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
  std::string whole = head + reply.second;
  ::send(client, whole.data(), static_cast<int>(whole.size()), 0);
  ::shutdown(client, SD_SEND);
}

}  // namespace tarvolin::testing
