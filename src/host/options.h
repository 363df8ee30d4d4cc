// The program's own command-line options (--help, --version, --fastcgi ...).
#pragma once

#include <string>

namespace kwl {

struct Options {
  enum class Action { kRun, kHelp, kVersion, kFastCgi, kSessionsImport, kError };
  Action action = Action::kRun;
  std::string address;    // --fastcgi: a Unix socket path or host:port; empty: standard input
  int workers = 0;        // 0: one per core
  long maxRequests = 0;   // 0: a worker is never recycled for its count
  std::string importDir;  // --sessions-import: a directory of session files
  std::string error;
};

// Reads the options when the first argument is one; a page file and its
// query string (anything else) leave the action kRun.
Options ParseOptions(int argc, char** argv);

// What --help prints.
const char* UsageText();

}  // namespace kwl
