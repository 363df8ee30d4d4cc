// The XML module's entry: the XPATH tag over libxml2, whose memory counts
// against the run's memory limit like the interpreter's own.
#include <libxml/parser.h>
#include <libxml/xmlmemory.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/memory_limit.h"
#include "core/module_entry.h"
#include "modules/xml/xml_tags.h"

namespace kwl {

void RegisterXmlTags(TagRegistry& tags) {
  tags[kTagXpath].rows = &kXpathRows;
}

namespace {

unsigned long gRefused = 0;

bool MayTake(size_t size) {
  if (MemoryMayTake(size)) return true;
  ++gRefused;
  return false;
}

// A refused allocation fails the parse or the expression (see
// XmlMemoryRefusals): the tag then has no document, or no rows.
void* XmlMalloc(size_t size) {
  if (!MayTake(size)) return nullptr;
  void* block = std::malloc(size);
  if (block) gMemory.used += malloc_usable_size(block);
  return block;
}

void Forget(void* block) {
  gMemory.used -= std::min(gMemory.used, malloc_usable_size(block));
}

void XmlFree(void* block) {
  if (!block) return;
  Forget(block);
  std::free(block);
}

void* XmlRealloc(void* block, size_t size) {
  size_t before = block ? malloc_usable_size(block) : 0;
  if (size > before && !MayTake(size - before)) return nullptr;
  void* moved = std::realloc(block, size);
  if (!moved) return nullptr;
  gMemory.used -= std::min(gMemory.used, before);
  gMemory.used += malloc_usable_size(moved);
  return moved;
}

char* XmlStrdup(const char* text) {
  size_t size = std::strlen(text) + 1;
  auto* copy = static_cast<char*>(XmlMalloc(size));
  if (copy) std::memcpy(copy, text, size);
  return copy;
}

bool XmlStart() {
  if (xmlMemSetup(XmlFree, XmlMalloc, XmlRealloc, XmlStrdup) != 0) return false;
  xmlInitParser();
  return true;
}

void XmlEnd() {
  xmlCleanupParser();
}

int LibraryVersion() {
  return std::atoi(xmlParserVersion);
}

constexpr ModuleEntry kEntry{kModuleAbi, "xml",   RegisterXmlTags, XmlStart,
                             XmlEnd,     nullptr, LibraryVersion};

}  // namespace

unsigned long XmlMemoryRefusals() {
  return gRefused;
}

}  // namespace kwl

extern "C" const kwl::ModuleEntry* kwl_module() {
  return &kwl::kEntry;
}
