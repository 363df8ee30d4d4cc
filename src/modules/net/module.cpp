// The network module's entry: the HTTP tag, and the TCP and TLS client for
// other modules (net_api.h).
#include "core/module_entry.h"
#include "modules/net/net_api.h"
#include "modules/net/net_state.h"
#include "modules/net/net_tags.h"

namespace kwl {

void RegisterNetTags(TagRegistry& tags) {
  tags[kTagHttp].run = HttpTag;
}

namespace {

int32_t ApiConnect(Interpreter& interp, std::string_view host, int port) {
  return NetConnect(interp, host, port, false, "");
}

bool ApiSend(Interpreter& interp, int32_t handle, std::string_view bytes) {
  TcpStream* stream = NetStateOf(interp).Find(handle);
  int error = 0;
  return stream && TcpSend(interp.proc, *stream, bytes, &error) == bytes.size();
}

int ApiWaitReadable(Interpreter& interp, int32_t handle, int seconds) {
  TcpStream* stream = NetStateOf(interp).Find(handle);
  return stream ? TcpWaitReadable(interp.proc, *stream, seconds) : -1;
}

ReceiveResult ApiReceive(Interpreter& interp, int32_t handle, int timeout, MessageEnd& end,
                         std::string& buffer) {
  TcpStream* stream = NetStateOf(interp).Find(handle);
  return stream ? TcpReceive(interp.proc, *stream, timeout, end, buffer) : ReceiveResult::kTimeout;
}

void ApiClose(Interpreter& interp, int32_t handle) {
  NetStateOf(interp).Close(handle);
}

constexpr NetApi kApi{kNetApiVersion,  ApiConnect, NetStartTls, ApiSend,
                      ApiWaitReadable, ApiReceive, ApiClose,    NetStartTlsVerify};

constexpr ModuleEntry kEntry{kModuleAbi, "net",   RegisterNetTags, nullptr,
                             nullptr,    nullptr, nullptr};

}  // namespace

}  // namespace kwl

extern "C" const kwl::NetApi* kwl_net_api() {
  return &kwl::kApi;
}

extern "C" const kwl::ModuleEntry* kwl_module() {
  return &kwl::kEntry;
}
