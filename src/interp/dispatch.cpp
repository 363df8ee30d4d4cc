#include "interp/dispatch.h"

#include <string>

#include "core/modules.h"

namespace kwl {

const TagSlot& TagSlotFor(Interpreter& interp, int code) {
  TagSlot& slot = interp.tags[code];
  if (!slot.module) return slot;
  if (slot.moduleFailed) {
    ReportError(interp, 1, std::string("ERROR: Module ") + slot.module + " not available");
    return slot;
  }
  std::string error;
  auto enroll = reinterpret_cast<ModuleRegister>(
      ModuleSymbol(interp.proc, slot.module, kModuleRegisterSymbol, &error));
  if (!enroll) {
    slot.moduleFailed = true;
    ReportError(interp, 1, error);
    return slot;
  }
  // The module fills the slots of every tag it owns; they no longer need loading.
  std::string module = slot.module;
  enroll(interp.tags);
  for (TagSlot& other : interp.tags.slots) {
    if (other.module && module == other.module) other.module = nullptr;
  }
  return slot;
}

}  // namespace kwl
