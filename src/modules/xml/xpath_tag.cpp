// <XPATH>: a row per node of an XML document: its root element, the nodes an
// XPath expression matches, or the children of the enclosing loop's node.
#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xpath.h>
#include <libxml/xpathInternals.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/paths.h"
#include "core/trace.h"
#include "interp/substitute.h"
#include "modules/xml/xml_tags.h"
#include "text/ascii.h"

namespace kwl {

namespace {

constexpr std::string_view kModuleName = "xml";
constexpr std::string_view kNodeColumn = "xpath.nodeptr";
// Redundant namespace declarations go (as they always did); nothing is
// fetched from the network, no entity is substituted and no DTD loaded, so a
// document cannot name a file or URL to read; errors stay out of the
// server's log. Depth and size stay within libxml2's default limits.
constexpr int kParseOptions =
    XML_PARSE_NSCLEAN | XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
// Bounds the work of one expression, whatever the page or a visitor wrote.
constexpr unsigned long kXPathOperations = 200'000'000;

// One <XPATH> loop: its document (none in CHILD mode, whose nodes belong to
// an enclosing loop's), its XPath result, and the nodes its rows name. The
// handle in a row's xpath.nodeptr is an index into `nodes` (1-based) and
// means something only to this loop, while it runs.
struct XPathLoop {
  const Block* block = nullptr;
  xmlDocPtr doc = nullptr;
  xmlXPathContextPtr context = nullptr;
  xmlXPathObjectPtr result = nullptr;
  std::vector<xmlNodePtr> nodes;
  size_t attributesPushed = 0;  // the XML2attr block of the current pass

  XPathLoop() = default;
  XPathLoop(const XPathLoop&) = delete;
  XPathLoop& operator=(const XPathLoop&) = delete;
  ~XPathLoop() { XPathRelease(); }

  // The nodes go with the document they belong to.
  void XPathRelease() {
    if (result) xmlXPathFreeObject(result);
    if (context) xmlXPathFreeContext(context);
    if (doc) xmlFreeDoc(doc);
    result = nullptr;
    context = nullptr;
    doc = nullptr;
    nodes.clear();
  }
};

// The run's XPATH loops, innermost last; what a page leaves is freed with the run.
struct XmlState {
  explicit XmlState(Interpreter&) {}
  std::vector<std::unique_ptr<XPathLoop>> loops;
};

XmlState& StateOf(Interpreter& interp) {
  return ModuleRunState<XmlState>(interp, kModuleName);
}

XPathLoop* LoopOf(Interpreter& interp, const Block& block) {
  auto& loops = StateOf(interp).loops;
  for (auto it = loops.rbegin(); it != loops.rend(); ++it) {
    if ((*it)->block == &block) return it->get();
  }
  return nullptr;
}

std::string_view Text(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

int Int(size_t n) {
  return static_cast<int>(std::min<size_t>(n, INT_MAX));
}

// Where the run of ASCII bytes from `i` ends, eight bytes at a time.
size_t AsciiRunEnd(std::string_view text, size_t i) {
  for (uint64_t word; i + sizeof word <= text.size(); i += sizeof word) {
    std::memcpy(&word, text.data() + i, sizeof word);
    if (word & 0x8080808080808080u) break;
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

// UTF-8 to ISO-8859-1; a character outside it (or a malformed sequence)
// ends the text there, as libxml2's UTF8Toisolat1 does, whose trace line
// this keeps: bytes read, bytes written, and the count or -2.
std::string ToLatin1(Process& proc, const xmlChar* utf8) {
  std::string_view in = Text(utf8);
  std::string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    size_t plain = AsciiRunEnd(in, i);
    out.append(in.substr(i, plain - i));
    i = plain;
    if (i == in.size()) break;
    auto lead = static_cast<unsigned char>(in[i]);
    auto next = i + 1 < in.size() ? static_cast<unsigned char>(in[i + 1]) : 0;
    if ((lead != 0xC2 && lead != 0xC3) || (next & 0xC0) != 0x80) break;
    out += static_cast<char>(((lead & 0x03) << 6) | (next & 0x3F));
    i += 2;
  }
  TRACE(proc, "UTF8Toisolat1 %d-%d return %d\n", Int(i), Int(out.size()),
        i == in.size() ? Int(out.size()) : -2);
  return out;
}

bool AppendInt(DATable& table, int32_t value) {
  char bytes[sizeof value];
  std::memcpy(bytes, &value, sizeof value);
  return DAAppendItem(table, std::string_view(bytes, sizeof bytes), 0);
}

bool AppendText(DATable& table, std::string_view text) {
  return DAAppendItem(table, text, text.empty() ? kCellNull : 0);
}

// Only elements have attributes (an attribute node has no such field at all).
int32_t AttributeCount(xmlNodePtr node) {
  if (node->type != XML_ELEMENT_NODE) return 0;
  int32_t count = 0;
  for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) ++count;
  return count;
}

void AddColumns(DATable& table) {
  if (DAColumnCount(table) > 0) return;
  table.columns.reserve(6);
  DAAddColumn(table, kNodeColumn, 7, 4);
  DAAddColumn(table, "xpath.name", 2, 256);
  DAAddColumn(table, "xpath.type", 7, 4);
  DAAddColumn(table, "xpath.content", 5, 256);
  DAAddColumn(table, "xpath.nbchild", 7, 4);
  DAAddColumn(table, "xpath.nbattribut", 7, 4);
}

void TraceNode(Process& proc, xmlNodePtr node, std::string_view name, const std::string& content) {
  Trace(proc, "= element node \"%.*s\" = %.200s (%d)\n", Int(name.size()), name.data(),
        content.c_str(), static_cast<int>(node->type));
  if (node->type == XML_ATTRIBUTE_NODE || node->type == XML_NAMESPACE_DECL) return;
  for (xmlNodePtr child = node->children; child; child = child->next) {
    if (child->content)
      Trace(proc, "=> child node \"%s\" = %.200s\n", Text(child->name).data(), child->content);
  }
  if (node->type != XML_ELEMENT_NODE) return;
  for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
    const xmlChar* value = attribute->children ? attribute->children->content : nullptr;
    Trace(proc, "attr %s = %s\n", attribute->name, Text(value).data());
  }
}

void AddRow(Process& proc, XPathLoop& loop, DATable& table, xmlNodePtr node) {
  loop.nodes.push_back(node);
  xmlChar* raw = xmlNodeGetContent(node);
  std::string content = ToLatin1(proc, raw);
  xmlFree(raw);
  std::string_view name = Text(node->name);
  unsigned long children = xmlChildElementCount(node);
  AppendInt(table, static_cast<int32_t>(loop.nodes.size()));
  AppendText(table, name);
  AppendInt(table, static_cast<int32_t>(node->type));
  AppendText(table, content);
  AppendInt(table, static_cast<int32_t>(std::min<unsigned long>(children, INT32_MAX)));
  AppendInt(table, AttributeCount(node));
  if (TraceActive(proc)) TraceNode(proc, node, name, content);
}

// An empty filter is no filter.
bool Wanted(xmlNodePtr node, std::string_view filter) {
  if (filter.empty()) return true;
  std::string_view name = Text(node->name);
  if (node->type == XML_ELEMENT_NODE) {
    if (AsciiEqualsNoCase(filter, "node()") || AsciiEqualsNoCase(filter, "element()")) return true;
  } else if (node->type == XML_TEXT_NODE) {
    if (AsciiEqualsNoCase(filter, "node()") || AsciiEqualsNoCase(filter, "text()")) return true;
  }
  return AsciiEqualsNoCase(filter, name);
}

// The node and its following siblings that the filter lets through.
void ListNodes(Process& proc, XPathLoop& loop, DATable& table, xmlNodePtr first,
               std::string_view filter) {
  AddColumns(table);
  for (xmlNodePtr node = first; node; node = node->next) {
    if (node->type != XML_NAMESPACE_DECL && Wanted(node, filter)) AddRow(proc, loop, table, node);
  }
}

void IgnoreError(void*, xmlErrorPtr) {}
void IgnoreMessage(void*, const char*, ...) {}

bool NoError(Interpreter& interp) {
  return !interp.err || VarInt(*interp.err) == 0;
}

void Evaluate(Process& proc, XPathLoop& loop, DATable& table, const std::string& expression) {
  loop.context = xmlXPathNewContext(loop.doc);
  if (!loop.context) {
    Trace(proc, "Error: unable to create new XPath context\n");
    return;
  }
  loop.context->error = IgnoreError;
  loop.context->opLimit = kXPathOperations;
  int registered = xmlXPathRegisterNs(loop.context, BAD_CAST "kwl", nullptr);
  Trace(proc, "xmlXPathRegisterNs %d\n", registered);
  unsigned long refusals = XmlMemoryRefusals();
  loop.result = xmlXPathEvalExpression(BAD_CAST expression.c_str(), loop.context);
  if (loop.result && XmlMemoryRefusals() != refusals) {
    xmlXPathFreeObject(loop.result);
    loop.result = nullptr;
  }
  if (!loop.result) {
    Trace(proc, "Error: unable to evaluate xpath expression \"%s\"\n", expression.c_str());
    xmlXPathFreeContext(loop.context);
    loop.context = nullptr;
    return;
  }
  xmlNodeSetPtr set = loop.result->type == XPATH_NODESET ? loop.result->nodesetval : nullptr;
  int count = set ? set->nodeNr : 0;
  Trace(proc, "-> XPath num nodes = %d\n", count);
  AddColumns(table);
  for (int i = 0; i < count; ++i) {
    xmlNodePtr node = set->nodeTab[i];
    if (!node || node->type == XML_NAMESPACE_DECL) continue;
    if (node->type == XML_ELEMENT_NODE && node->ns) continue;
    AddRow(proc, loop, table, node);
  }
}

// libxml2 asks its reader for 4,000 bytes at a time: the file is read in
// large slices and handed out from them, one system call per slice.
struct SliceReader {
  int fd;
  std::string slice = std::string(size_t{256} << 10, '\0');
  size_t at = 0;
  size_t end = 0;
};

int ReadSlice(void* context, char* out, int wanted) {
  auto* reader = static_cast<SliceReader*>(context);
  if (reader->at == reader->end) {
    ssize_t got = read(reader->fd, reader->slice.data(), reader->slice.size());
    if (got <= 0) return got < 0 ? -1 : 0;
    reader->at = 0;
    reader->end = static_cast<size_t>(got);
  }
  size_t given = std::min(static_cast<size_t>(std::max(wanted, 0)), reader->end - reader->at);
  std::memcpy(out, reader->slice.data() + reader->at, given);
  reader->at += given;
  return static_cast<int>(given);
}

// Only a regular file is read: a FIFO or device would hold the run.
xmlDocPtr ParseFile(const std::string& path) {
  if (path.find('\0') != std::string::npos) return nullptr;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat info;
  xmlDocPtr doc = nullptr;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    SliceReader reader{fd};
    doc = xmlReadIO(ReadSlice, nullptr, &reader, path.c_str(), nullptr, kParseOptions);
  }
  close(fd);
  return doc;
}

xmlDocPtr ParseText(std::string_view text) {
  if (text.size() > INT_MAX) return nullptr;
  return xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, kParseOptions);
}

// A document cut short by the memory limit is no document.
xmlDocPtr Whole(xmlDocPtr doc, unsigned long refusalsBefore) {
  if (doc && XmlMemoryRefusals() != refusalsBefore) {
    xmlFreeDoc(doc);
    return nullptr;
  }
  return doc;
}

xmlDocPtr ParseDocument(Interpreter& interp, const AttributeList& attributes) {
  if (const Variable* file = FindAttribute(attributes, "FILE")) {
    std::string path = ResolvePath(interp.proc, Substituted(interp, VarRawText(*file)));
    Trace(interp.proc, "Parse file %s\n", path.c_str());
    unsigned long refusals = XmlMemoryRefusals();
    return Whole(ParseFile(path), refusals);
  }
  if (const Variable* value = FindAttribute(attributes, "VALUE")) {
    std::string text = Substituted(interp, VarRawText(*value));
    unsigned long refusals = XmlMemoryRefusals();
    return Whole(ParseText(text), refusals);
  }
  ReportError(interp, 1, "ERROR: No FILE or VALUE defined in tag XPATH");
  return ParseText("");
}

// CHILD mode: the node of the enclosing loop's current row. The nearest
// block with an xpath.nodeptr column must be a running XPATH loop, and the
// handle one of its own: anything else (a result column of that name, a
// forged cell) names no node.
xmlNodePtr EnclosingNode(Interpreter& interp) {
  const auto& blocks = interp.stack.blocks;
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
    const Block& block = **it;
    int column = 0;
    if (!DAFindColumn(block.rows, kNodeColumn, &column)) continue;
    XPathLoop* owner = LoopOf(interp, block);
    auto cell = DAGetItem(block.rows, block.currentRow, column);
    if (!owner || !cell || cell->bytes.size() != sizeof(int32_t)) return nullptr;
    int32_t handle = 0;
    std::memcpy(&handle, cell->bytes.data(), sizeof handle);
    if (handle < 1 || static_cast<size_t>(handle) > owner->nodes.size()) return nullptr;
    return owner->nodes[static_cast<size_t>(handle) - 1];
  }
  return nullptr;
}

}  // namespace

bool XPathTag(Interpreter& interp, const TagCall& call, Block& block, bool* /*singlePass*/) {
  const AttributeList& attributes = TagAttributes(interp, call);
  ReportError(interp, 0, "");
  auto& loops = StateOf(interp).loops;
  loops.push_back(std::make_unique<XPathLoop>());
  XPathLoop& loop = *loops.back();
  loop.block = &block;
  // libxml2 keeps these settings per thread, and a run may be on a new one.
  xmlSetStructuredErrorFunc(nullptr, IgnoreError);
  xmlSetGenericErrorFunc(nullptr, IgnoreMessage);
  // Its buffers (a node's content) otherwise grow by what each piece needs:
  // quadratic copying once realloc cannot grow them in place.
  xmlSetBufferAllocationScheme(XML_BUFFER_ALLOC_DOUBLEIT);
  Process& proc = interp.proc;
  if (const Variable* child = FindAttribute(attributes, "CHILD")) {
    std::string filter = Substituted(interp, VarRawText(*child));
    if (xmlNodePtr node = EnclosingNode(interp)) {
      bool hasChildren = node->type != XML_NAMESPACE_DECL;
      ListNodes(proc, loop, block.rows, hasChildren ? node->children : nullptr, filter);
    }
    return NoError(interp);
  }
  const Variable* match = FindAttribute(attributes, "MATCH");
  std::string expression = match ? Substituted(interp, VarRawText(*match)) : std::string();
  loop.doc = ParseDocument(interp, attributes);
  if (!loop.doc) {
    ReportError(interp, 2, "ERROR: No XML file to parse.");
  } else if (match) {
    Evaluate(proc, loop, block.rows, expression);
  } else {
    xmlNodePtr root = xmlDocGetRootElement(loop.doc);
    if (root) ListNodes(proc, loop, block.rows, root, {});
  }
  return NoError(interp);
}

void XPathAttributes(Interpreter& interp, Block& rows, DATable& attributes) {
  XPathLoop* loop = LoopOf(interp, rows);
  auto row = static_cast<size_t>(rows.currentRow);
  if (!loop || row >= loop->nodes.size()) return;
  xmlNodePtr node = loop->nodes[row];
  if (node->type != XML_ELEMENT_NODE) return;
  for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
    DAAddColumn(attributes, Text(attribute->name), 5, 256);
  }
  for (xmlAttrPtr attribute = node->properties; attribute; attribute = attribute->next) {
    std::string value =
        ToLatin1(interp.proc, attribute->children ? attribute->children->content : nullptr);
    AppendText(attributes, value);
    TRACE(interp.proc, "attr %s = %s (%d)\n", attribute->name, value.c_str(), Int(value.size()));
  }
}

namespace {

void SetGlobal(Interpreter& interp, std::string_view name, int64_t value) {
  ScopeSetInt(*interp.global, name, static_cast<int32_t>(std::min<int64_t>(value, INT32_MAX)));
}

void XPathStarted(Interpreter& interp, Block& block) {
  SetGlobal(interp, "xpathrowcount", DARowCount(block.rows));
  SetGlobal(interp, "xpathcolcount", DAColumnCount(block.rows));
  SetGlobal(interp, "xpathnumrow", block.currentRow + 1);
}

// Each pass sees the attributes of its row's node in a block of their own.
void XPathBeforePass(Interpreter& interp, Block& block) {
  size_t pushed = BlockPush(interp.stack, BlockNew(interp.stack, "XML2attr", kBlockData));
  XPathAttributes(interp, block, interp.stack.blocks[pushed - 1]->rows);
  if (XPathLoop* loop = LoopOf(interp, block)) loop->attributesPushed = pushed;
}

void XPathAfterPass(Interpreter& interp, Block& block) {
  SetGlobal(interp, "xpathnumrow", block.currentRow + 2);
  if (XPathLoop* loop = LoopOf(interp, block)) BlockPop(interp.stack, loop->attributesPushed);
}

void XPathFinished(Interpreter& interp, Block& block) {
  auto& loops = StateOf(interp).loops;
  std::erase_if(loops, [&](const auto& loop) { return loop->block == &block; });
}

}  // namespace

const RowSource kXpathRows{"XML2",          XPathTag,       XPathStarted,
                           XPathBeforePass, XPathAfterPass, XPathFinished};

}  // namespace kwl
