#include "modules/mail/smtp.h"

#include <chrono>
#include <cstdlib>

#include "core/modules.h"
#include "core/trace.h"
#include "modules/crypto/crypto_api.h"
#include "modules/net/net_api.h"
#include "text/base64.h"

namespace kwl {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxServerFields = 32;
constexpr size_t kMaxServerField = 1023;
// EHLO and CRAM-MD5 replies are kept up to this size.
constexpr size_t kReplyCapture = 10480;
// A reply longer than this is no SMTP reply: reading stops and the step fails.
constexpr size_t kMaxReply = size_t{1} << 20;
constexpr int kReplySeconds = 10;
constexpr int kDataReplySeconds = 30;

// One connection's exchange.
struct Dialogue {
  Interpreter& interp;
  const NetApi& api;
  int32_t handle;
};

// The reply received so far is whole once its last line is; the buffer it
// sees is the one the reply collects in, across receives.
class ReplyEnd final : public MessageEnd {
 public:
  explicit ReplyEnd(const std::string& reply) : reply_(reply) {}
  bool Complete(std::string_view) override {
    return reply_.size() > kMaxReply || SmtpReplyComplete(reply_);
  }
  bool Framed() const override { return true; }

 private:
  const std::string& reply_;
};

std::string_view LastLine(std::string_view reply) {
  if (!reply.empty() && reply.back() == '\n') reply.remove_suffix(1);
  if (!reply.empty() && reply.back() == '\r') reply.remove_suffix(1);
  size_t start = reply.find_last_of('\n');
  return start == std::string_view::npos ? reply : reply.substr(start + 1);
}

bool Digit(char c) {
  return c >= '0' && c <= '9';
}

// The step's reply, whole, within `seconds`: bursts are collected until the
// last line has come, so a multi-line reply is judged on all of it.
bool ReceiveReply(Dialogue& d, int seconds, std::string& reply) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  ReplyEnd end(reply);
  while (Clock::now() < deadline) {
    ReceiveResult result = d.api.receive(d.interp, d.handle, 1, end, reply);
    if (reply.size() > kMaxReply) {
      Trace(d.interp.proc, "SMTP reply longer than %zu bytes\n", kMaxReply);
      return false;
    }
    if (SmtpReplyComplete(reply)) return true;
    // Done without a whole reply: the server closed or the read failed.
    if (result == ReceiveResult::kDone || result == ReceiveResult::kTooLarge) return false;
  }
  return false;
}

// Reads a reply and judges it against `expected` (its digits; a trailing
// space asks for nothing more, the reply being whole): 0, 1 (no reply, 4xx,
// 5xx) or 2. A failure is traced with the step and the server's words.
int Expect(Dialogue& d, const char* step, std::string_view expected, int seconds,
           std::string* capture = nullptr) {
  Process& proc = d.interp.proc;
  const auto begun = std::chrono::system_clock::now();
  std::string reply;
  bool whole = ReceiveReply(d, seconds, reply);
  std::string_view last = LastLine(reply);
  std::string_view code = expected.substr(0, expected.find(' '));
  int result = whole ? (last.substr(0, code.size()) == code ? 0 : 2) : 1;
  if (capture) capture->assign(reply, 0, kReplyCapture - 1);
  if (whole && (last.starts_with('4') || last.starts_with('5'))) result = 1;
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::system_clock::now() - begun)
                     .count();
  Trace(proc, "SMTP Server:%s (rep %d in %d,%ds)\n", reply.c_str(), result,
        static_cast<int>(elapsed / 1000), static_cast<int>(elapsed % 1000));
  if (result != 0) {
    Trace(proc, "SMTP %s failed: %s\n", step,
          whole ? std::string(last).c_str() : "no whole reply in time");
  }
  return result;
}

// Sends bytes; `shown` replaces them in the trace (credentials).
void Send(Dialogue& d, std::string_view bytes, std::string_view shown = {}) {
  std::string_view traced = shown.empty() ? bytes : shown;
  Trace(d.interp.proc, "Send length = %ld (%.200s)\n", static_cast<long>(bytes.size()),
        std::string(traced.substr(0, 200)).c_str());
  if (!d.api.send(d.interp, d.handle, bytes)) Trace(d.interp.proc, "SMTP send failed\n");
}

std::string Encoded(std::string_view bytes) {
  std::string out;
  Base64Encode(bytes, out);
  return out;
}

int AuthCramMd5(Dialogue& d, const SmtpServer& target) {
  Process& proc = d.interp.proc;
  Send(d, "AUTH CRAM-MD5\r\n");
  std::string reply;
  int result = Expect(d, "AUTH CRAM-MD5", "334", kReplySeconds, &reply);
  if (result != 0) return result;
  std::string_view challenge = std::string_view(reply).substr(std::min<size_t>(4, reply.size()));
  challenge = challenge.substr(0, challenge.find_first_of("\r\n"));
  std::string decoded;
  Base64Decode(proc, challenge, decoded);
  std::string error;
  auto hmac =
      reinterpret_cast<CryptoHmacFn>(ModuleSymbol(proc, kCryptoModule, kCryptoHmacSymbol, &error));
  std::string digest;
  if (!hmac || !hmac("md5", target.password, decoded, &digest)) {
    Trace(proc, "SMTP CRAM-MD5 digest failed %s\n", error.c_str());
    return 1;
  }
  std::string answer = target.user + " ";
  static const char kHex[] = "0123456789abcdef";
  for (unsigned char byte : digest) {
    answer += kHex[byte >> 4];
    answer += kHex[byte & 15];
  }
  Send(d, Encoded(answer) + "\r\n", "********");
  return Expect(d, "AUTH CRAM-MD5", "235", kReplySeconds);
}

int AuthLogin(Dialogue& d, const SmtpServer& target) {
  Send(d, "AUTH LOGIN\r\n");
  int result = Expect(d, "AUTH LOGIN", "334 ", kReplySeconds);
  if (result != 0) return result;
  Send(d, Encoded(target.user) + "\r\n", "********");
  result = Expect(d, "AUTH LOGIN user", "334 ", kReplySeconds);
  if (result != 0) return result;
  Send(d, Encoded(target.password) + "\r\n", "********");
  return Expect(d, "AUTH LOGIN password", "235 ", kReplySeconds);
}

int AuthPlain(Dialogue& d, const SmtpServer& target) {
  std::string credentials = target.user;
  credentials += '\0';
  credentials += target.user;
  credentials += '\0';
  credentials += target.password;
  Send(d, "AUTH PLAIN " + Encoded(credentials) + "\r\n", "AUTH PLAIN ********");
  return Expect(d, "AUTH PLAIN", "235 ", kReplySeconds);
}

// The strongest method the server offers; a server that offers none of
// them is used without authentication.
int Authenticate(Dialogue& d, const SmtpServer& target, std::string_view ehlo) {
  Process& proc = d.interp.proc;
  std::string methods;
  if (!SmtpFindKeyword(ehlo, "250", "AUTH", &methods)) {
    Trace(proc, "SMTP Server does not support authentication\n");
    return 0;
  }
  if (methods.find("CRAM-MD5") != std::string::npos) return AuthCramMd5(d, target);
  if (methods.find("LOGIN") != std::string::npos) return AuthLogin(d, target);
  if (methods.find("PLAIN") != std::string::npos) return AuthPlain(d, target);
  Trace(proc, "SMTP Server supports only %s\n", methods.c_str());
  return 0;
}

bool VerifyCertificates(Interpreter& interp) {
  Block* config = BlockTopOfKind(interp.stack, kBlockConfig);
  int32_t verify = 0;
  if (config) ScopeGetInt(config->vars, "velsmtpverify", &verify);
  return verify == 1;
}

int SmtpDialogue(Dialogue& d, const SmtpServer& target, std::string_view message,
                 std::string_view localHost, std::string_view from,
                 const std::vector<std::string>& recipients) {
  int result = Expect(d, "greeting", "220 ", kReplySeconds);
  if (result != 0) return result;
  const std::string ehloCommand = "EHLO " + std::string(localHost) + "\r\n";
  Send(d, ehloCommand);
  std::string ehlo;
  result = Expect(d, "EHLO", "250", kReplySeconds, &ehlo);
  if (result == 0 && target.protocol == "STARTTLS" &&
      SmtpFindKeyword(ehlo, "250", "STARTTLS", nullptr)) {
    Send(d, "STARTTLS\r\n");
    result = Expect(d, "STARTTLS", "220 ", kReplySeconds);
    if (result != 0) return result;
    // Nothing more goes over a connection whose TLS failed: not the
    // credentials, not the message.
    if (!d.api.startTlsVerify(d.interp, d.handle, target.host, VerifyCertificates(d.interp))) {
      Trace(d.interp.proc, "SMTP STARTTLS failed: TLS handshake\n");
      d.handle = 0;
      return 1;
    }
    Send(d, ehloCommand);
    result = Expect(d, "EHLO", "250", kReplySeconds, &ehlo);
  }
  if (result != 0) return result;
  if (!target.user.empty()) {
    result = Authenticate(d, target, ehlo);
    if (result != 0) return result;
  }
  Send(d, "MAIL FROM: <" + std::string(EnvelopeAddress(from)) + ">\r\n");
  result = Expect(d, "MAIL FROM", "250 ", kReplySeconds);
  if (result != 0) return result;
  for (const std::string& recipient : recipients) {
    Send(d, "RCPT TO: <" + std::string(EnvelopeAddress(recipient)) + ">\r\n");
    result = Expect(d, "RCPT TO", "250 ", kReplySeconds);
    if (result != 0) return result;
  }
  Send(d, "DATA\r\n");
  result = Expect(d, "DATA", "354 ", kReplySeconds);
  if (result != 0) return result;
  Send(d, message);
  const int limit = kDataReplySeconds + static_cast<int>(message.size() / 1024);
  result = Expect(d, "end of data", "250 ", limit);
  if (result != 0) return result;
  Send(d, "QUIT\r\n");
  return Expect(d, "QUIT", "221 ", kReplySeconds);
}

bool DecipherPassword(Process& proc, std::string_view stored, std::string* plain) {
  std::string cipherText;
  Base64Decode(proc, stored, cipherText);
  std::string error;
  auto cipher = reinterpret_cast<CryptoCipherFn>(
      ModuleSymbol(proc, kCryptoModule, kCryptoCipherSymbol, &error));
  if (!cipher) {
    Trace(proc, "%s\n", error.c_str());
    return false;
  }
  return cipher(false, cipherText, plain) == 0;
}

// The decimal number at the start of `text`, as "%hd" would read it but
// kept whole: ports above 32767 are ports too. False when there is none.
bool ReadPort(std::string_view text, int* port) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = i < text.size() && text[i] == '-';
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  if (i >= text.size() || !Digit(text[i])) return false;
  long value = 0;
  for (; i < text.size() && Digit(text[i]); ++i)
    value = std::min(value * 10 + (text[i] - '0'), 1000000L);
  *port = static_cast<int>(negative ? -value : value);
  return true;
}

}  // namespace

SmtpServer SmtpParseServer(Process& proc, std::string_view text, PasswordDecipher decipher) {
  SmtpServer target;
  std::vector<std::string> fields;
  size_t start = 0;
  while (fields.size() < kMaxServerFields) {
    size_t cut = text.find_first_of("|,#", start);
    std::string_view field = text.substr(start, cut == std::string_view::npos ? cut : cut - start);
    fields.emplace_back(field.substr(0, kMaxServerField));
    if (cut == std::string_view::npos) break;
    start = cut + 1;
  }
  if (fields.size() < 3) return target;
  std::string_view server = fields[0];
  size_t colon = server.find(':');
  target.host = server.substr(0, colon);
  if (colon != std::string_view::npos) {
    std::string_view rest = server.substr(colon + 1);
    bool given = ReadPort(rest, &target.port);
    size_t second = rest.find(':');
    if (second != std::string_view::npos) target.protocol = rest.substr(second + 1);
    if (target.protocol.empty() && given) {
      if (target.port == 465) {
        target.protocol = "SSL";
      } else if (target.port == 587) {
        target.protocol = "STARTTLS";
      } else if (target.port != 25) {
        Trace(proc, "Unexpected port: %d, unable to determine protocol to use\n", target.port);
      }
    }
  }
  target.user = fields[1];
  if (text.find('#') != std::string_view::npos) {
    if (!decipher || !decipher(proc, fields[2], &target.password)) target.password.clear();
  } else {
    target.password = fields[2];
  }
  for (size_t i = 3; i < fields.size(); ++i) target.password += fields[i];
  return target;
}

SmtpServer SmtpServerOf(Process& proc, std::string_view text) {
  if (text.find('|') != std::string_view::npos)
    return SmtpParseServer(proc, text, DecipherPassword);
  SmtpServer target;
  target.host = text;
  return target;
}

std::string_view EnvelopeAddress(std::string_view written) {
  size_t open = written.find('<');
  if (open != std::string_view::npos) {
    written.remove_prefix(open + 1);
    written = written.substr(0, written.find('>'));
  }
  const char* blanks = " \t";
  size_t first = written.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return written.substr(first, written.find_last_not_of(blanks) - first + 1);
}

bool SmtpFindKeyword(std::string_view reply, std::string_view code, std::string_view keyword,
                     std::string* rest) {
  while (!reply.empty()) {
    size_t end = reply.find_first_of("\r\n");
    std::string_view line = reply.substr(0, end);
    reply = end == std::string_view::npos ? std::string_view() : reply.substr(end + 1);
    if (!line.starts_with(code) || line.size() <= code.size()) continue;
    char mark = line[code.size()];
    if (mark != '-' && mark != '=' && mark != ' ') continue;
    std::string_view after = line.substr(code.size() + 1);
    if (!after.starts_with(keyword)) continue;
    after.remove_prefix(keyword.size());
    // The line ends at the keyword, or goes on after one delimiter.
    if (!after.empty() && after[0] != '-' && after[0] != '=' && after[0] != ' ') continue;
    if (rest) rest->assign(after.empty() ? after : after.substr(1));
    return true;
  }
  return false;
}

bool SmtpReplyComplete(std::string_view received) {
  if (received.empty() || received.back() != '\n') return false;
  std::string_view last = LastLine(received);
  return !(last.size() >= 4 && Digit(last[0]) && Digit(last[1]) && Digit(last[2]) &&
           last[3] == '-');
}

int MailSend(Interpreter& interp, const SmtpServer& target, std::string_view message,
             std::string_view localHost, std::string_view from,
             const std::vector<std::string>& recipients) {
  Process& proc = interp.proc;
  std::string error;
  auto apiOf = reinterpret_cast<NetApiFn>(ModuleSymbol(proc, kNetModule, kNetApiSymbol, &error));
  const NetApi* api = apiOf ? apiOf() : nullptr;
  if (!api || api->version < 2) {
    Trace(proc, "SMTP: no TCP client %s\n", error.c_str());
    return 1;
  }
  int32_t handle = api->connect(interp, target.host, target.port);
  if (handle < 1) {
    Trace(proc, "Connexion Socket Error!!\n");
    return 1;
  }
  Dialogue d{interp, *api, handle};
  if (target.protocol == "SSL" &&
      !api->startTlsVerify(interp, handle, target.host, VerifyCertificates(interp))) {
    Trace(proc, "SMTP TLS failed: handshake\n");
    return 1;  // the failed start closed the connection
  }
  int result = SmtpDialogue(d, target, message, localHost, from, recipients);
  if (d.handle >= 1) api->close(interp, d.handle);
  return result;
}

}  // namespace kwl
