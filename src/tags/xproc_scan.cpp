#include "tags/xproc_scan.h"

#include <algorithm>

#include "core/trace.h"
#include "page/attributes.h"
#include "page/scanner.h"

namespace kwl {

namespace {

constexpr size_t npos = std::string_view::npos;
constexpr int kTraceCut = 100;

// Where a listed element's name ends: at white space (a CR LF line end too)
// or ">", and at "/>", so that <br/> is named br.
bool EndsListedName(std::string_view text, size_t i) {
  char c = text[i];
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>' ||
         (c == '/' && i + 1 < text.size() && text[i + 1] == '>');
}

bool EndsTagWord(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '>';
}

std::string LowerCase(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

int Int(size_t n) {
  return static_cast<int>(std::min<size_t>(n, 0x7fffffff));
}

// For traces: at most kTraceCut bytes, and "..." when that cut something.
int Cut(std::string_view s) {
  return static_cast<int>(std::min<size_t>(s.size(), kTraceCut));
}
const char* More(std::string_view s) {
  return s.size() > kTraceCut ? "..." : "";
}

}  // namespace

// Every start and end tag of the text, grouped by name: a start tag is "<"
// and the name followed by ">" or white space, an end tag "</" and the name.
void XProcText::Index() {
  indexed_ = true;
  std::string key;
  for (size_t lt = text_.find('<'); lt != npos; lt = text_.find('<', lt + 1)) {
    size_t begin = lt + 1;
    bool opens = begin >= text_.size() || text_[begin] != '/';
    if (!opens) ++begin;
    size_t end = begin;
    while (end < text_.size() && !EndsTagWord(text_[end])) ++end;
    if (end == text_.size() || end == begin || end - begin > kMaxXProcName) continue;
    key = LowerCase(text_.substr(begin, end - begin));
    Tags& tags = byName_[key];
    tags.at.push_back(lt);
    tags.opens.push_back(opens);
  }
}

size_t XProcText::FindEndTag(std::string_view name, size_t from) {
  if (!indexed_) Index();
  auto found = byName_.find(LowerCase(name));
  if (found == byName_.end()) return npos;
  Tags& tags = found->second;
  const size_t count = tags.at.size();
  if (count >= UINT32_MAX) return npos;
  if (!tags.ready) {
    // closer[i]: walking from tag i at depth 1, the end tag that brings the
    // depth to 0. A start tag's own end tag is closer[i + 1]; the search
    // goes on from behind it.
    tags.closer.assign(count + 1, static_cast<uint32_t>(count));
    for (size_t i = count; i-- > 0;) {
      if (!tags.opens[i]) {
        tags.closer[i] = static_cast<uint32_t>(i);
      } else if (size_t inner = tags.closer[i + 1]; inner < count) {
        tags.closer[i] = tags.closer[inner + 1];
      }
    }
    tags.ready = true;
  }
  size_t first =
      static_cast<size_t>(std::lower_bound(tags.at.begin(), tags.at.end(), from) - tags.at.begin());
  size_t closer = tags.closer[first];
  return closer < count ? tags.at[closer] : npos;
}

bool XProcText::NextElement(Process& proc, size_t pos, XProcElement* element, size_t* next) {
  const size_t size = text_.size();
  size_t lt = text_.find('<', pos);
  if (lt == npos) return false;
  *element = XProcElement{};
  element->start = lt;
  size_t nameStart = lt + 1;
  bool declaration = nameStart < size && (text_[nameStart] == '?' || text_[nameStart] == '!');
  if (declaration) ++nameStart;
  size_t nameEnd = nameStart;
  while (nameEnd < size && !EndsListedName(text_, nameEnd)) ++nameEnd;
  element->name = text_.substr(nameStart, nameEnd - nameStart);
  size_t gt = text_.find('>', nameEnd);
  size_t attributesEnd = gt == npos ? size : gt;
  bool selfClosing = gt != npos && gt > nameStart && text_[gt - 1] == '/';
  if (selfClosing) attributesEnd = std::max(nameEnd, gt - 1);
  element->attributes = text_.substr(nameEnd, attributesEnd - nameEnd);
  size_t contentStart = gt == npos ? size : gt + 1;
  *next = contentStart;
  if (declaration || selfClosing || contentStart >= size) {
    TRACE(proc, "Content tag empty\n");
    return true;
  }
  const std::string_view name = element->name;
  if (name.empty()) {
    TRACE(proc, "Tag NULL! pos=%d %.*s\n", Int(lt), Cut(text_.substr(lt)), text_.data() + lt);
    return true;
  }
  // A name past the scratch size is not searched for (and not listed).
  if (name.size() > kMaxXProcName) return true;
  TRACE(proc, "Search tag end <%.*s>", Int(name.size()), name.data());
  size_t end = FindEndTag(name, contentStart);
  if (end == npos) return true;
  element->content = text_.substr(contentStart, end - contentStart);
  TRACE(proc, "found. Lg content %d (%d-%c)\n", Int(element->content.size()), Int(end), text_[end]);
  *next = std::min(size, end + name.size() + 3);
  return true;
}

void XProcList(Process& proc, std::string_view text, DATable& table) {
  TRACE(proc, "-> XProc list start\n");
  DAAddColumn(table, "xproc.name", 2, 256);
  DAAddColumn(table, "xproc.attributes", 5, 256);
  DAAddColumn(table, "xproc.content", 5, 256);
  XProcText scan(text);
  XProcElement e;
  size_t pos = 0;
  for (size_t next = 0; pos < text.size() && scan.NextElement(proc, pos, &e, &next); pos = next) {
    if (e.name.empty() || e.name.size() > kMaxXProcName) continue;
    if (!DAAppendItem(table, e.name, 0)) TRACE(proc, "Append name failed !");
    if (!DAAppendItem(table, e.attributes, e.attributes.empty() ? kCellNull : 0))
      TRACE(proc, "Append attr failed !");
    if (!DAAppendItem(table, e.content, e.content.empty() ? kCellNull : 0))
      TRACE(proc, "Append content failed !");
    int nameLength = Int(e.name.size());
    if (e.content.empty()) {
      TRACE(proc, "Tag <%.*s [%.*s%s]/>(%d,%d)\n", nameLength, e.name.data(), Cut(e.attributes),
            e.attributes.data(), More(e.attributes), Int(e.attributes.size()), Int(e.start));
    } else {
      TRACE(proc, "Tag <%.*s [%.*s%s]>%.*s%s</%.*s>(%d,%d,%d)\n", nameLength, e.name.data(),
            Cut(e.attributes), e.attributes.data(), More(e.attributes), Cut(e.content),
            e.content.data(), More(e.content), nameLength, e.name.data(), Int(e.attributes.size()),
            Int(e.content.size()), Int(e.start));
    }
  }
  TRACE(proc, "-< XProc list end\n");
}

namespace {

// One level of a select path.
struct PathStep {
  std::string name;
  bool skip = false;        // a single leading "/": non-matching elements are passed over whole
  bool attributes = false;  // an at sign: the matched element's attributes are columns too
  bool tooLong = false;
  std::string_view rest;  // from the "/" that ends this step
};

// Reads the first step of `path`. The first "/" sets the skip flag wherever
// it is (so a path without a leading one joins its first two steps); a "/"
// before the step has begun clears it; a later "/" ends the step.
PathStep ParseStep(Process& proc, std::string_view path) {
  PathStep step;
  bool slashSeen = false;
  for (size_t i = 0; i < path.size(); ++i) {
    char c = path[i];
    if (c == '/') {
      if (!slashSeen) {
        slashSeen = true;
        step.skip = true;
      } else if (step.name.empty()) {
        step.skip = false;
      } else {
        step.rest = path.substr(i);
        break;
      }
    } else if (c == '@') {
      step.attributes = true;
    } else if (step.name.size() < kMaxXProcStep) {
      step.name += c;
    } else {
      step.tooLong = true;
    }
  }
  TRACE(proc, "XPath |%s|%.*s\n", step.name.c_str(), Int(step.rest.size()), step.rest.data());
  return step;
}

// The name of the element a chunk opens: up to white space, "/" or ">".
std::string_view ElementName(std::string_view chunk) {
  size_t end = 1;
  while (end < chunk.size() && !EndsTagWord(chunk[end]) && chunk[end] != '/') ++end;
  return chunk.substr(1, end - 1);
}

bool Put(Process& proc, DATable& table, int64_t row, std::string_view column, int32_t kind,
         std::string_view value) {
  return DAPutItemByName(proc, table, row, column, kind, value);
}

void PutAttributes(Process& proc, std::string_view chunk, int64_t row, DATable& table) {
  TRACE(proc, "Extract Attr = %d\n", static_cast<int>(row));
  for (const Variable& attribute : ParseAttributes(proc, chunk, 0)) {
    const std::string& value = attribute.text;
    TRACE(proc, "Put %s = %.100s...(%d) ", attribute.name.c_str(), value.c_str(),
          Int(value.size()));
    int column = 0;
    if (DAFindColumn(table, attribute.name, &column)) {
      TRACE(proc, " SetItem(%d,%d) ", static_cast<int>(row), column);
    } else {
      TRACE(proc, " AddColumn ");
    }
    // A new column is short text, or long text when its first value is.
    if (Put(proc, table, row, attribute.name, value.size() < 256 ? 2 : 5, value)) {
      TRACE(proc, "Done\n");
    } else {
      TRACE(proc, " ERROR Append ERROR\n");
    }
  }
}

}  // namespace

void XProcSelect(Process& proc, std::string_view text, std::string_view path, DATable& table) {
  int64_t row = 0;
  TRACE(proc, "-> XPath Row = %d", 0);
  PathStep step = ParseStep(proc, path);
  int levels = 1;
  bool stopped = step.tooLong;
  size_t pos = 0;
  while (!stopped && pos < text.size()) {
    std::string_view chunk;
    size_t after = NextChunk(text, pos, &chunk);
    pos = after;
    if (chunk.size() < 2 || chunk[0] != '<' || chunk[1] == '/') continue;
    bool declaration = chunk[1] == '!' || chunk[1] == '?';
    std::string_view name = ElementName(chunk);
    bool named = !name.empty() && name.size() <= kMaxXProcName;
    bool selfClosing = chunk.ends_with("/>");
    bool byStar = step.name == "*" && !declaration && named;
    bool byName = !byStar && named && chunk.substr(1).starts_with(step.name);
    TRACE(proc, "|<%.*s|", Int(name.size()), name.data());
    if (!byStar && !byName) {
      if (declaration || !named) continue;
      TRACE(proc, "skip to");
      if (!step.skip || selfClosing) continue;
      size_t end = text.find(std::string("</").append(name), after);
      if (end == npos) {
        stopped = true;
      } else {
        pos = end + 2 + name.size();
      }
      continue;
    }
    if (!step.rest.empty()) {
      // Each level searches the rest of the text: the next step goes on from here.
      TRACE(proc, "-> XPath Row = %d", static_cast<int>(row));
      step = ParseStep(proc, step.rest);
      stopped = step.tooLong;
      ++levels;
      continue;
    }
    if (step.attributes) PutAttributes(proc, chunk, row, table);
    if (selfClosing) {
      TRACE(proc, "TAG VAR %.*s NULL\nEnd tag\n", Int(name.size()), name.data());
      Put(proc, table, row, name, 5, {});
    } else {
      size_t end = text.find(std::string("</").append(name), after);
      if (end == npos) {
        TRACE(proc, "EXIT: TAG %.*s NOT FOUNDEnd tag\n", Int(name.size()), name.data());
        stopped = true;
        continue;
      }
      std::string_view content = text.substr(after, end - after);
      if (content.empty()) {
        TRACE(proc, "TAG VAR %.*s =NULL\n", Int(name.size()), name.data());
      } else {
        TRACE(proc, "TAG VAR %.*s =%.100s...(%d)\n", Int(name.size()), name.data(),
              std::string(content.substr(0, 255)).c_str(), Int(content.size()));
      }
      Put(proc, table, row, name, 5, content);
      pos = std::min(text.size(), end + 2 + name.size() + 1);
    }
    // Matches by * fill one row; each match by name begins the next.
    if (byName) ++row;
  }
  for (; levels > 0; --levels) {
    TRACE(proc, "<- XPath Row = %d %.*s (done=%d, pt=%x)\n", static_cast<int>(row),
          Int(step.rest.size()), step.rest.data(), stopped ? 0 : 1,
          static_cast<unsigned>(std::min(pos, text.size())));
  }
}

}  // namespace kwl
