// The response reader: whatever bytes a server sends, the end found in them
// is the same whether they come at once or in pieces, lies within them and
// is the first point at which the response is whole; read from a socket,
// every byte up to that end is kept, and never more than the limit.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "modules/net/http.h"
#include "modules/net/tcp_client.h"

using namespace kwl;

namespace {

void CheckFraming(std::string_view input, size_t piece) {
  HttpResponseEnd whole;
  const bool complete = whole.Complete(input);
  HttpResponseEnd pieces;
  bool seen = false;
  for (size_t n = std::min(piece, input.size()); !seen; n = std::min(n + piece, input.size())) {
    seen = pieces.Complete(input.substr(0, n));
    if (n == input.size()) break;
  }
  FUZZ_CHECK(seen == complete);
  FUZZ_CHECK(pieces.Length() == whole.Length());
  FUZZ_CHECK(pieces.Framed() == whole.Framed());
  if (!complete) return;
  const size_t length = whole.Length();
  FUZZ_CHECK(length > 0 && length <= input.size());
  HttpResponseEnd exact;
  FUZZ_CHECK(exact.Complete(input.substr(0, length)) && exact.Length() == length);
  HttpResponseEnd shorter;
  FUZZ_CHECK(!shorter.Complete(input.substr(0, length - 1)));
}

// The bytes and then the close are waiting in the socket, so nothing is waited for.
void CheckSocketRead(Process& proc, std::string_view input, size_t limit) {
  int ends[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) != 0) std::abort();
  FUZZ_CHECK(send(ends[1], input.data(), input.size(), 0) == static_cast<ssize_t>(input.size()));
  shutdown(ends[1], SHUT_WR);
  TcpStream stream(ends[0]);
  HttpResponseEnd end;
  std::string received = "kept";
  ReceiveResult result = TcpReceive(proc, stream, 0, end, received, limit);
  close(ends[1]);
  FUZZ_CHECK(received.compare(0, 4, "kept") == 0);
  std::string_view body = std::string_view(received).substr(4);
  FUZZ_CHECK(body.size() <= limit && input.substr(0, body.size()) == body);
  if (result == ReceiveResult::kTooLarge) {
    FUZZ_CHECK(input.size() > limit);
  } else {
    FUZZ_CHECK(result == ReceiveResult::kDone);
    FUZZ_CHECK(body == input || (end.Length() > 0 && end.Length() <= body.size()));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input = fuzz::Bytes(data, size);
  const uint8_t switches = fuzz::TakeSwitches(input);
  // Larger inputs than a socket holds at once are not what this target is about.
  if (input.size() > 65536) return 0;
  CheckFraming(input, 1 + (switches >> 4));
  Process proc;
  fuzz::QuietTrace trace(proc, switches & 1);
  CheckSocketRead(proc, input, switches & 2 ? input.size() / 2 : kMaxMessageBytes);
  return 0;
}
