// One request answered from start to end: a fresh run state over what the
// process keeps (engine, tags, compiled pages, configuration file). CGI and
// console runs answer one; a FastCGI worker answers many, each the same way.
#pragma once

#include <functional>

#include "core/process.h"
#include "core/request.h"
#include "host/config.h"
#include "interp/dispatch.h"
#include "page/page_cache.h"

namespace kwl {

struct Host {
  Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  Engine& engine;
  TagRegistry tags;
  PageCache pages;
  ConfigFile config;
  // Serves many requests: each is seeded and localised afresh.
  bool persistent = false;
  // Called once a run's CONFIG block is filled, before anything of the request is read.
  std::function<void(Process&, const Scope& config)> configured;
};

// Answers `request`: the console's page when `argv` names one and no web
// server started the program, else the CGI request. Returns the exit status.
int ServeRequest(Host& host, Request& request, int argc, char** argv);

// The program's end: the modules' process-end hooks.
void HostEnd(Host& host);

// The interpreter's stack: pages nest blocks, includes and function calls,
// and the loop recurses for each.
constexpr size_t kInterpreterStack = size_t{512} << 20;

// Runs `body` on a thread whose stack is large enough for the interpreter's
// nesting limit; returns what it returns.
int RunOnLargeStack(const std::function<int()>& body);

}  // namespace kwl
