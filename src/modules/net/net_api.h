// The net module's connections for other modules (the mail client): TCP with
// an optional TLS layer, named by handles into the run's connection table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kwl {

struct Interpreter;

constexpr const char* kNetModule = "net";
constexpr const char* kNetApiSymbol = "kwl_net_api";
constexpr int kNetApiVersion = 2;

// Tells when the bytes received so far make a whole message (an HTTP
// response, a server's reply), so that a receive ends there and does not
// wait for more.
class MessageEnd {
 public:
  virtual ~MessageEnd() = default;
  // `received` is everything received so far; it only grows between calls.
  virtual bool Complete(std::string_view received) = 0;
  // True once the message has said how long it is: a message cut short is
  // then known to be cut.
  virtual bool Framed() const = 0;
};

// What a receive ended with.
enum class ReceiveResult {
  kDone = 0,      // a whole message, the peer closed, or no more came in time for an unframed one
  kTimeout = 1,   // nothing arrived within the time-out
  kTooLarge = 2,  // the message passed the size limit; reading stopped
  kCut = 3,       // a framed message was still incomplete when the time ran out
};

struct NetApi {
  int version;  // kNetApiVersion
  // Connects to host:port (a dotted IPv4 address or a name), bounded by the
  // connect time-out; the new handle (>= 1), or -1.
  int32_t (*connect)(Interpreter& interp, std::string_view host, int port);
  // Starts TLS on the connection for `host`, checking the server's
  // certificate unless kwl.conf turns that off; false when it failed.
  bool (*startTls)(Interpreter& interp, int32_t handle, std::string_view host);
  // Sends every byte; false when the connection failed or stalled.
  bool (*send)(Interpreter& interp, int32_t handle, std::string_view bytes);
  // Waits up to `seconds` for data: above 0 ready, 0 nothing, -1 failure or no such handle.
  int (*waitReadable)(Interpreter& interp, int32_t handle, int seconds);
  // Appends one message to `buffer`: `timeout` seconds for its first bytes
  // (0: none) and as long again for the rest; kTimeout when the handle
  // names no connection.
  ReceiveResult (*receive)(Interpreter& interp, int32_t handle, int timeout, MessageEnd& end,
                           std::string& buffer);
  // Closes the connection; its handle names nothing afterwards.
  void (*close)(Interpreter& interp, int32_t handle);
  // Since version 2: starts TLS as startTls does, checking the certificate
  // exactly when `verify` is set, whatever kwl.conf says; false (and the
  // connection closed) when it failed.
  bool (*startTlsVerify)(Interpreter& interp, int32_t handle, std::string_view host, bool verify);
};

using NetApiFn = const NetApi* (*)();

}  // namespace kwl
