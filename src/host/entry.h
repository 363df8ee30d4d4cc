// Program entry: start-up, the two run modes and the end of the run.
#pragma once

namespace kwl {

int Main(int argc, char** argv);

}  // namespace kwl
