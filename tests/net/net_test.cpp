#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "interp_fixture.h"
#include "modules/net/http.h"
#include "modules/net/net_state.h"
#include "modules/net/net_tags.h"

extern "C" const kwl::NetApi* kwl_net_api();

namespace kwl {
namespace {

struct NetPage : testing::PageRun {
  NetPage() {
    RegisterNetTags(tags);
    tags.modulesLoaded.emplace_back("net");  // linked in, not loaded
  }
};

// A socket listening on 127.0.0.1 with room for `backlog` waiting connections.
struct Listener {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int port = 0;
  explicit Listener(int backlog) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    listen(fd, backlog);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
  }
  ~Listener() { close(fd); }
};

struct Framing {
  const char* bytes;
  size_t whole;  // the length of the response once complete, 0 when it is not yet
  bool framed;
};

TEST(HttpResponseEnd, FindsTheEndOfEachKindOfResponse) {
  const Framing cases[] = {
      {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc and more", 41, true},
      {"HTTP/1.1 200 OK\r\ncontent-length: 5\r\n\r\nab", 0, true},
      {"HTTP/1.1 200 OK\r\nContent-Le", 0, true},
      {"HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 204 No Content\r\n\r\n", 52, true},
      {"HTTP/1.1 304 Not Modified\r\nContent-Length: 10\r\n\r\n", 49, true},
      {"HTTP/1.1 200 OK\nTransfer-Encoding: gzip, Chunked\n\n5;a=b\nhello\n0\nX: 1\n\nnext", 70,
       true},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nabX", 0, false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", 0, false},
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked, gzip\r\n\r\n0\r\n\r\n", 0, false},
      {"HTTP/1.1 200 OK\r\nContent-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", 0, false},
      {"HTTP/1.1 101 Switching\r\n\r\n", 0, false},
      {"HTTP/1.0 200 OK\r\n\r\nuntil the close", 0, false},
      {"220 mail server ready\r\n", 0, false},
  };
  for (const Framing& c : cases) {
    HttpResponseEnd end;
    std::string_view bytes = c.bytes;
    EXPECT_EQ(end.Complete(bytes), c.whole != 0) << c.bytes;
    EXPECT_EQ(end.Length(), c.whole) << c.bytes;
    EXPECT_EQ(end.Framed(), c.framed) << c.bytes;
  }
}

TEST(HttpUrl, SplitsHostRestAndPort) {
  struct Case {
    const char* url;
    const char* host;
    const char* rest;
    bool tls;
    const char* name;
    int port;
  };
  const Case cases[] = {
      {"http://h/a/b.html", "h", "/a/b.html", false, "h", 0},
      {"https://h.example:8443/x?y", "h.example:8443", "/x?y", true, "h.example", 8443},
      {"see http://h", "h", "", false, "h", 0},
      {"h/x", "h", "/x", false, "h", 0},
      {"https://a/http://b", "a", "/http://b", true, "a", 0},
      {"http://a/https://b", "a", "/https://b", false, "a", 0},
      {"http://h:99999/", "h:99999", "/", false, "h:99999", 0},
      {"http://h:/", "h:", "/", false, "h:", 0},
  };
  for (const Case& c : cases) {
    std::string_view host;
    bool tls = false;
    EXPECT_EQ(SplitUrlHost(c.url, &host, &tls), c.rest) << c.url;
    EXPECT_EQ(host, c.host) << c.url;
    EXPECT_EQ(tls, c.tls) << c.url;
    int port = -1;
    EXPECT_EQ(HostName(host, &port), c.name) << c.url;
    EXPECT_EQ(port, c.port) << c.url;
  }
}

TEST(TcpConnect, RefusedAndUnansweredConnectionsFailInTime) {
  Process proc;
  int closedPort = Listener(1).port;
  EXPECT_EQ(TcpConnect(proc, "127.0.0.1", closedPort), -1);

  // A full backlog: the system answers no further attempt, which then waits.
  Listener full(0);
  int first = TcpConnect(proc, "127.0.0.1", full.port, 300);
  ASSERT_GE(first, 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(TcpConnect(proc, "127.0.0.1", full.port, 300), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  TcpClose(first);
}

TEST(NetState, ConnectionsEndWithTheRun) {
  Listener listener(4);
  int fd = -1;
  {
    NetPage run;
    run.Set("port", std::to_string(listener.port));
    EXPECT_EQ(run.Run("<HTTP NAME=h GET=\"http://127.0.0.1/\" PORT=\"$port$\">[$h$|$velerr$]"),
              "[1|0]");
    TcpStream* stream = NetStateOf(run.interp).Find(1);
    ASSERT_NE(stream, nullptr);
    fd = stream->fd;
    EXPECT_NE(fcntl(fd, F_GETFD), -1);
  }
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
}

// Against the test servers: a certificate the system trusts (here by
// SSL_CERT_FILE) is accepted for the name it holds, and refused for another.
TEST(NetApi, TlsChecksTheCertificateAndItsName) {
  const char* port = std::getenv("KWL_TEST_HTTPS_PORT");
  const char* ca = std::getenv("KWL_TEST_HTTPS_CA");
  if (!port || !ca) GTEST_SKIP() << "no test server";
  setenv("SSL_CERT_FILE", ca, 1);
  const NetApi& api = *kwl_net_api();
  NetPage run;
  Interpreter& interp = run.interp;

  int32_t handle = api.connect(interp, "127.0.0.1", std::atoi(port));
  ASSERT_GE(handle, 1);
  ASSERT_TRUE(api.startTls(interp, handle, "localhost"));
  ASSERT_TRUE(api.send(interp, handle, "GET /bytes/5 HTTP/1.1\r\nHost: localhost\r\n\r\n"));
  HttpResponseEnd end;
  std::string response;
  EXPECT_EQ(api.receive(interp, handle, 5, end, response), ReceiveResult::kDone);
  EXPECT_EQ(response, "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n01234");
  api.close(interp, handle);
  EXPECT_EQ(api.waitReadable(interp, handle, 1), -1);

  handle = api.connect(interp, "127.0.0.1", std::atoi(port));
  ASSERT_GE(handle, 1);
  EXPECT_FALSE(api.startTls(interp, handle, "127.0.0.1"));
  EXPECT_EQ(NetStateOf(interp).Find(handle), nullptr);
  unsetenv("SSL_CERT_FILE");
}

}  // namespace
}  // namespace kwl
