#include "host/options.h"

#include <charconv>
#include <cstring>
#include <string_view>

namespace kwl {

namespace {

bool ReadCount(const char* text, long low, long* out) {
  std::string_view digits(text);
  long value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc() || end != digits.data() + digits.size() || value < low) return false;
  *out = value;
  return true;
}

bool IsOption(const char* arg) {
  return std::strncmp(arg, "--", 2) == 0;
}

}  // namespace

const char* UsageText() {
  return "Usage: kwl PAGE [QUERY]            run a page from the console\n"
         "       kwl                         run as a CGI program (started by a web server)\n"
         "       kwl --fastcgi ADDRESS [--workers N] [--max-requests M]\n"
         "                                   serve FastCGI requests on ADDRESS, a Unix\n"
         "                                   socket path or HOST:PORT (:PORT for all\n"
         "                                   addresses); started with a listening socket\n"
         "                                   as standard input, kwl serves on it\n"
         "       kwl --sessions-import DIR   copy the session files of DIR (a kwlsession/\n"
         "                                   directory) into the store kwl.conf names\n"
         "       kwl --help | --version\n"
         "\n"
         "  --workers N        worker processes, one request at a time each\n"
         "                     (default: the number of cores)\n"
         "  --max-requests M   replace a worker after M requests (default: never)\n";
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  if (argc < 2 || !IsOption(argv[1])) return options;
  bool serve = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    bool hasValue = i + 1 < argc;
    long count = 0;
    if (arg == "--help" || arg == "-h") {
      options.action = Options::Action::kHelp;
      return options;
    } else if (arg == "--version") {
      options.action = Options::Action::kVersion;
      return options;
    } else if (arg == "--sessions-import" && hasValue && argc == 3) {
      options.action = Options::Action::kSessionsImport;
      options.importDir = argv[2];
      return options;
    } else if (arg == "--fastcgi" && hasValue) {
      options.address = argv[++i];
      serve = true;
    } else if (arg == "--workers" && hasValue && ReadCount(argv[i + 1], 1, &count)) {
      options.workers = static_cast<int>(count < 4096 ? count : 4096);
      ++i;
      serve = true;
    } else if (arg == "--max-requests" && hasValue && ReadCount(argv[i + 1], 0, &count)) {
      options.maxRequests = count;
      ++i;
      serve = true;
    } else {
      options.action = Options::Action::kError;
      options.error = "kwl: bad option or value: " + std::string(arg);
      return options;
    }
  }
  if (serve) options.action = Options::Action::kFastCgi;
  return options;
}

}  // namespace kwl
