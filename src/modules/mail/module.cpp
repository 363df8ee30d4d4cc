// The mail module's entry: the MAIL tag. TCP and TLS come from the net
// module and the digest and cipher from the crypto module, each loaded
// when a mail needs it.
#include "core/module_entry.h"
#include "modules/mail/mail_tags.h"

namespace kwl {

void RegisterMailTags(TagRegistry& tags) {
  tags[kTagMail].run = MailTag;
}

namespace {

constexpr ModuleEntry kEntry{kModuleAbi, "mail",  RegisterMailTags, nullptr,
                             nullptr,    nullptr, nullptr};

}  // namespace

}  // namespace kwl

extern "C" const kwl::ModuleEntry* kwl_module() {
  return &kwl::kEntry;
}
