#include "modules/net/net_state.h"

#include <limits>

#include "core/scope.h"

namespace kwl {

namespace {

constexpr std::string_view kModuleName = "net";

// kwl.conf's veltlsverify 0 accepts any certificate (self-signed test
// servers); anything else, or no setting, checks it.
bool VerifyCertificates(Interpreter& interp) {
  Block* config = BlockTopOfKind(interp.stack, kBlockConfig);
  int32_t verify = 1;
  if (config) ScopeGetInt(config->vars, "veltlsverify", &verify);
  return verify != 0;
}

}  // namespace

int32_t NetState::Add(std::unique_ptr<TcpStream> stream) {
  if (next == std::numeric_limits<int32_t>::max()) return -1;
  int32_t handle = next++;
  open.emplace(handle, std::move(stream));
  return handle;
}

TcpStream* NetState::Find(int32_t handle) {
  auto found = open.find(handle);
  return found == open.end() ? nullptr : found->second.get();
}

NetState& NetStateOf(Interpreter& interp) {
  return ModuleRunState<NetState>(interp, kModuleName);
}

int32_t NetConnect(Interpreter& interp, std::string_view host, int port, bool tls,
                   std::string_view tlsHost) {
  int fd = TcpConnect(interp.proc, host, port);
  if (fd < 0) return -1;
  NetState& net = NetStateOf(interp);
  int32_t handle = net.Add(std::make_unique<TcpStream>(fd));
  if (handle < 1) return -1;
  if (tls && !NetStartTls(interp, handle, tlsHost)) return -1;
  return handle;
}

bool NetStartTls(Interpreter& interp, int32_t handle, std::string_view host) {
  return NetStartTlsVerify(interp, handle, host, VerifyCertificates(interp));
}

bool NetStartTlsVerify(Interpreter& interp, int32_t handle, std::string_view host, bool verify) {
  NetState& net = NetStateOf(interp);
  TcpStream* stream = net.Find(handle);
  if (!stream) return false;
  TlsContext& context = net.tls[verify ? 1 : 0];
  if (!context) context = TlsContextNew(interp.proc, verify);
  if (context && TlsStart(interp.proc, *context, *stream, host, kConnectTimeoutMs)) return true;
  net.Close(handle);
  return false;
}

}  // namespace kwl
