#include "modules/net/http.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/trace.h"
#include "text/ascii.h"

namespace kwl {

namespace {

constexpr std::string_view kStatusStart = "HTTP/";

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && (IsBlank(text.back()) || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = AsciiLower(c);
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The status code of "HTTP/x.y NNN reason", or -1.
int StatusCode(std::string_view line) {
  size_t space = line.find(' ');
  if (space == std::string_view::npos || line.size() < space + 4) return -1;
  int code = 0;
  for (size_t i = space + 1; i < space + 4; ++i) {
    if (line[i] < '0' || line[i] > '9') return -1;
    code = code * 10 + (line[i] - '0');
  }
  return line.size() == space + 4 || IsBlank(line[space + 4]) || line[space + 4] == '\r' ? code
                                                                                         : -1;
}

// A Content-Length value: digits only, and few enough to hold.
bool ReadLength(std::string_view value, uint64_t* length) {
  if (value.empty() || value.size() > 18) return false;
  *length = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    *length = *length * 10 + static_cast<uint64_t>(c - '0');
  }
  return true;
}

// Whether the last coding of a Transfer-Encoding list is "chunked".
bool EndsChunked(std::string_view value) {
  size_t comma = value.rfind(',');
  std::string_view last = Trim(comma == std::string_view::npos ? value : value.substr(comma + 1));
  return AsciiEqualsNoCase(last, "chunked");
}

}  // namespace

std::string_view SplitUrlHost(std::string_view url, std::string_view* host, bool* tls) {
  size_t plain = url.find("http://");
  size_t secure = url.find("https://");
  bool isTls = secure < plain;
  if (isTls) {
    url.remove_prefix(secure + 8);
  } else if (plain != std::string_view::npos) {
    url.remove_prefix(plain + 7);
  }
  if (tls) *tls = isTls;
  size_t slash = url.find('/');
  *host = url.substr(0, slash);
  return slash == std::string_view::npos ? std::string_view() : url.substr(slash);
}

std::string_view HostName(std::string_view host, int* port) {
  *port = 0;
  size_t colon = host.rfind(':');
  if (colon == std::string_view::npos) return host;
  std::string_view digits = host.substr(colon + 1);
  if (digits.empty() || digits.size() > 5) return host;
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return host;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return host;
  *port = value;
  return host.substr(0, colon);
}

size_t HttpSendGet(Process& proc, TcpStream& stream, std::string_view url) {
  std::string_view host;
  std::string_view rest = SplitUrlHost(url, &host);
  std::string request = "GET ";
  // A URL without a path asks for the root: an empty target is no request.
  request += rest.empty() ? std::string_view("/") : rest;
  request += " HTTP/1.1\r\nHost: ";
  request += host;
  request += "\r\nAccept: */*\r\nAccept-Language: fr\r\n";
  if (const char* agent = Env(proc, "HTTP_USER_AGENT")) {
    // The visitor's text ends at a line end: it must not add lines of its own.
    std::string_view value(agent);
    request += "User-Agent: ";
    request += value.substr(0, value.find_first_of("\r\n"));
    request += "\r\n";
  }
  request += "\r\n";
  int error = 0;
  size_t sent = TcpSend(proc, stream, request, &error);
  Trace(proc, "Send HTTP query = [%s] socket = %d sz = %d err = %d\n", request.c_str(), stream.fd,
        static_cast<int>(sent), error);
  return sent;
}

bool HttpResponseEnd::Complete(std::string_view received) {
  for (;;) {
    bool moved = false;
    switch (state_) {
      case State::kHead:
        moved = Head(received);
        break;
      case State::kBody:
        moved = received.size() >= end_;
        if (moved) Goto(State::kDone, end_);
        break;
      case State::kChunkSize:
        moved = ChunkSize(received);
        break;
      case State::kChunkData:
        moved = ChunkData(received);
        break;
      case State::kTrailer:
        moved = Trailer(received);
        break;
      case State::kUntilClose:
        return false;
      case State::kDone:
        return true;
    }
    if (!moved) return false;
  }
}

void HttpResponseEnd::Goto(State state, size_t pos) {
  state_ = state;
  pos_ = pos;
  scanned_ = pos;
  if (state == State::kDone) end_ = pos;
}

bool HttpResponseEnd::NextLine(std::string_view received, std::string_view* line) {
  size_t end = received.find('\n', std::max(scanned_, pos_));
  if (end == std::string_view::npos) {
    scanned_ = received.size();
    return false;
  }
  *line = received.substr(pos_, end - pos_);
  if (!line->empty() && line->back() == '\r') line->remove_suffix(1);
  pos_ = scanned_ = end + 1;
  return true;
}

bool HttpResponseEnd::Head(std::string_view received) {
  std::string_view start = received.substr(pos_, kStatusStart.size());
  if (start != kStatusStart.substr(0, start.size())) {
    Goto(State::kUntilClose, pos_);
    return true;
  }
  if (start.size() < kStatusStart.size()) return false;
  http_ = true;
  // The header block ends with an empty line (CR LF, or a bare LF).
  for (size_t i = std::max(scanned_, pos_); (i = received.find('\n', i)) != std::string_view::npos;
       ++i) {
    size_t after = i + 1;
    if (after < received.size() && received[after] == '\r') ++after;
    if (after >= received.size()) {
      scanned_ = i;
      return false;
    }
    if (received[after] == '\n') {
      ReadHead(received.substr(pos_, i + 1 - pos_), after + 1);
      return true;
    }
  }
  scanned_ = received.size();
  return false;
}

void HttpResponseEnd::ReadHead(std::string_view head, size_t bodyStart) {
  size_t lineEnd = head.find('\n');
  int code = StatusCode(head.substr(0, lineEnd));
  bool chunked = false;
  bool lengthSeen = false;
  bool lengthBad = false;
  uint64_t length = 0;
  for (size_t at = lineEnd + 1; at < head.size();) {
    size_t next = std::min(head.find('\n', at), head.size());
    std::string_view line = head.substr(at, next - at);
    at = next + 1;
    size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = line.substr(0, colon);
    std::string_view value = Trim(line.substr(colon + 1));
    if (AsciiEqualsNoCase(name, "Transfer-Encoding")) {
      chunked = EndsChunked(value);
    } else if (AsciiEqualsNoCase(name, "Content-Length")) {
      uint64_t n = 0;
      // Lengths that disagree leave only the peer's close to end the body.
      if (!ReadLength(value, &n) || (lengthSeen && n != length)) lengthBad = true;
      length = n;
      lengthSeen = true;
    }
  }
  if (code >= 100 && code < 200 && code != 101) {
    Goto(State::kHead, bodyStart);  // an interim answer: the final one follows
  } else if (code == 204 || code == 304) {
    Goto(State::kDone, bodyStart);
  } else if (code < 0) {
    Goto(State::kUntilClose, bodyStart);
  } else if (chunked) {
    Goto(State::kChunkSize, bodyStart);
  } else if (lengthSeen && !lengthBad && length <= SIZE_MAX - bodyStart) {
    Goto(State::kBody, bodyStart);
    end_ = bodyStart + length;
  } else {
    Goto(State::kUntilClose, bodyStart);
  }
}

bool HttpResponseEnd::ChunkSize(std::string_view received) {
  std::string_view line;
  if (!NextLine(received, &line)) return false;
  uint64_t size = 0;
  size_t digits = 0;
  for (; digits < line.size() && HexDigit(line[digits]) >= 0; ++digits) {
    if (size >> 56) break;
    size = size * 16 + static_cast<uint64_t>(HexDigit(line[digits]));
  }
  std::string_view after = Trim(line.substr(digits));
  if (digits == 0 || (!after.empty() && after[0] != ';') || size > SIZE_MAX - pos_) {
    Goto(State::kUntilClose, pos_);
  } else if (size == 0) {
    Goto(State::kTrailer, pos_);
  } else {
    Goto(State::kChunkData, pos_);
    end_ = pos_ + size;
  }
  return true;
}

bool HttpResponseEnd::ChunkData(std::string_view received) {
  // The data, then its line end.
  if (received.size() <= end_) return false;
  size_t after = end_;
  if (received[after] == '\r') {
    if (received.size() <= after + 1) return false;
    ++after;
  }
  if (received[after] != '\n') {
    Goto(State::kUntilClose, pos_);
  } else {
    Goto(State::kChunkSize, after + 1);
  }
  return true;
}

bool HttpResponseEnd::Trailer(std::string_view received) {
  std::string_view line;
  if (!NextLine(received, &line)) return false;
  if (line.empty()) Goto(State::kDone, pos_);
  return true;
}

}  // namespace kwl
