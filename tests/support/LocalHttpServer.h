// A small HTTP server for tests, on a loopback port and a thread of its own:
// each path answers with raw bytes set by the test (sent in pieces, with a
// pause between them), any other path with 404. It records every request.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace ond::test {

// One answer: raw bytes sent in pieces, with a pause between pieces.
struct TAnswer {
  std::vector<std::string> Pieces;
  int PauseMs = 0;
  // The last piece is sent this many times more (a body without end, as far
  // as a client that stops reading can tell); sending stops early once the
  // client has gone.
  std::size_t RepeatLast = 0;
};

inline TAnswer Ok(const std::string& body) {
  return {{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
           body}};
}
inline TAnswer Redirect(const std::string& to) {
  return {{"HTTP/1.1 302 Found\r\nLocation: " + to + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"}};
}
inline TAnswer Truncated(const std::string& body) {
  return {{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size() + 100) +
           "\r\nConnection: close\r\n\r\n" + body}};
}
inline TAnswer Chunked(const std::vector<std::string>& chunks, int pauseMs = 0) {
  TAnswer a{{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"}, pauseMs};
  for (const auto& c : chunks) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", c.size());
    a.Pieces.push_back(size + c + "\r\n");
  }
  a.Pieces.push_back("0\r\n\r\n");
  return a;
}

// A body with no announced length that goes on for repeats pieces of
// pieceSize bytes (or until the client stops reading), each after pauseMs.
inline TAnswer Endless(std::size_t pieceSize, std::size_t repeats, int pauseMs = 0) {
  return {{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", std::string(pieceSize, 'x')}, pauseMs, repeats};
}
// An announced length the body never reaches, sent a few bytes at a time.
inline TAnswer Trickle(std::size_t length, std::size_t pieceSize, int pauseMs) {
  return {{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(length) + "\r\nConnection: close\r\n\r\n",
           std::string(pieceSize, 't')},
          pauseMs,
          length / pieceSize};
}

class TLocalServer {
 public:
  TLocalServer() {
    FSocket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(FSocket, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(FSocket, 8) != 0)
      throw std::runtime_error("local server cannot listen");
    socklen_t len = sizeof addr;
    ::getsockname(FSocket, reinterpret_cast<sockaddr*>(&addr), &len);
    FPort = ntohs(addr.sin_port);
    FThread = std::thread([this] { Serve(); });
  }
  ~TLocalServer() {
    FStop = true;
    FThread.join();
    ::close(FSocket);
  }
  std::string Url(const std::string& path = "/pub/ONDREL/") const {
    return "http://127.0.0.1:" + std::to_string(FPort) + path;
  }
  void Set(const std::string& path, TAnswer answer) {
    std::lock_guard lock(FMutex);
    FAnswers[path] = std::move(answer);
  }
  // Bytes the server got out, headers included, over all answers.
  std::size_t BytesSent() const { return FBytesSent.load(); }
  std::vector<std::string> Requests() {
    std::lock_guard lock(FMutex);
    return FRequests;
  }

 private:
  void Serve() {
    while (!FStop) {
      pollfd p{FSocket, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      const int conn = ::accept(FSocket, nullptr, nullptr);
      if (conn < 0) continue;
      std::string request;
      char buf[4096];
      while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(conn, buf, sizeof buf, 0);
        if (n <= 0) break;
        request.append(buf, static_cast<size_t>(n));
      }
      const size_t sp = request.find(' ');
      const std::string path = sp == std::string::npos ? "" : request.substr(sp + 1, request.find(' ', sp + 1) - sp - 1);
      TAnswer answer{{"HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\nConnection: close\r\n\r\nnot found"}};
      {
        std::lock_guard lock(FMutex);
        FRequests.push_back(request);
        if (auto it = FAnswers.find(path); it != FAnswers.end()) answer = it->second;
      }
      const size_t total = answer.Pieces.size() + (answer.Pieces.empty() ? 0 : answer.RepeatLast);
      for (size_t i = 0; i < total && !FStop; ++i) {
        if (i && answer.PauseMs) std::this_thread::sleep_for(std::chrono::milliseconds(answer.PauseMs));
        const std::string& piece = answer.Pieces[std::min(i, answer.Pieces.size() - 1)];
        if (::send(conn, piece.data(), piece.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(piece.size())) break;
        FBytesSent += piece.size();
      }
      ::shutdown(conn, SHUT_WR);
      while (::recv(conn, buf, sizeof buf, 0) > 0) {
      }
      ::close(conn);
    }
  }

  int FSocket = -1;
  int FPort = 0;
  std::atomic<bool> FStop{false};
  std::atomic<std::size_t> FBytesSent{0};
  std::mutex FMutex;
  std::map<std::string, TAnswer> FAnswers;
  std::vector<std::string> FRequests;
  std::thread FThread;
};

}  // namespace ond::test
