// The TCP client: connect by address or name with a time-out, wait for data,
// receive a whole message, send, close; over TLS once a session is started.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "core/process.h"
#include "modules/net/net_api.h"

struct ssl_st;

namespace kwl {

// A peer that never answers a connection attempt fails after this long.
constexpr int kConnectTimeoutMs = 10'000;
// Bytes asked for per read.
constexpr size_t kReceiveChunk = 4096;
// A response may hold this much; a longer one stops receiving with an error.
constexpr size_t kMaxMessageBytes = size_t{64} << 20;
// Without a time-out the first bytes are not waited for, but once they have
// come the rest of the message gets this long.
constexpr int kRestSecondsWithoutTimeout = 10;

// A TLS session (OpenSSL's), shut down and freed with its connection.
struct TlsSessionFree {
  void operator()(ssl_st* session) const;
};
using TlsSession = std::unique_ptr<ssl_st, TlsSessionFree>;

// One connection: its socket (non-blocking) and, once started, its TLS session.
struct TcpStream {
  int fd = -1;
  TlsSession tls;

  explicit TcpStream(int socket) : fd(socket) {}
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;
  ~TcpStream();
};

// A connected non-blocking socket, or -1 (name unknown, refused, no answer
// within `timeoutMs`).
int TcpConnect(Process& proc, std::string_view host, int port, int timeoutMs = kConnectTimeoutMs);
// Waits up to `seconds` for data: above 0 ready, 0 nothing, -1 failure.
int TcpWaitReadable(Process& proc, TcpStream& stream, int seconds);
// Appends one message to `buffer` as `end` frames it. `timeout` seconds for
// the first bytes (0: none are waited for) and as long again for the rest
// (kRestSecondsWithoutTimeout when `timeout` is 0).
ReceiveResult TcpReceive(Process& proc, TcpStream& stream, int timeout, MessageEnd& end,
                         std::string& buffer, size_t limit = kMaxMessageBytes);
// Sends all of `bytes`, waiting at most the connect time-out whenever the
// peer stops taking them; the count sent, with the system's error number in `error`.
size_t TcpSend(Process& proc, TcpStream& stream, std::string_view bytes, int* error);
// Shuts both directions down and closes.
void TcpClose(int fd);

}  // namespace kwl
