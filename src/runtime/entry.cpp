#include "runtime/entry.h"

namespace kwl {

int Main(int, char**) { return 0; }

}  // namespace kwl
