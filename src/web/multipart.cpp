#include "web/multipart.h"

#include <algorithm>
#include <functional>

#include "core/trace.h"
#include "web/request.h"

namespace kwl {
namespace {

constexpr size_t npos = std::string_view::npos;
// The browser's file name and its directory are fields of at most this many bytes.
constexpr size_t kMaxFileField = 255;

struct Part {
  std::string name;
  bool isFile = false;
  std::string fileName;
  std::string filePath;
  std::string_view content;
};

// Finds the delimiters of a body: CR LF, "--" and the boundary, or "--" and the boundary at
// the very start. The boundary text anywhere else is content. Boundaries begin with long
// runs of "-", which make a naive search slow on hostile bodies.
class DelimiterFinder {
 public:
  DelimiterFinder(std::string_view body, std::string_view boundary)
      : body_(body),
        delimiter_("\r\n--" + std::string(boundary)),
        searcher_(delimiter_.begin(), delimiter_.end()) {}
  DelimiterFinder(const DelimiterFinder&) = delete;  // the searcher points into delimiter_
  DelimiterFinder& operator=(const DelimiterFinder&) = delete;

  // Where the first delimiter at or after `from` begins; npos when there is none.
  size_t Find(size_t from) const {
    if (from == 0 && body_.starts_with(std::string_view(delimiter_).substr(2))) return 0;
    if (from > body_.size()) return npos;
    auto it = std::search(body_.begin() + from, body_.end(), searcher_);
    return it == body_.end() ? npos : static_cast<size_t>(it - body_.begin());
  }
  // Just behind the delimiter found at `at`.
  size_t End(size_t at) const { return at + delimiter_.size() - (at == 0 ? 2 : 0); }
  // "--" behind the boundary closes the body; what follows is not read.
  bool Closes(size_t at) const { return body_.substr(End(at)).starts_with("--"); }

 private:
  std::string_view body_;
  std::string delimiter_;
  std::boyer_moore_horspool_searcher<std::string::const_iterator> searcher_;
};

// The value of filename= at `at` in the rest of the disposition line.
std::string_view FileNameAt(std::string_view rest, size_t at) {
  size_t start = at + 9;
  if (start < rest.size() && rest[start] == '"') ++start;
  start = std::min(start, rest.size());
  size_t end = rest.find('"', start);
  if (end == npos) {
    end = rest.size();
    if (end > start && rest[end - 1] == '\r') --end;
  }
  return rest.substr(start, end - start);
}

// Browsers send Windows paths with backslashes, others with "/": split at the last of either.
void SplitFileName(Process& proc, std::string_view sent, Part* part) {
  TRACE(proc, "Filename = %s\n", std::string(sent).c_str());
  size_t sep = sent.find_last_of("\\/");
  if (sep != npos) {
    part->filePath.assign(sent.substr(0, std::min(sep + 1, kMaxFileField)));
    TRACE(proc, "Filepath = %s\n", part->filePath.c_str());
    sent.remove_prefix(sep + 1);
  }
  part->fileName.assign(sent.substr(0, kMaxFileField));
}

// Skips the header lines behind the disposition line and the blank line that ends them.
// Returns where the content begins; npos when there is no blank line.
size_t ContentStart(std::string_view part, size_t line) {
  while (line < part.size() && part[line] != '\r' && part[line] != '\n') {
    size_t eol = part.find('\n', line);
    if (eol == npos) return npos;
    line = eol + 1;
  }
  size_t eol = part.find('\n', std::min(line, part.size()));
  return eol == npos ? npos : eol + 1;
}

// Reads the part between `headers` (just behind its opening delimiter) and `close` (the next
// delimiter, npos when there is none). False when the part is unusable.
bool ReadPart(Process& proc, std::string_view body, size_t headers, size_t close, Part* part) {
  std::string_view text = body.substr(headers, (close == npos ? body.size() : close) - headers);
  size_t at = text.find("name=");
  if (at == npos) return false;
  size_t start = at + 5;
  if (start < text.size() && text[start] == '"') ++start;
  size_t eol = text.find('\n', start);
  size_t quote = text.find('"', start);
  if (eol == npos || quote == npos || quote > eol) return false;
  std::string_view name = text.substr(start, quote - start);
  part->name.assign(name.substr(0, std::min(name.find('\0'), kMaxParamName)));

  std::string_view rest = text.substr(quote + 1, eol - quote - 1);
  if (size_t file = rest.find("filename="); file != npos) {
    part->isFile = true;
    SplitFileName(proc, FileNameAt(rest, file), part);
  }
  size_t content = ContentStart(text, eol + 1);
  if (content == npos) return false;
  if (close == npos) {
    TRACE(proc, "Boundary not found\n");
    return false;
  }
  part->content = text.substr(content);
  return true;
}

int SetText(Scope& globals, const Scope* session, const std::string& name, std::string_view value) {
  if (ParamDropped(name, session)) return 0;
  ScopeSetString(globals, StoredParamName(name), value);
  return 1;
}

int SetInt(Scope& globals, const Scope* session, const std::string& name, int32_t value) {
  if (ParamDropped(name, session)) return 0;
  ScopeSetInt(globals, StoredParamName(name), value);
  return 1;
}

// A later part of the same name overwrites an earlier one.
int StorePart(Process& proc, const Part& part, Scope& globals, const Scope* session) {
  int made = 0;
  int size = static_cast<int>(part.content.size());
  if (part.isFile) {
    made += SetText(globals, session, part.name + ".filename", part.fileName);
    made += SetText(globals, session, part.name + ".filepath", part.filePath);
    made += SetInt(globals, session, part.name + ".filesize", size);
    TRACE(proc, "Param %s lg = %d\n", part.name.c_str(), size);
  } else {
    TRACE(proc, "Param %s (%d) = %.1000s...\n", part.name.c_str(), size,
          std::string(part.content).c_str());
  }
  if (ParamDropped(part.name, session)) return made;
  ScopeSet(globals, StoredParamName(part.name), part.content);
  return made + 1;
}

}  // namespace

std::string MultipartBoundary(std::string_view contentType) {
  size_t at = contentType.find("boundary=");
  if (at == npos) return {};
  std::string_view value = contentType.substr(at + 9);
  if (!value.empty() && value.front() == '"') {
    value.remove_prefix(1);
    return std::string(value.substr(0, value.find('"')));
  }
  // A boundary holds no ";", so one ends it (a parameter may follow).
  value = value.substr(0, value.find(';'));
  size_t last = value.find_last_not_of(" \t");
  return std::string(value.substr(0, last == npos ? 0 : last + 1));
}

int DecodeMultipartBody(Process& proc, std::string_view body, std::string_view boundary,
                        Scope& globals, const Scope* session) {
  if (boundary.empty()) return 0;
  DelimiterFinder finder(body, boundary);
  int count = 0;
  for (size_t pos = finder.Find(0); pos != npos && !finder.Closes(pos);) {
    size_t headers = finder.End(pos);
    size_t close = finder.Find(headers);
    Part part;
    if (ReadPart(proc, body, headers, close, &part)) {
      count += StorePart(proc, part, globals, session);
    }
    pos = close;
  }
  return count;
}

}  // namespace kwl
