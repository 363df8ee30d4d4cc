// The mail composer's readers of page values: whatever a body holds, the
// wire text has no end-of-data line before its own, the inline image table
// stays within its size and every image is referred to by its "cid:"; the
// server line and server replies are read without fault.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "modules/mail/mime.h"
#include "modules/mail/smtp.h"

using namespace kwl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Process proc;
  std::string_view input(reinterpret_cast<const char*>(data), size);

  std::string wire = "\r\n";
  AppendWireText(input, wire);
  wire += "\r\n.\r\n";
  FUZZ_CHECK(wire.find("\r\n.\r\n") == wire.size() - 5);

  std::string html(input);
  std::vector<MailPart> images = MailInlineImages(proc, html);
  FUZZ_CHECK(images.size() <= 32);
  for (const MailPart& image : images) {
    FUZZ_CHECK(html.find("cid:" + image.id + "\" alt=\"") != std::string::npos);
    FUZZ_CHECK(image.name.find_first_of("\r\n") == std::string::npos);
  }

  SmtpServer target = SmtpParseServer(proc, input, nullptr);
  FUZZ_CHECK(target.host.size() <= 1023 && target.user.size() <= 1023);
  std::string rest;
  SmtpFindKeyword(input, "250", "AUTH", &rest);
  SmtpReplyComplete(input);
  std::vector<std::string> recipients;
  MailRecipients(proc, input, input, "", &recipients);
  FUZZ_CHECK(recipients.size() <= kMaxRecipients);
  return 0;
}
