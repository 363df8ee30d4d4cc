// The network state of one page run: its open connections, by the handles
// that pages keep in variables, and its TLS contexts.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>

#include "interp/interpreter.h"
#include "modules/net/tcp_client.h"
#include "modules/net/tls.h"

namespace kwl {

struct NetState {
  explicit NetState(Interpreter&) {}
  TlsContext tls[2];  // without and with certificate checks, made on first use
  // Handles count up from 1 and are never given out twice in a run: a stale
  // or made-up handle finds nothing rather than another connection.
  std::map<int32_t, std::unique_ptr<TcpStream>> open;
  int32_t next = 1;

  // Takes the connection over: its handle, or -1 (and the connection closed) when none is left.
  int32_t Add(std::unique_ptr<TcpStream> stream);
  // The open connection of a handle, or null.
  TcpStream* Find(int32_t handle);
  void Close(int32_t handle) { open.erase(handle); }
};

// The run's network state, made on first use; it closes what is left open
// when the run ends.
NetState& NetStateOf(Interpreter& interp);

// Connects to host:port, with TLS for `tlsHost` when `tls` is set: a new
// handle, or -1.
int32_t NetConnect(Interpreter& interp, std::string_view host, int port, bool tls,
                   std::string_view tlsHost);
// Starts TLS on an open connection; false (and the connection closed) when it fails.
bool NetStartTls(Interpreter& interp, int32_t handle, std::string_view host);
// The same with certificate checks on or off by the caller's choice.
bool NetStartTlsVerify(Interpreter& interp, int32_t handle, std::string_view host, bool verify);

}  // namespace kwl
