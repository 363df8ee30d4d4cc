#include "modules/mail/mime.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <memory>

#include "core/paths.h"
#include "core/trace.h"
#include "modules/mail/smtp.h"
#include "text/ascii.h"
#include "text/base64.h"

namespace kwl {

namespace {

constexpr size_t kMaxAttachments = 32;
constexpr size_t kMaxImages = 32;
constexpr size_t kMaxReference = 255;
constexpr size_t kMaxPath = 1023;
constexpr size_t kBase64LineBytes = 54;  // 72 characters

constexpr const char* kMimeVersion = "MIME-Version: 1.0";
constexpr const char* kPreamble = "This is a multi-part message in MIME format.";

struct TypeRow {
  const char* extension;
  const char* type;
};

constexpr TypeRow kTypes[] = {{".pdf", "application/pdf"},
                              {".xls", "application/vnd.ms-excel"},
                              {".doc", "application/msword"},
                              {".ppt", "application/vnd.ms-powerpoint"},
                              {".pps", "application/vnd.ms-powerpoint"},
                              {".mdb", "application/msaccess"},
                              {".rtf", "application/rtf"},
                              {".jpg", "image/jpeg"},
                              {".jpeg", "image/jpeg"},
                              {".jpe", "image/jpeg"},
                              {".gif", "image/gif"},
                              {".png", "image/png"},
                              {".zip", "application/x-zip-compressed"},
                              {".rar", "application/x-rar"},
                              {".htm", "text/html"},
                              {".html", "text/html"},
                              {".txt", "text/plain"},
                              {".wav", "audio/wav"},
                              {".mp3", "audio/mpeg"},
                              {".wma", "audio/x-ms-wma"},
                              {".mpeg", "video/mpeg"},
                              {".mpg", "video/mpeg"},
                              {".avi", "video/avi"},
                              {".wmv", "video/x-ms-wmv"},
                              {".qt", "video/quicktime"},
                              {".mov", "video/quicktime"},
                              {".exe", "application/x-msdownload"}};

bool ValidAddress(std::string_view text) {
  return text.find('@') != std::string_view::npos && text.find('.') != std::string_view::npos;
}

// A line end inside a header value would start a header (or, in an
// address, an SMTP command) of the sender's choosing.
void StripLineEnds(std::string& text) {
  std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
}

std::string RandomText(Process& proc, std::string_view alphabet, int length) {
  std::string text;
  for (int i = 0; i < length; ++i) {
    text += alphabet[static_cast<size_t>(ProcessRandom(proc)) % alphabet.size()];
  }
  return text;
}

std::string RandomHex(Process& proc) {
  return RandomText(proc, "abcdef0123456789", 8);
}

std::string Boundary(Process& proc) {
  return "=_KWLBoundary-" +
         RandomText(proc, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", 21);
}

// "%a, %d %b %Y %H:%M:%S %z" with English names whatever the locale.
std::string DateText() {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char zone[16] = "";
  std::strftime(zone, sizeof zone, "%z", &local);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %d %02d:%02d:%02d %s", kDays[local.tm_wday % 7],
                local.tm_mday, kMonths[local.tm_mon % 12], local.tm_year + 1900, local.tm_hour,
                local.tm_min, local.tm_sec, zone);
  return text;
}

std::string LocalHostName() {
  char name[257] = "";
  if (gethostname(name, 256) != 0) return "";
  name[256] = '\0';
  return name;
}

// The file part of a path.
std::string_view FileName(std::string_view path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

std::string_view Trim(std::string_view text) {
  const char* blanks = " \t\r\n";
  size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

// Reads a regular file whole; false when it cannot.
bool ReadFile(const std::string& path, std::string* bytes) {
  struct stat info;
  if (path.find('\0') != std::string::npos || stat(path.c_str(), &info) != 0 ||
      !S_ISREG(info.st_mode)) {
    return false;
  }
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return false;
  bytes->resize(static_cast<size_t>(info.st_size));
  size_t got = std::fread(bytes->data(), 1, bytes->size(), file.get());
  bytes->resize(got);
  return !std::ferror(file.get());
}

bool Readable(const std::string& path) {
  struct stat info;
  if (path.find('\0') != std::string::npos || stat(path.c_str(), &info) != 0 ||
      !S_ISREG(info.st_mode)) {
    return false;
  }
  return access(path.c_str(), R_OK) == 0;
}

bool AppendFileBase64(Process& proc, const std::string& path, std::string& out) {
  std::string bytes;
  if (!ReadFile(path, &bytes)) {
    Trace(proc, "ERROR: Can't open file %s\n", path.c_str());
    return false;
  }
  AppendBase64Lines(bytes, out);
  return true;
}

// The opening quote of the src="..." attribute of the tag that opens at
// `tag`, in any case, or npos. Only the tag's own attribute counts: a
// search running on past the tag, or to a quote that does not follow
// "src=", would take (and rewrite) some other text of the body.
size_t FindSource(std::string_view html, size_t tag) {
  size_t end = html.find('>', tag);
  std::string_view inside = html.substr(tag, end == std::string_view::npos ? end : end - tag);
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  for (size_t at = 1; at + 3 <= inside.size(); ++at) {
    if (!blank(inside[at - 1]) || !AsciiEqualsNoCase(inside.substr(at, 3), "src")) continue;
    size_t i = at + 3;
    while (i < inside.size() && blank(inside[i])) ++i;
    if (i == inside.size() || inside[i] != '=') continue;
    ++i;
    while (i < inside.size() && blank(inside[i])) ++i;
    if (i < inside.size() && inside[i] == '"') return tag + i;
  }
  return std::string_view::npos;
}

bool References(std::string_view reference) {
  return !reference.empty() && reference.size() <= kMaxReference &&
         !reference.starts_with("data:") && !reference.starts_with("cid:") &&
         reference.find("http://") == std::string_view::npos &&
         reference.find("https://") == std::string_view::npos;
}

}  // namespace

std::vector<MailPart> MailInlineImages(Process& proc, std::string& html) {
  std::vector<MailPart> images;
  for (size_t pos = html.find('<'); pos != std::string::npos; pos = html.find('<', pos + 1)) {
    if (html.size() - pos < 4 ||
        !AsciiEqualsNoCase(std::string_view(html).substr(pos + 1, 3), "img")) {
      continue;
    }
    size_t open = FindSource(html, pos);
    size_t close = open == std::string::npos ? open : html.find('"', open + 1);
    if (close == std::string::npos) continue;
    std::string reference = html.substr(open + 1, close - open - 1);
    if (!References(reference)) continue;
    MailPart* image = nullptr;
    for (MailPart& known : images) {
      if (known.path == reference) image = &known;
    }
    if (!image) {
      // The table is full: the image stays a plain reference.
      if (images.size() == kMaxImages) continue;
      int index = static_cast<int>(images.size());
      images.push_back({reference, "", ""});
      image = &images.back();
      image->id = "part" + std::to_string(index) + "." + RandomHex(proc) + "." + RandomHex(proc);
    }
    html.replace(open + 1, reference.size(), "cid:" + image->id + "\" alt=\"");
  }
  for (MailPart& image : images) {
    image.name = FileName(image.path);
    StripLineEnds(image.name);
    Trace(proc, "Nom du fichier a envoyer: %s\n", image.name.c_str());
    image.path = ResolvePath(proc, image.path);
  }
  return images;
}

namespace {

// One JOIN piece: "Display name <path>" or a bare path.
MailPart ExtractNomFichier(Process& proc, std::string_view piece) {
  MailPart part;
  Trace(proc, "ExtractNomFichier %.*s ", static_cast<int>(piece.size()), piece.data());
  size_t open = piece.find('<');
  if (open != std::string_view::npos) {
    std::string_view name = piece.substr(0, open);
    Trace(proc, "lg %d ", static_cast<int>(name.size()));
    Trace(proc, "outnom %.*s ", static_cast<int>(name.size()), name.data());
    part.name = Trim(name);
    Trace(proc, "trim_outnom %s ", part.name.c_str());
    std::string_view path = piece.substr(open + 1);
    part.path = path.substr(0, path.find('>'));
  } else {
    part.path = piece;
  }
  Trace(proc, "outChemin %s\n", part.path.c_str());
  if (part.name.empty()) part.name = FileName(part.path);
  StripLineEnds(part.name);
  return part;
}

std::vector<MailPart> CollectAttachments(Process& proc, std::string_view join) {
  std::vector<MailPart> attachments;
  while (!join.empty()) {
    size_t cut = join.find_first_of("|,");
    std::string_view piece = join.substr(0, cut);
    join = cut == std::string_view::npos ? std::string_view() : join.substr(cut + 1);
    if (piece.empty()) continue;
    if (attachments.size() == kMaxAttachments) {
      Trace(proc, "Too many attachments: %.*s left out\n", static_cast<int>(piece.size()),
            piece.data());
      continue;
    }
    MailPart part = ExtractNomFichier(proc, piece);
    std::string path = part.path.size() <= kMaxPath ? ResolvePath(proc, part.path) : "";
    if (path.empty() || !Readable(path)) {
      Trace(proc, "File %s not found !!\n", part.path.c_str());
      continue;
    }
    part.path = path;
    Trace(proc, "PJ %d %s = %s\n", static_cast<int>(attachments.size()), part.name.c_str(),
          part.path.c_str());
    attachments.push_back(std::move(part));
  }
  return attachments;
}

void AppendContentHeader(std::string& out, const char* type, std::string_view charset) {
  out += "Content-Transfer-Encoding: 8BIT\nContent-Type: ";
  out += type;
  out += "; charset=";
  out += charset;
  out += "\n\n";
}

void AppendMultipartHeader(std::string& out, const char* kind, const std::string& boundary,
                           bool withVersion) {
  if (withVersion) {
    out += '\n';
    out += kMimeVersion;
    out += '\n';
  }
  out += "Content-Type: multipart/";
  out += kind;
  out += "; boundary=\"" + boundary + "\"\n\n";
  if (withVersion) {
    out += kPreamble;
    out += "\n\n";
  }
}

// The body part(s) of a multipart message.
void AppendBodyMailPart(Process& proc, const MailFields& mail, bool alone, std::string& out) {
  switch (mail.type) {
    case kMailHtml:
    case kMailText:
      AppendContentHeader(out, mail.type == kMailHtml ? "text/html" : "text/plain", mail.charset);
      out += mail.type == kMailHtml ? mail.html : mail.text;
      out += "\r\n";
      break;
    case kMailMultipart: {
      const std::string b3 = Boundary(proc);
      if (alone) {
        out += '\n';
        out += kMimeVersion;
        out += '\n';
      }
      out += "Content-Type: multipart/alternative; boundary=\"" + b3 + "\"\n\n";
      out += "--" + b3 + "\n";
      AppendContentHeader(out, "text/plain", mail.charset);
      out += mail.text;
      out += "\n--" + b3 + "\n";
      AppendContentHeader(out, "text/html", mail.charset);
      out += mail.html;
      out += "\n--" + b3 + "--\n\n";
      break;
    }
    default:
      break;
  }
}

// Appends the parts of `files` after their headers; false when one cannot be read.
bool AppendFileMailParts(Process& proc, const std::vector<MailPart>& files,
                         const std::string& boundary, bool isInline, std::string& out) {
  for (const MailPart& file : files) {
    out += "\n--" + boundary + "\nContent-Type: ";
    out += MailContentType(file.path);
    out += "; name=\"" + file.name + "\"\nContent-Disposition: ";
    out += isInline ? "inline" : "attachment";
    out += "; filename=\"" + file.name + "\"\nContent-Transfer-Encoding: BASE64\n";
    if (isInline) out += "Content-ID:<" + file.id + ">\n";
    out += '\n';
    if (!AppendFileBase64(proc, file.path, out)) return false;
  }
  out += "--" + boundary + "--\n\n";
  return true;
}

int Validate(const MailFields& mail) {
  if (mail.from.empty() || mail.to.empty()) return kMailEmpty;
  if (!ValidAddress(mail.from)) return kMailBadFrom;
  if (!ValidAddress(mail.to)) return kMailBadTo;
  if (!mail.cc.empty() && !ValidAddress(mail.cc)) return kMailBadCc;
  if (!mail.cci.empty() && !ValidAddress(mail.cci)) return kMailBadCci;
  if (!mail.reply.empty() && !ValidAddress(mail.reply)) return kMailBadReply;
  return 0;
}

}  // namespace

const char* MailContentType(std::string_view path) {
  size_t dot = path.find_last_of('.');
  if (dot != std::string_view::npos) {
    std::string_view extension = path.substr(dot);
    for (const TypeRow& row : kTypes) {
      if (AsciiEqualsNoCase(extension, row.extension)) return row.type;
    }
  }
  return "application/octet-stream";
}

void AppendBase64Lines(std::string_view bytes, std::string& out) {
  out.reserve(out.size() + bytes.size() / 54 * 74 + 80);
  while (!bytes.empty()) {
    size_t take = std::min(bytes.size(), kBase64LineBytes);
    Base64Encode(bytes.substr(0, take), out);
    out += "\r\n";
    bytes.remove_prefix(take);
  }
}

void AppendWireText(std::string_view message, std::string& out) {
  out.reserve(out.size() + message.size() + message.size() / 32 + 16);
  bool lineStart = true;
  for (size_t i = 0; i < message.size(); ++i) {
    char c = message[i];
    if (lineStart && c == '.') out += '.';
    lineStart = false;
    if (c == '\n') {
      if (i == 0 || message[i - 1] != '\r') out += '\r';
      lineStart = true;
    }
    out += c;
  }
}

int MailRecipients(Process& proc, std::string_view to, std::string_view cc, std::string_view cci,
                   std::vector<std::string>* recipients) {
  const std::pair<std::string_view, int> lists[] = {
      {to, kMailBadTo}, {cc, kMailBadCc}, {cci, kMailBadCci}};
  for (auto [list, code] : lists) {
    while (!list.empty()) {
      size_t cut = list.find_first_of(",;");
      std::string_view piece = list.substr(0, cut);
      list = cut == std::string_view::npos ? std::string_view() : list.substr(cut + 1);
      // An empty piece would be the empty address, which servers refuse.
      if (Trim(piece).empty()) continue;
      // Refused rather than cut: a cut address would go to someone else.
      if (piece.size() > kMaxAddress) {
        Trace(proc, "Address longer than %zu bytes\n", kMaxAddress);
        return code;
      }
      if (recipients->size() == kMaxRecipients) {
        Trace(proc, "More than %zu recipients\n", kMaxRecipients);
        return code;
      }
      recipients->emplace_back(piece);
    }
  }
  return 0;
}

int MailCompose(Interpreter& interp, MailFields& mail) {
  Process& proc = interp.proc;
  for (std::string* field : {&mail.from, &mail.to, &mail.cc, &mail.cci, &mail.reply, &mail.subject,
                             &mail.smtp, &mail.charset}) {
    StripLineEnds(*field);
  }
  if (int code = Validate(mail)) return code;
  SmtpServer target = SmtpServerOf(proc, mail.smtp);
  const std::string localHost = LocalHostName();
  std::vector<std::string> recipients;
  if (int code = MailRecipients(proc, mail.to, mail.cc, mail.cci, &recipients)) return code;
  const std::string domain =
      AsciiEqualsNoCase(target.host, "usesendmail") ? localHost : target.host;

  std::string message = "Date: " + DateText();
  message += "\nReturn-Path: " + mail.from;
  message += "\nFrom: " + mail.from;
  message += "\nTo: " + mail.to;
  if (!mail.cc.empty()) message += "\nCc: " + mail.cc;
  if (!mail.reply.empty()) message += "\nReply-To: " + mail.reply;
  message += "\nX-Mailer: KWL v3.8rc6 with " + target.host;
  message += "\nMessage-ID: <" + RandomHex(proc) + "." + RandomHex(proc) + "@" + domain + ">";
  message += "\nSubject: " + mail.subject;

  std::vector<MailPart> images;
  if (mail.type != kMailText) images = MailInlineImages(proc, mail.html);
  std::vector<MailPart> attachments = CollectAttachments(proc, mail.join);
  const std::string b1 = Boundary(proc);
  const std::string b2 = Boundary(proc);

  std::string wire;
  if (attachments.empty() && images.empty() && mail.type <= kMailHtml) {
    message += "\n";
    AppendContentHeader(message, mail.type == kMailHtml ? "text/html" : "text/plain", mail.charset);
    message += mail.type == kMailHtml ? mail.html : mail.text;
    AppendWireText(message, wire);
    wire += "\r\n.\r\n";
  } else {
    if (!attachments.empty()) {
      AppendMultipartHeader(message, "mixed", b1, true);
      message += "--" + b1 + "\n";
    }
    if (!images.empty()) {
      AppendMultipartHeader(message, "related", b2, attachments.empty());
      message += "--" + b2 + "\n";
    }
    AppendBodyMailPart(proc, mail, attachments.empty() && images.empty(), message);
    if (!images.empty() && !AppendFileMailParts(proc, images, b2, true, message)) return 1;
    if (!attachments.empty() && !AppendFileMailParts(proc, attachments, b1, false, message))
      return 1;
    message += "\n";
    AppendWireText(message, wire);
    wire += ".\r\n";
  }
  int result = MailSend(interp, target, wire, localHost, mail.from, recipients);
  Trace(proc, "-- Message buffer -- %d\n", result);
  if (result != 0) TraceWrite(proc, message);
  return result;
}

}  // namespace kwl
