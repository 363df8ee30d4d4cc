// A FastCGI request's streams as stdio files, and the answer a worker sends
// for a request it has to give up (from a signal handler: no allocation, no
// stdio, no locks).
#pragma once

#include <fcgiapp.h>

#include <atomic>
#include <cstddef>
#include <cstdio>

namespace kwl {

// What the emergency answer needs to know of the request being served.
struct Connection {
  std::atomic<int> fd{-1};  // -1: no request
  std::atomic<int> requestId{0};
  std::atomic<bool> inLibrary{false};  // a record may be half written
  std::atomic<size_t> sent{0};         // response bytes written to the server
  // The response is being closed: its last bytes wait in the library's
  // buffer and go out with the end of the request, in one write.
  bool closing = false;
};
extern Connection gConnection;

// The response body as a FILE whose every flush reaches the server, so
// that `sent` tells whether the server has seen any of the response yet.
std::FILE* OpenResponse(FCGX_Stream* stream);
// The request body as a FILE.
std::FILE* OpenRequestBody(FCGX_Stream* stream);

// Ends the request being served with a 500 when nothing of its response was
// sent yet, else ends it where it is; writes `line` to standard error first.
// Safe in a signal handler.
void AnswerGivenUp(const char* line);

}  // namespace kwl
