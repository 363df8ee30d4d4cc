// The MIME message of a MAIL tag: addresses checked, recipients, inline
// images and attachments collected, the layout written, line ends made CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "interp/interpreter.h"

namespace kwl {

// Body types of the TYPE attribute.
enum MailType : int { kMailText = 0, kMailHtml = 1, kMailMultipart = 2, kMailInline = 3 };

// What MailCompose receives from the tag, substituted.
struct MailFields {
  std::string subject, from, to, cc, cci, reply, smtp, join, charset;
  std::string text;  // the text body
  std::string html;  // the HTML body
  int type = kMailText;
};

// Result codes of MailCompose besides the transport's (0 sent, 1, 2).
constexpr int kMailEmpty = 11;    // FROM or TO empty
constexpr int kMailBadFrom = 12;  // each address must hold "@" and "."
constexpr int kMailBadTo = 13;    // also: too many recipients, or one too long
constexpr int kMailBadCc = 14;
constexpr int kMailBadCci = 15;
constexpr int kMailBadReply = 16;

// At most this many recipients, each up to kMaxAddress bytes.
constexpr size_t kMaxRecipients = 64;
constexpr size_t kMaxAddress = 1023;

// A file sent with the message: inline image or attachment.
struct MailPart {
  std::string path;
  std::string name;  // as the message names it
  std::string id;    // inline images only
};

// Local images of an HTML body become inline parts (at most 32): each
// distinct reference once, every place it is used rewritten to its "cid:".
std::vector<MailPart> MailInlineImages(Process& proc, std::string& html);

// Builds the message and sends it: 0 when the server took it, else a code.
int MailCompose(Interpreter& interp, MailFields& mail);

// Cuts TO, CC and CCI into the recipient list (at "," and ";", blank pieces
// skipped). 0, or the code of the attribute that overflows the limits.
int MailRecipients(Process& proc, std::string_view to, std::string_view cc, std::string_view cci,
                   std::vector<std::string>* recipients);

// The content type of a file by its extension.
const char* MailContentType(std::string_view path);

// Appends `bytes` in Base64, lines of 72 characters each ending in CR LF.
void AppendBase64Lines(std::string_view bytes, std::string& out);

// Appends `message` with every lone LF made CR LF and, so that no line can
// end the data early, a dot doubled at the start of each line.
void AppendWireText(std::string_view message, std::string& out);

}  // namespace kwl
