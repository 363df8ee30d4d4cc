// The request a run answers: its environment, its body and the sink its
// output goes to. Nothing else reads the environment, standard input or
// standard output.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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
  // Gives the request an environment of its own, empty so far.
  void ClearEnv() {
    own_ = true;
    env_.clear();
  }
  // True once the request has an environment of its own rather than the process's.
  bool OwnsEnvironment() const { return own_; }
  // Every variable as "NAME=VALUE": what commands the request starts receive.
  std::vector<std::string> Environment() const;

  std::FILE* body = stdin;
  std::FILE* out = stdout;

 private:
  bool own_ = false;
  std::unordered_map<std::string, std::string> env_;
};

// The request of runs that were given none: the process's own.
Request& ProcessRequest();

}  // namespace kwl
