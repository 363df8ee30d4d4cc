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

}  // namespace

void ReadConfigLine(Scope& config, std::string_view line) {
  if (line.empty() || line[0] == '#') return;
  size_t pos = 0;
  std::string_view key = NextWord(line, pos);
  std::string_view value = NextWord(line, pos);
  if (key.empty() || value.empty()) return;
  if (key[0] == '!') {
    std::string name(key.substr(1));
    if (!name.empty() && name.find('=') == std::string::npos) {
      setenv(name.c_str(), std::string(value).c_str(), 1);
    }
    return;
  }
  // A repeated key is added again; lookups find the first definition.
  auto var = VarNew(key);
  VarSet(*var, value);
  config.Add(std::move(var));
}

void ReadConfigFile(Scope& config, const char* path) {
  std::FILE* file = std::fopen(path, "r");
  if (!file) return;
  // Lines are read 255 characters at a time: a longer line reads as several.
  char line[256];
  while (std::fgets(line, sizeof line, file)) ReadConfigLine(config, line);
  std::fclose(file);
}

}  // namespace kwl
