#include "host/fcgi_stream.h"

#include <fastcgi.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace kwl {

Connection gConnection;

namespace {

// Large writes go to the library in slices it can count in an int.
constexpr size_t kSlice = size_t{1} << 20;
constexpr size_t kResponseBuffer = size_t{64} << 10;

ssize_t WriteResponse(void* cookie, const char* data, size_t size) {
  auto* stream = static_cast<FCGX_Stream*>(cookie);
  gConnection.inLibrary = true;
  for (size_t done = 0; done < size;) {
    size_t slice = std::min(size - done, kSlice);
    // A client that went away fails the stream; the page runs on and its
    // output goes nowhere, as under CGI.
    if (FCGX_PutStr(data + done, static_cast<int>(slice), stream) < 0) break;
    done += slice;
  }
  if (!gConnection.closing) FCGX_FFlush(stream);
  gConnection.inLibrary = false;
  gConnection.sent += size;
  return static_cast<ssize_t>(size);
}

ssize_t ReadBody(void* cookie, char* data, size_t size) {
  int got = FCGX_GetStr(data, static_cast<int>(std::min(size, kSlice)),
                        static_cast<FCGX_Stream*>(cookie));
  return got < 0 ? -1 : got;
}

void WriteAll(int fd, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    ssize_t n = write(fd, bytes, size);
    if (n <= 0) return;
    bytes += n;
    size -= static_cast<size_t>(n);
  }
}

// A record header: version, type, request id, content length, padding.
void Header(unsigned char* at, int type, int id, size_t length) {
  at[0] = FCGI_VERSION_1;
  at[1] = static_cast<unsigned char>(type);
  at[2] = static_cast<unsigned char>((id >> 8) & 0xff);
  at[3] = static_cast<unsigned char>(id & 0xff);
  at[4] = static_cast<unsigned char>((length >> 8) & 0xff);
  at[5] = static_cast<unsigned char>(length & 0xff);
  at[6] = 0;
  at[7] = 0;
}

}  // namespace

std::FILE* OpenResponse(FCGX_Stream* stream) {
  cookie_io_functions_t functions{};
  functions.write = WriteResponse;
  std::FILE* file = fopencookie(stream, "w", functions);
  if (file) std::setvbuf(file, nullptr, _IOFBF, kResponseBuffer);
  return file;
}

std::FILE* OpenRequestBody(FCGX_Stream* stream) {
  cookie_io_functions_t functions{};
  functions.read = ReadBody;
  return fopencookie(stream, "r", functions);
}

void AnswerGivenUp(const char* line) {
  WriteAll(STDERR_FILENO, line, std::strlen(line));
  int fd = gConnection.fd;
  if (fd < 0 || gConnection.inLibrary) return;
  static const char kBody[] =
      "Status: 500 Internal Server Error\r\nContent-type: text/html\r\n\r\n"
      "<HTML><BODY>The request could not be completed.</BODY></HTML>\n";
  unsigned char records[8 + sizeof kBody + 8 + 16];
  size_t at = 0;
  int id = gConnection.requestId;
  if (gConnection.sent == 0) {
    Header(records, FCGI_STDOUT, id, sizeof kBody - 1);
    std::memcpy(records + 8, kBody, sizeof kBody - 1);
    at = 8 + sizeof kBody - 1;
  }
  Header(records + at, FCGI_STDOUT, id, 0);  // the end of the response stream
  at += 8;
  Header(records + at, FCGI_END_REQUEST, id, 8);
  std::memset(records + at + 8, 0, 8);  // application status 0, request complete
  at += 16;
  WriteAll(fd, records, at);
}

}  // namespace kwl
