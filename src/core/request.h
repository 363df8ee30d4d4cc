// The request a run answers: its environment, its body and the sink its
// output goes to. Nothing else reads the environment, standard input or
// standard output.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>

namespace kwl {

class Request {
 public:
  // CGI and console runs: the process environment and standard streams are
  // the request's.
  Request() = default;

  // The value of `name` in the request's environment; null when unset.
  const char* Env(std::string_view name) const;
  // Sets a variable for this request only; from the first call on the
  // request has an environment of its own (a persistent server fills it
  // from each request's parameters).
  void SetEnv(std::string_view name, std::string_view value);

  std::FILE* body = stdin;
  std::FILE* out = stdout;

 private:
  bool own_ = false;
  std::unordered_map<std::string, std::string> env_;
};

// The request of runs that were given none: the process's own.
Request& ProcessRequest();

}  // namespace kwl
