// FILE READ: one line or delimited item at a time, or the whole stream.
#include <cstdio>
#include <string>

#include "core/trace.h"
#include "tags/file_ops.h"
#include "text/ascii.h"

namespace kwl {

namespace {

constexpr size_t kMaxItem = 2047;
constexpr size_t kBlock = 2048;

// Reads up to `delimiter`, which is dropped. A line counts at the end of the
// stream too; any other item only when its delimiter was found. An item is
// cut at kMaxItem bytes and the rest comes with the next read.
bool ReadItem(std::FILE* stream, char delimiter, std::string* item) {
  item->clear();
  while (item->size() < kMaxItem) {
    int c = std::getc(stream);
    if (c == EOF) return delimiter == '\n' && !item->empty();
    if (c == static_cast<unsigned char>(delimiter)) return true;
    item->push_back(static_cast<char>(c));
  }
  // A delimiter right behind a full item belongs to it.
  int c = std::getc(stream);
  if (c != EOF && c != static_cast<unsigned char>(delimiter)) std::ungetc(c, stream);
  return true;
}

void ReadLineMode(FileCall& call, std::FILE* stream, const std::string& eol, bool toVariable,
                  const std::string& content) {
  Interpreter& interp = call.interp;
  char delimiter = (eol.size() == 2 && AsciiEqualsNoCase(eol, "cr")) ? '\n' : eol[0];
  std::string item;
  bool read = ReadItem(stream, delimiter, &item);
  TRACE(interp.proc, "READ = %.2000s\n", item.c_str());
  if (!read) {
    ReportError(interp, 5, "EOF found in tag READ");
    item = interp.null ? VarText(*interp.null) : std::string();
  }
  if (toVariable) {
    ScopeSet(CurrentScope(interp), content, item);
  } else {
    WriteStandardOutput(interp, item);
  }
}

void ReadWhole(FileCall& call, std::FILE* stream, bool toVariable, const std::string& content) {
  Variable* target = nullptr;
  if (toVariable) {
    target = ScopeGetOrCreate(CurrentScope(call.interp), content);
    VarSet(*target, "");
  }
  char block[kBlock];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, stream)) > 0) {
    if (target) {
      VarAppend(*target, std::string_view(block, n));
    } else {
      WriteStandardOutput(call.interp, std::string_view(block, n));
    }
  }
}

}  // namespace

void FileRead(FileCall& call) {
  Interpreter& interp = call.interp;
  std::FILE* stream = interp.proc.request->body;
  if (call.value.empty()) {
    ReportError(interp, 0, "WARNING: No name defined in tag READ. Using standard input");
  } else if (!(stream = StreamOf(interp, call.value))) {
    return;
  }
  std::string content;
  bool toVariable = FileAttribute(call, "CONTENT", &content) && !content.empty();
  if (!toVariable)
    ReportError(interp, 0, "WARNING: No CONTENT defined in tag READ use standard output");
  std::string eol;
  if (FileAttribute(call, "EOL", &eol) && !eol.empty()) {
    ReadLineMode(call, stream, eol, toVariable, content);
  } else {
    ReadWhole(call, stream, toVariable, content);
  }
}

}  // namespace kwl
