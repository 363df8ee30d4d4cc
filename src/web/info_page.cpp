#include "web/info_page.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/modules.h"
#include "core/version.h"
#include "page/tag_table.h"

namespace kwl {

namespace {

constexpr const char* kFeatures =
    "XPATH & XPROC ACTIVATED | PICT & PDF:IMAGE | SET:HMAC(SHA1,MD5)+EN/DECRYPT & "
    "MAIL:SSL+STARTTLS+CRAM-MD5 | PDF TTF FONT |  PDF COMPRESS | ";

// The server name comes from the request's environment: it must not become markup.
std::string HtmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const char* entity = c == '<'   ? "&lt;"
                         : c == '>' ? "&gt;"
                         : c == '&' ? "&amp;"
                         : c == '"' ? "&quot;"
                                    : nullptr;
    if (entity) {
      out += entity;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string DatabaseSystemText(Process& proc) {
  // The client library lives in the database module, mapped only when its
  // version is asked for, quietly: the trace's opening lines are fixed.
  int number = ModuleLibraryVersion(proc, "db");
  char text[64];
  std::snprintf(text, sizeof text, "%s-%d.%d.%d", "MySQL", number / 10000, (number % 10000) / 100,
                number % 100);
  return text;
}

void WriteInfoText(Process& proc) {
  std::FILE* out = proc.out;
  std::fputs("*********************************************\n", out);
  std::fputs("*            KWL Informations               *\n", out);
  std::fputs("*********************************************\n", out);
  std::fprintf(out, "* KWL Version\t\t: %s\n", kVersionText);
  std::fprintf(out, "* Operating System\t: %s\n", kSystemName);
  std::fprintf(out, "* Database System\t: %s\n", DatabaseSystemText(proc).c_str());
  std::fprintf(out, "* Sys prefix\t\t: %s\n", "vel");
  std::fputs("*********************************************\n", out);
  std::fputs("Common Tag List:\n", out);
  int listed = 0;
  for (const TagEntry& tag : TagTable()) {
    if (!tag.listed) continue;
    std::fprintf(out, "%s | ", tag.opening + 1);
    if (++listed % 8 == 0) std::fputs("\n", out);
  }
  std::fputs("\n\nOptional Function List:\n", out);
  std::fprintf(out, "  %s \n", kFeatures);
}

void WriteInfoHtml(Process& proc) {
  std::FILE* out = proc.out;
  const char* server = Env(proc, "SERVER_NAME");
  std::fputs("Content-type: text/html\n\n", out);
  std::fputs("<HTML><HEAD><TITLE>KWL Informations</TITLE></HEAD>\n<BODY>\n", out);
  std::fputs("<H1>KWL Informations</H1>\n<TABLE BORDER=1>\n", out);
  auto row = [out](const char* label, const std::string& value) {
    std::fprintf(out, "<TR><TD>%s</TD><TD>%s</TD></TR>\n", label, value.c_str());
  };
  row("KWL Version", kVersionText);
  row("Operating System", kSystemName);
  row("Database System", DatabaseSystemText(proc));
  row("Server", HtmlEscaped(server ? server : ""));
  row("Sys prefix", "vel");
  std::fputs("</TABLE>\n<BR>\n<TABLE BORDER=1>\n<TR><TH COLSPAN=4>Common Tag List</TH></TR>\n",
             out);
  int listed = 0;
  for (const TagEntry& tag : TagTable()) {
    if (!tag.listed) continue;
    if (listed % 4 == 0) std::fputs("<TR>", out);
    std::fprintf(out, "<TD>%s</TD>", tag.opening + 1);
    if (++listed % 4 == 0) std::fputs("</TR>\n", out);
  }
  if (listed % 4 != 0) std::fputs("</TR>\n", out);
  std::fprintf(out, "</TABLE>\n<P>Optional Function List:%s</P>\n</BODY></HTML>\n", kFeatures);
}

}  // namespace kwl
