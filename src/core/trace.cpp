#include "core/trace.h"

#include <sys/stat.h>

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "core/version.h"
#include "text/header_text.h"

namespace kwl {

namespace {

constexpr size_t kMaxComponent = 255;

std::string LocalDateTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::strftime(text, sizeof text, "%d/%m/%Y %H:%M:%S ", &local);
  return text;
}

}  // namespace

std::string TraceFileName(std::string_view pagePath, bool createDirs) {
  if (pagePath.empty()) return "kwldebug/Debug.file";
  char separator = pagePath.find('/') != std::string_view::npos ? '/' : '\\';
  std::string dir = "kwldebug";
  size_t last = pagePath.rfind(separator);
  if (last != std::string_view::npos) {
    // Components between the first and the last separator are mirrored.
    size_t pos = pagePath.find(separator);
    while (pos < last) {
      size_t next = pagePath.find(separator, pos + 1);
      std::string_view component = pagePath.substr(pos + 1, next - pos - 1);
      if (component != "..") {
        dir += '/';
        dir.append(component.substr(0, kMaxComponent));
        if (createDirs) mkdir(dir.c_str(), 0777);
      }
      pos = next;
    }
  }
  std::string_view file = last == std::string_view::npos ? pagePath : pagePath.substr(last + 1);
  if (file == "..") file = "";
  return dir + "/" + std::string(file.substr(0, kMaxComponent)) + ".debug";
}

void TraceOpen(Process& proc, std::string_view pagePath) {
  if (proc.trace.file) return;
  proc.trace.named = true;
  proc.trace.pagePath.assign(pagePath);
  mkdir("kwldebug", 0777);
  proc.trace.filePath = TraceFileName(pagePath, true);
  proc.trace.file = std::fopen(proc.trace.filePath.c_str(), "w");
  if (!proc.trace.file) {
    std::fprintf(proc.out, "KWL ERROR - Can't open debug '%s'\n",
                 WithoutLineBreaks(proc.trace.filePath).c_str());
    return;
  }
  proc.trace.lastEndedNewline = true;
  Trace(proc, "--- START DEBUG %s %s %s->%s\n", kVersionText, LocalDateTime().c_str(),
        proc.trace.pagePath.c_str(), proc.trace.filePath.c_str());
  if (!proc.trace.pending.empty()) {
    std::string held;
    held.swap(proc.trace.pending);
    TraceWrite(proc, held);
  }
}

void TraceSetPage(Process& proc, std::string_view pagePath) {
  proc.trace.named = true;
  proc.trace.pagePath.assign(pagePath);
  if (TraceLevel(proc) == kTraceFile) TraceOpen(proc, pagePath);
}

void TraceWrite(Process& proc, std::string_view text) {
  switch (TraceLevel(proc)) {
    case kTraceFile: {
      if (!proc.trace.named) {
        proc.trace.pending.append(text);
        return;
      }
      if (!proc.trace.file) TraceOpen(proc, proc.trace.pagePath);
      if (!proc.trace.file) return;
      if (proc.trace.lastEndedNewline) std::fprintf(proc.trace.file, "%3ld:", CurrentLine(proc));
      proc.trace.lastEndedNewline = !text.empty() && text.back() == '\n';
      std::fwrite(text.data(), 1, text.size(), proc.trace.file);
      std::fflush(proc.trace.file);
      break;
    }
    case kTraceHtml:
      std::fwrite(text.data(), 1, text.size(), proc.out);
      if (text.find('\n') != std::string_view::npos) std::fputs("<BR>", proc.out);
      break;
    case kTraceText:
      std::fwrite(text.data(), 1, text.size(), proc.out);
      break;
    default:
      break;
  }
}

void Trace(Process& proc, const char* format, ...) {
  if (!TraceActive(proc)) return;
  FormatScratch scratch;
  va_list args;
  va_start(args, format);
  std::string_view text = FormatIntoScratch(scratch, format, args);
  va_end(args);
  TraceWrite(proc, text);
}

bool Process::Active() {
  return TraceActive(*this);
}
void Process::Write(std::string_view text) {
  TraceWrite(*this, text);
}

void TraceClose(Process& proc) {
  Trace(proc, "--- CLOSE DEBUG %s\n", LocalDateTime().c_str());
  if (proc.trace.file) {
    std::fclose(proc.trace.file);
    proc.trace.file = nullptr;
  }
}

void TraceSetSuffix(Process& proc, std::string_view suffix) {
  proc.trace.pagePath += '.';
  proc.trace.pagePath.append(suffix);
}

}  // namespace kwl
