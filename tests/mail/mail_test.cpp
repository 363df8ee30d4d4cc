#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/process.h"
#include "modules/mail/mime.h"
#include "modules/mail/smtp.h"

namespace kwl {
namespace {

bool Decipher(Process&, std::string_view stored, std::string* plain) {
  if (stored != "c2VjcmV0") return false;
  *plain = "secret";
  return true;
}

TEST(SmtpServer, PortChoosesTheProtocolAndExtraFieldsJoinThePassword) {
  Process proc;
  struct Case {
    const char* text;
    const char* host;
    int port;
    const char* protocol;
    const char* user;
    const char* password;
  } cases[] = {
      {"mx.org:465|u|p", "mx.org", 465, "SSL", "u", "p"},
      {"mx.org:587|u|p", "mx.org", 587, "STARTTLS", "u", "p"},
      {"mx.org:25|u|p", "mx.org", 25, "", "u", "p"},
      {"mx.org:2525|u|p", "mx.org", 2525, "", "u", "p"},
      {"mx.org:40000:SSL|u|p", "mx.org", 40000, "SSL", "u", "p"},
      {"mx.org:465:none|u|p,q|r", "mx.org", 465, "none", "u", "pqr"},
      {"mx.org|u#c2VjcmV0", "mx.org", 25, "", "u", "secret"},
      {"mx.org|u#bad", "mx.org", 25, "", "u", ""},
      {"mx.org|u", "", 25, "", "", ""},
  };
  for (const Case& c : cases) {
    SmtpServer target = SmtpParseServer(proc, c.text, Decipher);
    EXPECT_EQ(target.host, c.host) << c.text;
    EXPECT_EQ(target.port, c.port) << c.text;
    EXPECT_EQ(target.protocol, c.protocol) << c.text;
    EXPECT_EQ(target.user, c.user) << c.text;
    EXPECT_EQ(target.password, c.password) << c.text;
  }
  EXPECT_EQ(SmtpServerOf(proc, "mail.example.org").host, "mail.example.org");
}

TEST(SmtpReply, KeywordsAndWholeReplies) {
  const std::string ehlo =
      "250-mx.org hello\r\n250-AUTH LOGIN PLAIN\r\n250-AUTH=CRAM-MD5\r\n250-STARTTLSX\r\n"
      "250 STARTTLS\r\n";
  std::string rest;
  ASSERT_TRUE(SmtpFindKeyword(ehlo, "250", "AUTH", &rest));
  EXPECT_EQ(rest, "LOGIN PLAIN");
  EXPECT_TRUE(SmtpFindKeyword(ehlo, "250", "STARTTLS", &rest));
  EXPECT_EQ(rest, "");
  EXPECT_FALSE(SmtpFindKeyword("250-AUTHX LOGIN\r\n250 SIZE 1\r\n", "250", "AUTH", &rest));
  EXPECT_FALSE(SmtpFindKeyword("", "250", "AUTH", &rest));

  EXPECT_TRUE(SmtpReplyComplete("220 ready\r\n"));
  EXPECT_TRUE(SmtpReplyComplete("250-a\r\n250\r\n"));
  EXPECT_TRUE(SmtpReplyComplete("250-a\n250 b\n"));
  EXPECT_FALSE(SmtpReplyComplete("220 rea"));
  EXPECT_FALSE(SmtpReplyComplete("250-a\r\n"));
  EXPECT_FALSE(SmtpReplyComplete("250-a\r\n250 b"));
  EXPECT_EQ(EnvelopeAddress("Ann <ann@x.org>"), "ann@x.org");
  EXPECT_EQ(EnvelopeAddress(" ann@x.org "), "ann@x.org");
  EXPECT_EQ(EnvelopeAddress("<ann@x.org"), "ann@x.org");
}

TEST(MimeText, WireTextAndTypes) {
  std::string wire;
  AppendWireText(".a\nb\r\n.\n\rc.\n..", wire);
  EXPECT_EQ(wire, "..a\r\nb\r\n..\r\n\rc.\r\n...");

  EXPECT_STREQ(MailContentType("a.pdf/file"), "application/octet-stream");
}

TEST(MimeRecipients, PiecesAndLimits) {
  Process proc;
  std::vector<std::string> list;
  EXPECT_EQ(MailRecipients(proc, "a@x.org;Bo <b@x.org>,,", " ", "c@x.org", &list), 0);
  EXPECT_EQ(list, (std::vector<std::string>{"a@x.org", "Bo <b@x.org>", "c@x.org"}));
  std::string many;
  for (int i = 0; i < 64; ++i) many += "r@x.org,";
  list.clear();
  EXPECT_EQ(MailRecipients(proc, many, "", "", &list), 0);
  EXPECT_EQ(list.size(), 64u);
  list.clear();
  EXPECT_EQ(MailRecipients(proc, many, "one@x.org", "", &list), kMailBadCc);
  list.clear();
  EXPECT_EQ(MailRecipients(proc, "a@x.org", "", std::string(1024, 'a'), &list), kMailBadCci);
}

}  // namespace
}  // namespace kwl
