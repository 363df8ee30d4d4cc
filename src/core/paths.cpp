#include "core/paths.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "core/trace.h"

namespace kwl {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The page file the relative paths of a page are taken from.
std::string PagePath(const Process& proc) {
  if (!proc.pagePath.empty()) return proc.pagePath;
  const char* translated = Env(proc, "PATH_TRANSLATED");
  return translated ? translated : "";
}

// Reads exactly `size` bytes; false when fewer arrive.
bool ReadExactly(Process& proc, std::FILE* file, size_t size, std::string* bytes) {
  try {
    bytes->resize(size);
  } catch (const std::bad_alloc&) {
    // A page naming an enormous file gets a failed load, not a dead request.
    TRACE(proc, "ERROR: Memory allocation failed !!\n");
    bytes->clear();
    return false;
  }
  if (size > 0 && std::fread(bytes->data(), 1, size, file) != size) {
    TRACE(proc, "ERROR: Read file failed !!\n");
    bytes->clear();
    return false;
  }
  return true;
}

}  // namespace

std::string BaseDir(Process& proc) {
  if (const char* root = Env(proc, "DOCUMENT_ROOT")) {
    TRACE(proc, "Base dir = %s\n", root);
    return root;
  }
  const char* pwd = Env(proc, "PWD");
  if (!pwd) return "";
  std::string dir = pwd;
  if (!dir.empty() && dir.back() == '/') dir.pop_back();
  TRACE(proc, "PWD dir = %s (%s,%d)\n", dir.c_str(), pwd, static_cast<int>(std::strlen(pwd)));
  return dir;
}

std::string CurrentDir(Process& proc) {
  std::string dir = PagePath(proc);
  if (!dir.empty()) {
    size_t slash = dir.rfind('/');
    if (slash == std::string::npos) {
      dir = BaseDir(proc);
    } else {
      // A page at the file-system root keeps "/" so that it still names a directory.
      dir.resize(slash == 0 ? 1 : slash);
    }
  }
  TRACE(proc, "Cur dir = %s\n", dir.c_str());
  return dir;
}

std::string ResolvePath(Process& proc, std::string_view path) {
  std::string dir;
  if (!path.empty() && path.front() == '/') {
    dir = BaseDir(proc);
  } else {
    dir = CurrentDir(proc);
    if (!dir.empty() && dir.back() != '/') dir += '/';
  }
  dir.append(path);
  return dir;
}

bool LoadWholeFile(Process& proc, const std::string& path, std::string* bytes) {
  bytes->clear();
  // A zero byte would silently shorten the name the system opens.
  FilePtr file(path.find('\0') == std::string::npos ? std::fopen(path.c_str(), "rb") : nullptr);
  if (!file) {
    TRACE(proc, "ERROR: File not found !!\n");
    return false;
  }
  struct stat info;
  if (fstat(fileno(file.get()), &info) != 0 || info.st_size < 0) {
    TRACE(proc, "ERROR: Open file failed !!\n");
    return false;
  }
  return ReadExactly(proc, file.get(), static_cast<size_t>(info.st_size), bytes);
}

bool LoadFileIntoVariable(Process& proc, std::string_view path, Variable& var) {
  std::string bytes;
  if (!LoadWholeFile(proc, ResolvePath(proc, path), &bytes)) return false;
  VarSet(var, {});
  var.text.swap(bytes);
  return true;
}

long FileSize(std::FILE* stream) {
  long here = std::ftell(stream);
  if (here < 0 || std::fseek(stream, 0, SEEK_END) != 0) return -1;
  long size = std::ftell(stream);
  std::fseek(stream, here, SEEK_SET);
  return size;
}

}  // namespace kwl
