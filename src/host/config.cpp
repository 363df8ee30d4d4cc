#include "host/config.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kwl {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

std::string_view NextWord(std::string_view line, size_t& pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  size_t start = pos;
  while (pos < line.size() && !IsBlank(line[pos])) ++pos;
  return line.substr(start, pos - start);
}

bool SameTime(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

void ReadConfigLine(Scope& config, Request& request, std::string_view line) {
  if (line.empty() || line[0] == '#') return;
  size_t pos = 0;
  std::string_view key = NextWord(line, pos);
  std::string_view value = NextWord(line, pos);
  if (key.empty() || value.empty()) return;
  if (key[0] == '!') {
    std::string name(key.substr(1));
    if (name.empty() || name.find('=') != std::string::npos) return;
    // A CGI run's environment is the process's own: the libraries see it too.
    if (request.OwnsEnvironment()) {
      request.SetEnv(name, value);
    } else {
      setenv(name.c_str(), std::string(value).c_str(), 1);
    }
    return;
  }
  // A repeated key is added again; lookups find the first definition.
  auto var = VarNew(key);
  VarSet(*var, value);
  config.Add(std::move(var));
}

bool ConfigFile::Current(const struct stat& info) const {
  return read_ && info.st_dev == stamp_.st_dev && info.st_ino == stamp_.st_ino &&
         info.st_size == stamp_.st_size && SameTime(info.st_mtim, stamp_.st_mtim) &&
         SameTime(info.st_ctim, stamp_.st_ctim);
}

void ConfigFile::Apply(Scope& config, Request& request, const char* path) {
  struct stat info;
  if (stat(path, &info) != 0) {
    read_ = false;
    lines_.clear();
    return;
  }
  if (!Current(info)) Read(path);
  for (const std::string& line : lines_) ReadConfigLine(config, request, line);
}

void ConfigFile::Read(const char* path) {
  read_ = false;
  lines_.clear();
  std::FILE* file = std::fopen(path, "r");
  if (!file) return;
  // The stamp of the file read, so that a change while reading shows next time.
  if (fstat(fileno(file), &stamp_) == 0) read_ = true;
  // Lines are read 255 characters at a time: a longer line reads as several.
  char line[256];
  while (std::fgets(line, sizeof line, file)) lines_.emplace_back(line);
  std::fclose(file);
}

}  // namespace kwl
