// <MAIL>: one message from a page, its body a literal text or a template
// file run once per wanted part, sent over SMTP.
#include <optional>
#include <string>

#include "core/paths.h"
#include "core/trace.h"
#include "interp/current_file.h"
#include "interp/output.h"
#include "interp/run_text.h"
#include "interp/substitute.h"
#include "modules/mail/mail_tags.h"
#include "modules/mail/mime.h"
#include "page/page_cache.h"
#include "text/ascii.h"

namespace kwl {

namespace {

std::optional<std::string> Value(Interpreter& interp, const AttributeList& attributes,
                                 std::string_view name) {
  const Variable* var = FindAttribute(attributes, name);
  if (!var) return std::nullopt;
  return Substituted(interp, VarRawText(*var));
}

int TypeCode(std::string_view type) {
  if (AsciiEqualsNoCase(type, "HTML")) return kMailHtml;
  if (AsciiEqualsNoCase(type, "MULTIPART")) return kMailMultipart;
  if (AsciiEqualsNoCase(type, "INLINE")) return kMailInline;
  return kMailText;
}

// Runs the body file with its output captured into `body`; false when it
// could not be read or its run was stopped.
bool RunBodyFile(Interpreter& interp, const std::string& path, int includeFlag, std::string& body) {
  Process& proc = interp.proc;
  SharedText compiled = interp.pages.CompileFile(proc, path);
  if (!compiled) {
    Trace(proc, "ERROR: Can't open %s\n", path.c_str());
    WriteHeader(interp, "Impossible d'ouvrir le fichier: " + path + "\n");
    return false;
  }
  Variable capture;
  VarSet(capture, "");
  Variable* savedCapture = interp.capture;
  std::string savedPage = proc.pagePath;
  interp.capture = &capture;
  proc.pagePath = path;
  SetCurrentFileVariables(interp);
  SourcePush(proc, path);
  RunCompiled(interp, *compiled, includeFlag);
  SourcePop(proc);
  proc.pagePath = savedPage;
  SetCurrentFileVariables(interp);
  interp.capture = savedCapture;
  body = std::move(capture.text);
  return interp.abortCode == 0;
}

// The bodies from FILE, run as text then as HTML as the type wants them.
bool RunBodies(Interpreter& interp, const std::string& file, int includeFlag, MailFields& mail) {
  Process& proc = interp.proc;
  std::string path = ResolvePath(proc, file);
  Trace(proc, "SUB Mail file = %s\n", path.c_str());
  Block* block = BlockTopNotOfKind(interp.stack, kBlockData);
  Scope& scope = block ? block->vars : *interp.global;
  if (mail.type == kMailText || mail.type == kMailMultipart) {
    ScopeSet(scope, "velmailpart", "text");
    if (!RunBodyFile(interp, path, includeFlag, mail.text)) return false;
  }
  if (mail.type == kMailHtml || mail.type == kMailMultipart) {
    ScopeSet(scope, "velmailpart", "html");
    if (!RunBodyFile(interp, path, includeFlag, mail.html)) return false;
  }
  return true;
}

}  // namespace

void MailTag(Interpreter& interp, const TagCall& call) {
  ReportError(interp, 0, "");
  const AttributeList& attributes = TagAttributes(interp, call);
  MailFields mail;
  bool missing = false;
  auto required = [&](const char* name, std::string* out, const char* message) {
    std::optional<std::string> value = Value(interp, attributes, name);
    if (value) {
      *out = std::move(*value);
    } else {
      ReportError(interp, 1, message);
      missing = true;
    }
  };
  required("FROM", &mail.from, "ERROR: Missing field FROM in MAIL tag");
  required("TO", &mail.to, "ERROR: Missing field TO in MAIL tag");
  mail.cc = Value(interp, attributes, "CC").value_or("");
  mail.cci = Value(interp, attributes, "CCI").value_or("");
  mail.reply = Value(interp, attributes, "REPLY").value_or("");
  std::optional<std::string> file = Value(interp, attributes, "FILE");
  std::optional<std::string> msg = file ? std::nullopt : Value(interp, attributes, "MSG");
  if (!file && !msg) {
    ReportError(interp, 1, "ERROR: Missing field FILE or MSG in MAIL tag");
    missing = true;
  }
  std::optional<std::string> subject = Value(interp, attributes, "SUBJECT");
  // A warning clears velerr: it must not hide an error that stops the mail.
  if (!subject && !missing) ReportError(interp, 0, "WARNING: Missing field SUBJECT in MAIL tag");
  mail.subject = subject.value_or("");
  mail.type = TypeCode(Value(interp, attributes, "TYPE").value_or(""));
  std::optional<std::string> smtp = Value(interp, attributes, "SMTP");
  if (!smtp && !missing) {
    ReportError(interp, 0, "SMTP: Can't usesendmail under Windows...ask microsoft !");
  }
  mail.smtp = smtp.value_or("usesendmail");
  mail.join = Value(interp, attributes, "JOIN").value_or("");
  mail.charset = Value(interp, attributes, "CHARSET").value_or("");
  if (mail.charset.empty() && interp.charset) mail.charset = VarText(*interp.charset);
  if (missing) return;

  if (file) {
    // A page must never believe a mail went out whose body could not be made.
    if (!RunBodies(interp, *file, call.includeFlag, mail)) {
      Trace(interp.proc, "Err : %d\n", 1);
      ReportError(interp, 2, "ERROR: Can't send MAIL");
      return;
    }
  } else {
    if (mail.type == kMailText || mail.type == kMailMultipart) mail.text = *msg;
    if (mail.type == kMailHtml || mail.type == kMailMultipart) mail.html = *msg;
  }
  int result = MailCompose(interp, mail);
  if (result != 0) {
    ReportError(interp, 2, "ERROR: Can't send MAIL");
    Trace(interp.proc, "Err : %d\n", result);
  }
}

}  // namespace kwl
