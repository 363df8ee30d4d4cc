#include "interp/dispatch.h"

#include <algorithm>
#include <string>

#include "core/modules.h"

namespace kwl {

namespace {

bool Holds(const std::vector<std::string>& names, std::string_view name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

}  // namespace

const TagSlot& TagSlotFor(Interpreter& interp, int code) {
  TagSlot& slot = interp.tags[code];
  const char* module = TagInfoOf(code).module;
  TagRegistry& tags = interp.tags;
  if (!module || Holds(tags.modulesLoaded, module)) return slot;
  std::string error = std::string("ERROR: Module ") + module + " not available";
  if (!Holds(tags.modulesFailed, module)) {
    const ModuleEntry* entry = ModuleLoad(interp.proc, module, &error);
    if (entry && entry->registerTags) {
      // The module fills the slots of every tag it owns.
      entry->registerTags(tags);
      tags.modulesLoaded.emplace_back(module);
      return slot;
    }
    tags.modulesFailed.emplace_back(module);
  }
  ReportError(interp, 1, error);
  return slot;
}

}  // namespace kwl

namespace kwl {

const AttributeList& TagAttributes(Interpreter& interp, const TagCall& call, int caseMode) {
  return call.page.Attributes(interp.proc, call.cut, caseMode);
}

const AttributeList& UntracedAttributes(Interpreter&, const TagCall& call) {
  class Untraced final : public TextLog {
   public:
    bool Active() override { return false; }
    void Write(std::string_view) override {}
  } untraced;
  return call.page.Attributes(untraced, call.cut, 1);
}

}  // namespace kwl
