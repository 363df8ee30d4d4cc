// TLS over a connected socket: the client context, the handshake with or
// without checking the server's certificate, and reads and writes.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "core/process.h"
#include "modules/net/tcp_client.h"

struct ssl_ctx_st;

namespace kwl {

// A client context (OpenSSL's): with checking on, it holds the system's
// trusted certificates, so a run makes it once.
struct TlsContextFree {
  void operator()(ssl_ctx_st* context) const;
};
using TlsContext = std::unique_ptr<ssl_ctx_st, TlsContextFree>;

// `verify`: servers must show a certificate the system trusts, for the host
// they were asked for. Null (traced) when the library fails.
TlsContext TlsContextNew(Process& proc, bool verify);

// The handshake for `host` on the stream's socket, bounded by `timeoutMs`;
// false (traced) when it failed or the certificate was refused.
bool TlsStart(Process& proc, ssl_ctx_st& context, TcpStream& stream, std::string_view host,
              int timeoutMs);

// What a read or write that moved nothing waits for.
enum class TlsWait { kNone, kRead, kWrite };

// Bytes read (> 0); 0 when the peer closed; -1 on failure, or with `wait`
// set when the socket must become ready first.
long TlsRead(ssl_st& session, char* buffer, size_t size, TlsWait* wait);
// Bytes written (> 0); -1 on failure, or with `wait` set as for TlsRead.
long TlsWrite(ssl_st& session, std::string_view bytes, TlsWait* wait);
// True when decrypted bytes are waiting to be read.
bool TlsPending(ssl_st& session);

}  // namespace kwl
