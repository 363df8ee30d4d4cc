// The mail tag: MAIL sends a message over SMTP.
#pragma once

#include "interp/dispatch.h"

namespace kwl {

void MailTag(Interpreter& interp, const TagCall& call);

// Fills the slot of the mail tag (the module's registration).
void RegisterMailTags(TagRegistry& tags);

}  // namespace kwl
