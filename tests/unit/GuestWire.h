#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

// A guest's side of one TCP connection to 127.0.0.1, byte by byte: HTTP requests as written and
// WebSocket frames, so that the tests see exactly what a phone (or an attacker) would. Every wait
// ends when the bytes come or after kWaitMs, so a fault fails a test instead of hanging it.
class GuestWire {
 public:
  static constexpr int kWaitMs = 2000;

  explicit GuestWire(uint16_t port) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  ~GuestWire() { close(fd_); }
  GuestWire(const GuestWire&) = delete;
  GuestWire& operator=(const GuestWire&) = delete;

  bool send(const std::string& bytes) {
    return ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
  }

  struct Response {
    int status = 0;
    std::string head, body;
    std::string header(const std::string& name) const {
      const size_t at = head.find("\r\n" + name + ": ");
      if (at == std::string::npos) return "";
      const size_t from = at + name.size() + 4;
      return head.substr(from, head.find("\r\n", from) - from);
    }
  };

  // One request, as it is given, whose answer is read until the server closes.
  Response ask(const std::string& request) {
    send(request);
    std::string all;
    while (fill(all)) {
    }
    return parse(all);
  }

  static std::string get(const std::string& target, const char* method = "GET", const std::string& headers = "") {
    return std::string(method) + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers +
           "\r\n";
  }

  // The WebSocket handshake on the party's clock: the answer's status (101 when open).
  int openWebSocket() {
    send("GET /party-clock HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
         "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    while (pending_.find("\r\n\r\n") == std::string::npos)
      if (!fill(pending_)) break;
    const size_t end = pending_.find("\r\n\r\n");
    const Response head = parse(pending_.substr(0, end == std::string::npos ? pending_.size() : end + 4));
    pending_.erase(0, end == std::string::npos ? pending_.size() : end + 4);
    return head.status;
  }

  // A client's frame, masked (with a zero key, which leaves the payload as it is).
  void sendFrame(uint8_t opcode, const std::string& payload) {
    std::string frame(1, static_cast<char>(0x80 | opcode));
    if (payload.size() < 126) {
      frame += static_cast<char>(0x80 | payload.size());
    } else {
      frame += static_cast<char>(0x80 | 126);
      frame += static_cast<char>(payload.size() >> 8);
      frame += static_cast<char>(payload.size() & 0xff);
    }
    frame += std::string(4, '\0') + payload;
    send(frame);
  }

  struct Frame {
    int opcode = -1;  // -1: none came (closed or timed out)
    std::string payload;
    int closeCode() const {
      return payload.size() >= 2 ? (uint8_t(payload[0]) << 8) | uint8_t(payload[1]) : -1;
    }
  };

  // A server's frame (unmasked, as servers send them).
  Frame readFrame() {
    Frame frame;
    if (!have(2)) return frame;
    size_t size = uint8_t(pending_[1]) & 0x7f, head = 2;
    if (size == 126) {
      if (!have(4)) return frame;
      size = (uint8_t(pending_[2]) << 8) | uint8_t(pending_[3]);
      head = 4;
    }
    if (!have(head + size)) return frame;
    frame.opcode = pending_[0] & 0x0f;
    frame.payload = pending_.substr(head, size);
    pending_.erase(0, head + size);
    return frame;
  }

  // How what the server sends ends (answers before are passed over): with a close frame (its
  // code), the connection's end without one (0: a server that closes with bytes of ours unread
  // resets it, and the close frame may be lost), or not at all (-1).
  int closeCode() {
    for (Frame frame = readFrame(); frame.opcode != -1; frame = readFrame())
      if (frame.opcode == 8) return frame.closeCode();
    return ended_ ? 0 : -1;
  }

 private:
  bool fill(std::string& into) {
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, kWaitMs) <= 0) return false;
    char chunk[65536];
    const ssize_t got = recv(fd_, chunk, sizeof chunk, 0);
    ended_ = got <= 0;
    if (ended_) return false;
    into.append(chunk, static_cast<size_t>(got));
    return true;
  }

  bool have(size_t size) {
    while (pending_.size() < size)
      if (!fill(pending_)) return false;
    return true;
  }

  static Response parse(const std::string& all) {
    Response response;
    const size_t end = all.find("\r\n\r\n");
    response.head = all.substr(0, end == std::string::npos ? all.size() : end + 2);
    if (end != std::string::npos) response.body = all.substr(end + 4);
    if (all.rfind("HTTP/1.", 0) == 0 && all.size() > 12) response.status = std::stoi(all.substr(9, 3));
    return response;
  }

  int fd_;
  std::string pending_;  // read and not yet taken
  bool ended_ = false;
};
