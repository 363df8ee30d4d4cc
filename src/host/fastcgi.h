// The FastCGI front end: a supervisor that keeps a set of worker processes,
// each answering one request at a time on the shared listening socket.
#pragma once

#include "host/options.h"

namespace kwl {

// Serves until SIGTERM, SIGINT or SIGHUP; returns the exit status.
int RunFastCgi(const Options& options);

}  // namespace kwl
