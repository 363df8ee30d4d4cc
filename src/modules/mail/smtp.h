// The SMTP client: the server line of a MAIL tag, and the delivery
// of one finished message over the net module's TCP and TLS connections.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "interp/interpreter.h"

namespace kwl {

// What the SMTP attribute names: server, port, "SSL" / "STARTTLS" / nothing, credentials.
struct SmtpServer {
  std::string host;
  int port = 25;
  std::string protocol;
  std::string user;
  std::string password;
};

// Deciphers a stored password (Base64 of the page cipher's output); false when it cannot.
using PasswordDecipher = bool (*)(Process& proc, std::string_view stored, std::string* plain);

// Parses a server line that holds "|": "host[:port[:protocol]]|user|password",
// "#" before the password marking it enciphered.
SmtpServer SmtpParseServer(Process& proc, std::string_view text, PasswordDecipher decipher);
// The SMTP attribute of a MAIL tag: a bare host name, or the form above.
SmtpServer SmtpServerOf(Process& proc, std::string_view text);

// The address of a recipient or sender as written ("Name <a@b.c>" or
// "a@b.c"): inside the angle brackets, blanks around it dropped.
std::string_view EnvelopeAddress(std::string_view written);

// The rest of the line of a multi-line reply that begins with `code`, one of
// "-= ", `keyword` and one of "\r\n-= "; false when no line has the keyword.
bool SmtpFindKeyword(std::string_view reply, std::string_view code, std::string_view keyword,
                     std::string* rest);

// True once `received` holds a whole reply: its last line, code followed by
// a space or by the line end, is complete.
bool SmtpReplyComplete(std::string_view received);

// Delivers `message` (CR LF lines, ending with the end-of-data line) from
// `from` to every address of `recipients`. 0 when the server took it; 1 on
// a transport failure or a 4xx/5xx reply; 2 when a reply had another code.
int MailSend(Interpreter& interp, const SmtpServer& target, std::string_view message,
             std::string_view localHost, std::string_view from,
             const std::vector<std::string>& recipients);

}  // namespace kwl
