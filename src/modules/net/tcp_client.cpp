#include "modules/net/tcp_client.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "core/trace.h"
#include "modules/net/tls.h"

namespace kwl {

namespace {

using Clock = std::chrono::steady_clock;

// 1 when `events` are ready on `fd` within `wait`, 0 when not, -1 on failure.
int PollFor(int fd, short events, std::chrono::nanoseconds wait) {
  pollfd entry{fd, events, 0};
  timespec limit{static_cast<time_t>(wait.count() / 1'000'000'000),
                 static_cast<long>(wait.count() % 1'000'000'000)};
  int ready = ppoll(&entry, 1, &limit, nullptr);
  if (ready < 0 && errno == EINTR) return 0;
  return ready;
}

// Bytes already decrypted count as ready: the socket may hold nothing more.
int ReadableWithin(TcpStream& stream, std::chrono::nanoseconds wait) {
  if (stream.tls && TlsPending(*stream.tls)) return 1;
  return PollFor(stream.fd, POLLIN, wait);
}

// Bytes read (> 0), 0 when the peer closed, -1 on failure or, with
// `wouldBlock` set, when nothing has arrived yet.
long StreamRead(TcpStream& stream, char* buffer, size_t size, bool* wouldBlock) {
  *wouldBlock = false;
  if (stream.tls) {
    TlsWait wait = TlsWait::kNone;
    long n = TlsRead(*stream.tls, buffer, size, &wait);
    *wouldBlock = n < 0 && wait != TlsWait::kNone;
    return n;
  }
  for (;;) {
    ssize_t n = recv(stream.fd, buffer, size, 0);
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    *wouldBlock = errno == EAGAIN || errno == EWOULDBLOCK;
    return -1;
  }
}

bool ResolveIpv4(Process& proc, std::string_view host, in_addr* address) {
  std::string name(host);
  if (name.empty() || name.find('\0') != std::string::npos) return false;
  if (inet_pton(AF_INET, name.c_str(), address) == 1) return true;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int status = getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (status != 0 || !found) {
    Trace(proc, "Can't resolve %.255s (%s)\n", name.c_str(), gai_strerror(status));
    return false;
  }
  *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

// Connects the non-blocking socket, waiting at most `timeoutMs` for the peer.
bool ConnectWithin(Process& proc, int fd, const sockaddr_in& address, int timeoutMs) {
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return true;
  if (errno != EINPROGRESS && errno != EINTR) {
    Trace(proc, "Connect error sock = %d err = %d\n", fd, errno);
    return false;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  int ready = 0;
  while (ready == 0 && Clock::now() < deadline) {
    ready = PollFor(fd, POLLOUT, deadline - Clock::now());
  }
  if (ready <= 0) {
    Trace(proc, "Connect time out after %d ms sock = %d\n", timeoutMs, fd);
    return false;
  }
  int error = 0;
  socklen_t length = sizeof error;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  if (error != 0) {
    Trace(proc, "Connect error sock = %d err = %d\n", fd, error);
    return false;
  }
  return true;
}

// Waits until more bytes can be read or `deadline` passes: a second at a
// time as the trace counts them, the last part of one up to the deadline.
bool WaitForMore(Process& proc, TcpStream& stream, Clock::time_point deadline) {
  if (ReadableWithin(stream, std::chrono::nanoseconds(0)) > 0) return true;
  for (auto left = deadline - Clock::now(); left.count() > 0; left = deadline - Clock::now()) {
    int ready = left >= std::chrono::seconds(1) ? TcpWaitReadable(proc, stream, 1)
                                                : ReadableWithin(stream, left);
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(deadline - Clock::now());
    Trace(proc, "Timeout=%d\n", static_cast<int>(std::max<long>(0, seconds.count())));
    if (ready != 0) return ready > 0;
  }
  return false;
}

}  // namespace

TcpStream::~TcpStream() {
  tls.reset();
  TcpClose(fd);
}

int TcpConnect(Process& proc, std::string_view host, int port, int timeoutMs) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (port < 1 || port > 65535) {
    Trace(proc, "Bad port %d\n", port);
    return -1;
  }
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (!ResolveIpv4(proc, host, &address.sin_addr)) return -1;
  // Non-blocking from the start, so that connecting is bounded too. Commands
  // run by SYSTEM do not inherit it.
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    Trace(proc, "Sockect = %d state = %d err = %d\n", fd, -1, errno);
    return -1;
  }
  linger noLinger{0, 0};
  int state = setsockopt(fd, SOL_SOCKET, SO_LINGER, &noLinger, sizeof noLinger);
  Trace(proc, "Sockect = %d state = %d err = %d\n", fd, state, state == 0 ? 0 : errno);
  if (!ConnectWithin(proc, fd, address, timeoutMs)) {
    close(fd);
    return -1;
  }
  Trace(proc, "Sockect = %d (%d)\n", fd, 0);
  return fd;
}

int TcpWaitReadable(Process& proc, TcpStream& stream, int seconds) {
  Trace(proc, "Waiting for data %ds", seconds);
  int steps = seconds * 100;
  int ready = ReadableWithin(stream, std::chrono::microseconds(100));
  while (ready == 0 && steps > 0) {
    TRACE(proc, ".");
    ready = ReadableWithin(stream, std::chrono::milliseconds(10));
    --steps;
  }
  if (ready < 0) Trace(proc, " Erreur select errno=%d, erreur '%s'\n", errno, strerror(errno));
  Trace(proc, " %d/100s left\n", steps);
  return ready;
}

ReceiveResult TcpReceive(Process& proc, TcpStream& stream, int timeout, MessageEnd& end,
                         std::string& buffer, size_t limit) {
  const size_t start = buffer.size();
  const auto begun = Clock::now();
  auto received = [&] { return std::string_view(buffer).substr(start); };
  auto total = [&] {
    Trace(proc, "Total receive = %ld bytes\n", static_cast<long>(buffer.size() - start));
  };
  auto timedOut = [&] {
    Trace(proc, "Time out...(%d), %d bytes sock = %d err=%d\n", timeout, 0, stream.fd, errno);
    total();
    return ReceiveResult::kTimeout;
  };
  if (timeout >= 1) {
    int ready = 0;
    int waited = 0;
    while (ready == 0 && waited < timeout) {
      ready = TcpWaitReadable(proc, stream, 1);
      ++waited;
    }
    if (ready <= 0) return timedOut();
    Trace(proc, "Data pending...(%d),\n", waited);
  }
  // Until the first bytes the time-out runs (none without one); from then on
  // the rest of the message gets as long again.
  const auto rest = std::chrono::seconds(timeout >= 1 ? timeout : kRestSecondsWithoutTimeout);
  std::optional<Clock::time_point> deadline;
  if (timeout >= 1) deadline = begun + std::chrono::seconds(timeout);
  bool first = true;
  char chunk[kReceiveChunk];
  for (;;) {
    Trace(proc, "Reading socket data...");
    bool wouldBlock = false;
    long n = StreamRead(stream, chunk, sizeof chunk, &wouldBlock);
    if (n > 0) {
      Trace(proc, "%d bytes\n", static_cast<int>(n));
      if (received().size() + static_cast<size_t>(n) > limit) {
        Trace(proc, "Message larger than %zu bytes: receive stopped\n", limit);
        total();
        return ReceiveResult::kTooLarge;
      }
      buffer.append(chunk, static_cast<size_t>(n));
      if (first) deadline = Clock::now() + rest;
      first = false;
      if (end.Complete(received())) break;
      continue;
    }
    if (n == 0) {
      Trace(proc, "End of data...\n");
      break;
    }
    if (!wouldBlock) {
      Trace(proc, "Read error err=%d\n", errno);
      break;
    }
    if (!deadline || !WaitForMore(proc, stream, *deadline)) {
      if (first && timeout >= 1) return timedOut();
      total();
      return !first && end.Framed() ? ReceiveResult::kCut : ReceiveResult::kDone;
    }
  }
  total();
  return ReceiveResult::kDone;
}

size_t TcpSend(Process& proc, TcpStream& stream, std::string_view bytes, int* error) {
  size_t sent = 0;
  *error = 0;
  while (sent < bytes.size()) {
    std::string_view left = bytes.substr(sent);
    long n = 0;
    short events = POLLOUT;
    bool wouldBlock = false;
    if (stream.tls) {
      TlsWait wait = TlsWait::kNone;
      n = TlsWrite(*stream.tls, left, &wait);
      wouldBlock = n < 0 && wait != TlsWait::kNone;
      if (wait == TlsWait::kRead) events = POLLIN;
    } else {
      // A peer that has gone away gives an error here, not a signal that ends the run.
      n = send(stream.fd, left.data(), left.size(), MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      wouldBlock = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
    if (n > 0) {
      sent += static_cast<size_t>(n);
      continue;
    }
    if (!wouldBlock) {
      *error = errno;
      break;
    }
    int ready = PollFor(stream.fd, events, std::chrono::milliseconds(kConnectTimeoutMs));
    if (ready <= 0) {
      *error = ready == 0 ? ETIMEDOUT : errno;
      Trace(proc, "Send stalled sock = %d after %zu bytes\n", stream.fd, sent);
      break;
    }
  }
  return sent;
}

void TcpClose(int fd) {
  if (fd < 0) return;
  shutdown(fd, SHUT_RDWR);
  close(fd);
}

}  // namespace kwl
