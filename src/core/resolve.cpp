#include "core/resolve.h"

#include <cstdlib>

#include "core/trace.h"

namespace kwl {

namespace {

constexpr int kColumnFloat = 16;
constexpr int kColumnDate = 8;

// The positive number that a name's leading digits give (2 for "2" and "2nd"), else 0.
int32_t LeadingNumber(std::string_view name) {
  if (name.empty() || name[0] < '0' || name[0] > '9') return 0;
  int32_t n = ParseDecimal(name);
  return n > 0 ? n : 0;
}

int32_t GlobalInt(Process& proc, std::string_view name) {
  Block* global = BlockTopOfKind(proc.stack, kBlockGlobal);
  int32_t value = 0;
  if (global) ScopeGetInt(global->vars, name, &value);
  return value;
}

void AppendCell(Process& proc, const DATable& rows, int64_t row, int column, std::string& out) {
  if (proc.cellText) {
    int32_t kind = rows.columns[static_cast<size_t>(column)].kind;
    int param = 0;
    if (kind == kColumnFloat) param = GlobalInt(proc, "velfloatprecision");
    if (kind == kColumnDate) param = GlobalInt(proc, "veldateformat");
    if (proc.cellText(proc, rows, row, column, param, out)) return;
  }
  if (auto item = DAGetItem(rows, row, column)) out.append(item->bytes);
}

// A result block answers by column number or exact column name.
bool ResolveColumn(Process& proc, const Block& block, std::string_view name, int32_t number,
                   bool nameMode, std::string& out) {
  int columns = DAColumnCount(block.rows);
  int column = -1;
  if (number > 0) {
    if (number <= columns) column = number - 1;
  } else if (!DAFindColumn(block.rows, name, &column)) {
    column = -1;
  }
  if (column < 0) return false;
  if (nameMode) {
    out.append(block.rows.columns[static_cast<size_t>(column)].name);
  } else {
    AppendCell(proc, block.rows, block.currentRow, column, out);
  }
  return true;
}

bool ResolveVariable(const Block& block, std::string_view name, int32_t number, bool nameMode,
                     std::string& out) {
  Variable* var = number > 0 ? block.vars.Nth(static_cast<size_t>(number - 1)) : nullptr;
  if (!var) var = block.vars.Find(name);
  if (!var) return false;
  out.append(nameMode ? var->name : VarText(*var));
  return true;
}

}  // namespace

bool ResolveName(Process& proc, std::string_view name, bool nameMode, std::string& out) {
  TRACE(proc, "VAR %.*s ", static_cast<int>(name.size()), name.data());
  int32_t number = LeadingNumber(name);
  const auto& blocks = proc.stack.blocks;
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
    const Block& block = **it;
    bool found = block.kind == kBlockData && DARowCount(block.rows) > 0 &&
                 ResolveColumn(proc, block, name, number, nameMode, out);
    if (!found) found = ResolveVariable(block, name, number, nameMode, out);
    if (found) {
      TRACE(proc, "%s ", block.name.c_str());
      return true;
    }
  }
  std::string key(name.substr(0, name.find('\0')));
  if (const char* value = std::getenv(key.c_str())) {
    out.append(value);
    TRACE(proc, "SYS");
    return true;
  }
  return false;
}

Block* BlockReturnTarget(Process& proc) {
  const auto& blocks = proc.stack.blocks;
  auto it = blocks.rbegin();
  while (it != blocks.rend() && (*it)->kind != kBlockFunction) ++it;
  if (it == blocks.rend()) return nullptr;
  for (++it; it != blocks.rend(); ++it) {
    if ((*it)->kind != kBlockData) {
      Trace(proc, "Return bloc %s\n", (*it)->name.c_str());
      return it->get();
    }
  }
  return nullptr;
}

}  // namespace kwl
