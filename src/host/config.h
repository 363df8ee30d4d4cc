// The configuration file "kwl.conf": keys into CONFIG, "!" keys into the environment.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>
#include <vector>

#include "core/request.h"
#include "core/scope.h"

namespace kwl {

// The file as last read, kept by a process that serves many requests: it is
// read again only when its inode, size or times change.
class ConfigFile {
 public:
  // Fills `config` from the file (a missing file is no error); "!" keys go
  // into the request's environment.
  void Apply(Scope& config, Request& request, const char* path = "kwl.conf");

 private:
  bool Current(const struct stat& info) const;
  void Read(const char* path);

  bool read_ = false;
  struct stat stamp_ {};
  std::vector<std::string> lines_;
};

// One line of the file.
void ReadConfigLine(Scope& config, Request& request, std::string_view line);

}  // namespace kwl
