#include "modules/net/tls.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <string>

#include "core/trace.h"

namespace kwl {

namespace {

// The library writes to the socket itself: a peer that has gone away must
// give an error there, not the signal that would end the run. SIGPIPE is
// held back on this thread while it works, and one it raised is taken away.
class SigpipeHeld {
 public:
  SigpipeHeld() {
    sigemptyset(&pipe_);
    sigaddset(&pipe_, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_, &saved_);
  }
  ~SigpipeHeld() {
    sigset_t pending;
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) &&
        !sigismember(&saved_, SIGPIPE)) {
      timespec none{0, 0};
      sigtimedwait(&pipe_, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
  }
  SigpipeHeld(const SigpipeHeld&) = delete;
  SigpipeHeld& operator=(const SigpipeHeld&) = delete;

 private:
  sigset_t pipe_;
  sigset_t saved_;
};

void TraceTlsFailure(Process& proc, const char* what, SSL* ssl) {
  char text[256] = "";
  unsigned long code = ERR_get_error();
  if (code) ERR_error_string_n(code, text, sizeof text);
  Trace(proc, "TLS %s failed: %s\n", what, code ? text : "no detail");
  long verified = ssl ? SSL_get_verify_result(ssl) : X509_V_OK;
  if (verified != X509_V_OK) {
    Trace(proc, "TLS certificate refused: %s\n", X509_verify_cert_error_string(verified));
  }
  ERR_clear_error();
}

bool IsIpAddress(const std::string& host) {
  in_addr v4;
  in6_addr v6;
  return inet_pton(AF_INET, host.c_str(), &v4) == 1 || inet_pton(AF_INET6, host.c_str(), &v6) == 1;
}

TlsWait WaitOf(SSL* ssl, int result) {
  switch (SSL_get_error(ssl, result)) {
    case SSL_ERROR_WANT_READ:
      return TlsWait::kRead;
    case SSL_ERROR_WANT_WRITE:
      return TlsWait::kWrite;
    default:
      return TlsWait::kNone;
  }
}

int ToInt(size_t size) {
  return size > INT_MAX ? INT_MAX : static_cast<int>(size);
}

}  // namespace

void TlsContextFree::operator()(ssl_ctx_st* context) const {
  SSL_CTX_free(context);
}

void TlsSessionFree::operator()(ssl_st* session) const {
  SigpipeHeld held;
  // One close_notify, without waiting for the peer's: the socket closes next.
  SSL_shutdown(session);
  SSL_free(session);
}

TlsContext TlsContextNew(Process& proc, bool verify) {
  TlsContext context(SSL_CTX_new(TLS_client_method()));
  if (!context) {
    TraceTlsFailure(proc, "context", nullptr);
    return context;
  }
  SSL_CTX* ctx = context.get();
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  // A peer that closes without a close_notify ends the data like any close.
  SSL_CTX_set_options(ctx, SSL_OP_IGNORE_UNEXPECTED_EOF);
  SSL_CTX_set_mode(ctx, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (verify) {
    if (SSL_CTX_set_default_verify_paths(ctx) != 1) TraceTlsFailure(proc, "trust store", nullptr);
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  } else {
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
  }
  return context;
}

bool TlsStart(Process& proc, ssl_ctx_st& context, TcpStream& stream, std::string_view host,
              int timeoutMs) {
  stream.tls.reset(SSL_new(&context));
  SSL* ssl = stream.tls.get();
  std::string name(host);
  if (!ssl || SSL_set_fd(ssl, stream.fd) != 1 || name.find('\0') != std::string::npos) {
    TraceTlsFailure(proc, "session", ssl);
    return false;
  }
  // The certificate must name the host asked for: by name, or by address.
  if (IsIpAddress(name)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl, name.c_str());
    SSL_set1_host(ssl, name.c_str());
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  SigpipeHeld held;
  for (;;) {
    ERR_clear_error();
    int result = SSL_connect(ssl);
    if (result == 1) break;
    TlsWait wait = WaitOf(ssl, result);
    if (wait == TlsWait::kNone) {
      TraceTlsFailure(proc, "handshake", ssl);
      return false;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd entry{stream.fd, static_cast<short>(wait == TlsWait::kRead ? POLLIN : POLLOUT), 0};
    int ready = left.count() > 0 ? poll(&entry, 1, static_cast<int>(left.count())) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) {
      Trace(proc, "TLS handshake time out sock = %d\n", stream.fd);
      return false;
    }
  }
  Trace(proc, "TLS %s %s sock = %d\n", SSL_get_version(ssl), SSL_get_cipher_name(ssl), stream.fd);
  return true;
}

long TlsRead(ssl_st& session, char* buffer, size_t size, TlsWait* wait) {
  SigpipeHeld held;
  ERR_clear_error();
  int result = SSL_read(&session, buffer, ToInt(size));
  *wait = TlsWait::kNone;
  if (result > 0) return result;
  if (SSL_get_error(&session, result) == SSL_ERROR_ZERO_RETURN) return 0;
  *wait = WaitOf(&session, result);
  return -1;
}

long TlsWrite(ssl_st& session, std::string_view bytes, TlsWait* wait) {
  SigpipeHeld held;
  ERR_clear_error();
  int result = SSL_write(&session, bytes.data(), ToInt(bytes.size()));
  *wait = TlsWait::kNone;
  if (result > 0) return result;
  *wait = WaitOf(&session, result);
  return -1;
}

bool TlsPending(ssl_st& session) {
  return SSL_pending(&session) > 0;
}

}  // namespace kwl
