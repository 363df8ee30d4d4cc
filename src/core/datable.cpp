#include "core/datable.h"

#include <limits>

#include "core/scope.h"
#include "core/trace.h"

namespace kwl {

namespace {

// The pool is addressed with 32-bit offsets; refuse growth beyond that.
bool PoolAppend(DATable& table, std::string_view data, uint32_t* offset) {
  if (table.pool.size() + data.size() > std::numeric_limits<uint32_t>::max()) return false;
  *offset = static_cast<uint32_t>(table.pool.size());
  table.pool.append(data);
  return true;
}

// Moves the rows apart to make room for a new last column. Every complete
// row but the last gets an empty cell in the new column (the last one gets
// its cell from the next append); when a partial row follows, the last
// complete row is padded too and the partial row keeps its cells.
void RelayRows(DATable& table, size_t oldColumns) {
  size_t count = table.cells.size();
  size_t full = count / oldColumns;
  size_t partial = count % oldColumns;
  size_t padded = partial ? full : (full ? full - 1 : 0);
  if (padded == 0) return;
  std::vector<DACell> cells(count + padded, DACell{0, kCellNull, 0});
  for (size_t i = 0; i < count; ++i) {
    cells[(i / oldColumns) * (oldColumns + 1) + i % oldColumns] = table.cells[i];
  }
  table.cells = std::move(cells);
}

}  // namespace

bool DAAddColumn(DATable& table, std::string_view name, int32_t kind, int32_t length) {
  ScopeShapeChanged();
  size_t oldColumns = table.columns.size();
  DAColumn column;
  column.name.assign(name.substr(0, 63));
  column.kind = kind;
  column.length = length;
  table.columns.push_back(std::move(column));
  if (oldColumns > 0 && !table.cells.empty()) RelayRows(table, oldColumns);
  return true;
}

bool DAAppendItem(DATable& table, std::string_view data, uint16_t kind) {
  ScopeShapeChanged();
  DACell cell;
  cell.length = static_cast<uint32_t>(data.size());
  cell.kind = kind;
  if (!data.empty() && !PoolAppend(table, data, &cell.offset)) return false;
  if (data.empty()) cell.offset = static_cast<uint32_t>(table.pool.size());
  table.cells.push_back(cell);
  return true;
}

bool DASetItem(DATable& table, int64_t row, int64_t column, std::string_view data, uint16_t kind) {
  ScopeShapeChanged();
  int64_t columns = static_cast<int64_t>(table.columns.size());
  if (row < 0 || column < 0 || columns == 0 || column >= columns) return false;
  // Rows are filled in order: a row far beyond the table is a caller's error.
  if (row > static_cast<int64_t>(table.cells.size()) + 1) return false;
  size_t index = static_cast<size_t>(row * columns + column);
  if (index >= table.cells.size()) table.cells.resize(index + 1, DACell{0, kCellNull, 0});
  DACell& cell = table.cells[index];
  if (cell.length >= data.size() && cell.kind != kCellNull) {
    table.pool.replace(cell.offset, data.size(), data);
  } else if (!PoolAppend(table, data, &cell.offset)) {
    return false;
  }
  cell.length = static_cast<uint32_t>(data.size());
  cell.kind = kind;
  return true;
}

bool DAFindColumn(const DATable& table, std::string_view name, int* index, int32_t* kind,
                  int32_t* length) {
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].name == name) {
      if (index) *index = static_cast<int>(i);
      if (kind) *kind = table.columns[i].kind;
      if (length) *length = table.columns[i].length;
      return true;
    }
  }
  return false;
}

bool DAGetColumn(const DATable& table, int index, std::string* name, int32_t* kind,
                 int32_t* length) {
  if (index < 0 || static_cast<size_t>(index) >= table.columns.size()) {
    if (name) *name = table.nullText;
    return false;
  }
  const DAColumn& column = table.columns[static_cast<size_t>(index)];
  if (name) *name = column.name;
  if (kind) *kind = column.kind;
  if (length) *length = column.length;
  return true;
}

std::optional<DAItem> DAGetItem(const DATable& table, int64_t row, int64_t column) {
  int64_t columns = static_cast<int64_t>(table.columns.size());
  if (row < 0 || column < 0 || (columns > 0 && column >= columns)) return std::nullopt;
  if (row > static_cast<int64_t>(table.cells.size())) return std::nullopt;
  size_t index = static_cast<size_t>(row * (columns > 0 ? columns : 1) + column);
  if (index >= table.cells.size()) return std::nullopt;
  const DACell& cell = table.cells[index];
  if (cell.length == 0) return std::nullopt;
  DAItem item;
  item.bytes = std::string_view(table.pool).substr(cell.offset, cell.length);
  item.columnKind = columns > 0 ? table.columns[static_cast<size_t>(column)].kind : 99;
  item.cellKind = cell.kind;
  return item;
}

int64_t DARowCount(const DATable& table) {
  size_t columns = table.columns.size();
  if (columns == 0) return 0;
  return static_cast<int64_t>((table.cells.size() + columns - 1) / columns);
}

void DASetNullText(DATable& table, std::string_view text) {
  table.nullText.assign(text.substr(0, 11));
}

bool DAPutItemByName(Process& proc, DATable& table, int64_t row, std::string_view columnName,
                     int32_t columnKind, std::string_view data) {
  uint16_t kind = 0;
  if (!table.nullText.empty()) {
    if (data.substr(0, table.nullText.size()) == table.nullText) kind = kCellNull;
  } else if (data.empty()) {
    kind = kCellNull;
  }
  // Column names are kept to 63 characters; look the stored form up.
  columnName = columnName.substr(0, 63);
  int index = 0;
  if (DAFindColumn(table, columnName, &index)) return DASetItem(table, row, index, data, kind);
  DAAddColumn(table, columnName, columnKind, static_cast<int32_t>(data.size()));
  if (row != 0) Trace(proc, "DAAddColumn with row = %d !!!!!!!\n", static_cast<int>(row));
  // Set rather than append: an appended cell lands in the new column of the
  // last complete row only, not in `row` when that row is partial or not yet begun.
  if (DASetItem(table, row, DAColumnCount(table) - 1, data, kind)) return true;
  Trace(proc, "DAAppendItem ERROR !!!!!!!\n");
  return false;
}

}  // namespace kwl
