#include "runtime/register_tags.h"

namespace kwl {

void RegisterAllTags(TagRegistry& tags) { (void)tags; }

}  // namespace kwl
