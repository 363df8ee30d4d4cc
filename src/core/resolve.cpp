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

// The column of a result block that answers to `name` (by number or exact name), or -1.
int ColumnOf(const Block& block, std::string_view name, int32_t number) {
  if (block.kind != kBlockData || DARowCount(block.rows) == 0) return -1;
  int columns = DAColumnCount(block.rows);
  int column = -1;
  if (number > 0) {
    if (number <= columns) column = number - 1;
  } else if (!DAFindColumn(block.rows, name, &column)) {
    column = -1;
  }
  return column;
}

// The variable of a block that answers to `name` (by position or name), or null.
Variable* VariableOf(const Block& block, std::string_view name, int32_t number) {
  Variable* var = number > 0 ? block.vars.Nth(static_cast<size_t>(number - 1)) : nullptr;
  return var ? var : block.vars.Find(name);
}

}  // namespace

bool ResolveName(Process& proc, std::string_view name, bool nameMode, std::string& out) {
  TRACE(proc, "VAR %.*s ", static_cast<int>(name.size()), name.data());
  int32_t number = LeadingNumber(name);
  const auto& blocks = proc.stack.blocks;
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
    const Block& block = **it;
    bool found = true;
    if (int column = ColumnOf(block, name, number); column >= 0) {
      if (nameMode)
        out.append(block.rows.columns[static_cast<size_t>(column)].name);
      else
        AppendCell(proc, block.rows, block.currentRow, column, out);
    } else if (Variable* var = VariableOf(block, name, number)) {
      out.append(nameMode ? var->name : VarText(*var));
    } else {
      found = false;
    }
    if (found) {
      TRACE(proc, "%s ", block.name.c_str());
      return true;
    }
  }
  if (const char* value = Env(proc, name)) {
    out.append(value);
    TRACE(proc, "SYS");
    return true;
  }
  return false;
}

Variable* ResolveVariable(Process& proc, std::string_view name) {
  int32_t number = LeadingNumber(name);
  const auto& blocks = proc.stack.blocks;
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
    if (ColumnOf(**it, name, number) >= 0) return nullptr;
    if (Variable* var = VariableOf(**it, name, number)) return var;
  }
  return nullptr;
}

CachedName::CachedName(std::string_view text) : name(text), number(LeadingNumber(text)) {}

Variable* ResolveAndCache(Process& proc, CachedName& cached) {
  cached.var = nullptr;
  const auto& blocks = proc.stack.blocks;
  for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
    if (ColumnOf(**it, cached.name, cached.number) >= 0) break;
    if ((cached.var = VariableOf(**it, cached.name, cached.number))) break;
  }
  cached.shape = gScopeShape;
  return cached.var;
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
