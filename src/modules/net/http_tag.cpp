// <HTTP>: GET fetches a page (over TLS for https), PUT sends bytes of the
// page's own making; CONTENT receives the raw response, at once or in a
// later tag that names the same connection.
#include <optional>
#include <string>

#include "core/trace.h"
#include "interp/substitute.h"
#include "modules/net/http.h"
#include "modules/net/net_state.h"
#include "modules/net/net_tags.h"

namespace kwl {

namespace {

constexpr int kHttpPort = 80;
constexpr int kHttpsPort = 443;

// The substituted value of an attribute; nothing when the tag lacks it.
std::optional<std::string> Value(Interpreter& interp, AttributeList& attributes,
                                 std::string_view name) {
  Variable* var = FindAttribute(attributes, name);
  if (!var) return std::nullopt;
  std::string text;
  SubstituteVariable(interp, *var, text);
  return text;
}

// An attribute that names a variable: an empty name is no name.
std::optional<std::string> VariableName(Interpreter& interp, AttributeList& attributes,
                                        std::string_view name) {
  std::optional<std::string> value = Value(interp, attributes, name);
  if (value && value->empty()) value.reset();
  return value;
}

// Connects for a GET and sends it: the handle, or -1.
int32_t OpenGet(Interpreter& interp, const std::string& url, std::optional<int> port) {
  // Line ends in the URL (a visitor's value, say) would add lines to the request.
  if (url.find_first_of("\r\n") != std::string::npos) {
    Trace(interp.proc, "HTTP: line end in URL refused\n");
    return -1;
  }
  std::string_view host;
  bool tls = false;
  SplitUrlHost(url, &host, &tls);
  int urlPort = 0;
  std::string_view name = HostName(host, &urlPort);
  int chosen = port ? *port : urlPort ? urlPort : tls ? kHttpsPort : kHttpPort;
  int32_t handle = NetConnect(interp, name, chosen, tls, name);
  if (handle >= 1) HttpSendGet(interp.proc, *NetStateOf(interp).Find(handle), url);
  return handle;
}

// Receives the response into the GLOBAL variable `contentName` and closes the connection.
void Receive(Interpreter& interp, int32_t handle, TcpStream& stream, const std::string& contentName,
             int timeout) {
  Variable* content = ScopeGetOrCreate(*interp.global, contentName);
  VarSet(*content, "");
  std::string received;
  HttpResponseEnd end;
  ReceiveResult result = TcpReceive(interp.proc, stream, timeout, end, received);
  NetStateOf(interp).Close(handle);
  if (result == ReceiveResult::kTooLarge) received.clear();
  // The variable holds text since VarSet: the bytes go in without a copy.
  content->text.swap(received);
  switch (result) {
    case ReceiveResult::kDone:
      break;
    case ReceiveResult::kTimeout:
    case ReceiveResult::kCut:
      ReportError(interp, 2, "HTTP timout close connection");
      break;
    case ReceiveResult::kTooLarge:
      ReportError(interp, 2, "HTTP response too large close connection");
      break;
  }
}

}  // namespace

void HttpTag(Interpreter& interp, const TagCall& call) {
  ReportError(interp, 0, "");
  AttributeList attributes = ParseAttributes(interp.proc, call.chunk);
  std::optional<std::string> name = VariableName(interp, attributes, "NAME");
  std::optional<std::string> get = Value(interp, attributes, "GET");
  std::optional<std::string> put = Value(interp, attributes, "PUT");
  std::optional<std::string> server = Value(interp, attributes, "SERVER");
  std::optional<std::string> content = VariableName(interp, attributes, "CONTENT");
  std::optional<std::string> portText = Value(interp, attributes, "PORT");
  std::optional<std::string> timeoutText = Value(interp, attributes, "TIMEOUT");
  if (!name) {
    ReportError(interp, 1, "ERROR: Missing field NAME in HTTP tag");
    return;
  }
  std::optional<int> port;
  if (portText) port = ParseDecimal(*portText);
  int timeout = timeoutText ? ParseDecimal(*timeoutText) : 0;

  int32_t handle = 0;
  if (get) {
    handle = OpenGet(interp, *get, port);
    ScopeSetInt(*interp.global, *name, handle);
  } else if (put) {
    if (!server) {
      ReportError(interp, 1, "ERROR: You must use SERVER with PUT in HTTP tag");
      return;
    }
    handle = NetConnect(interp, *server, port.value_or(kHttpPort), false, "");
    ScopeSetInt(*interp.global, *name, handle);
    int error = 0;
    if (handle >= 1) TcpSend(interp.proc, *NetStateOf(interp).Find(handle), *put, &error);
  } else if (content) {
    ScopeGetInt(*interp.global, *name, &handle);
  } else {
    ReportError(interp, 1, "ERROR: Missing field GET or CONTENT in HTTP tag");
    return;
  }
  // Only a connection this run opened and has not closed: never a descriptor
  // of the process (the response, a database socket) named by a number.
  TcpStream* stream = handle >= 1 ? NetStateOf(interp).Find(handle) : nullptr;
  if (!stream) {
    ReportError(interp, 2, "Can't open HTTP connection");
    return;
  }
  if (content) Receive(interp, handle, *stream, *content, timeout);
}

}  // namespace kwl
