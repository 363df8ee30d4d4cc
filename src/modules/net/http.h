// The HTTP client over the TCP client: a URL's host, the GET request, and
// where a response ends.
#pragma once

#include <cstddef>
#include <string_view>

#include "core/process.h"
#include "modules/net/net_api.h"
#include "modules/net/tcp_client.h"

namespace kwl {

// Skips everything up to the first "http://" (or "https://", which sets
// `tls`); the host runs to the next "/" or the end. Returns the rest, from
// that "/" on.
std::string_view SplitUrlHost(std::string_view url, std::string_view* host, bool* tls = nullptr);
// The name part of a host text "name:port"; `port` gets the port, or 0
// when the text names none.
std::string_view HostName(std::string_view host, int* port);
// Sends the GET request for `url`; the count of bytes sent.
size_t HttpSendGet(Process& proc, TcpStream& stream, std::string_view url);

// Follows a response as it arrives: the header block, then a body of
// Content-Length bytes, a chunked body up to its last chunk and trailers,
// nothing (1xx before the final response, 204, 304), or whatever comes
// until the peer closes. Each call goes on from where the last one stopped.
class HttpResponseEnd final : public MessageEnd {
 public:
  bool Complete(std::string_view received) override;
  bool Framed() const override { return http_ && state_ != State::kUntilClose; }
  // The length of the whole response once complete, else 0.
  size_t Length() const { return state_ == State::kDone ? end_ : 0; }

 private:
  enum class State { kHead, kBody, kChunkSize, kChunkData, kTrailer, kUntilClose, kDone };
  bool Head(std::string_view received);
  void ReadHead(std::string_view head, size_t bodyStart);
  bool ChunkSize(std::string_view received);
  bool ChunkData(std::string_view received);
  bool Trailer(std::string_view received);
  // The next line from pos_ (without its line end), with pos_ moved behind it; false until it is
  // whole.
  bool NextLine(std::string_view received, std::string_view* line);
  void Goto(State state, size_t pos);

  State state_ = State::kHead;
  bool http_ = false;   // the peer answered with an HTTP status line
  size_t pos_ = 0;      // where the part being read begins
  size_t scanned_ = 0;  // how far a search for a line end got
  size_t end_ = 0;      // where the body or chunk data ends; the whole response once done
};

}  // namespace kwl
