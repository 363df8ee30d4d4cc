// DATable: a two-dimensional table of typed cells with named columns, for result rows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kwl {

struct Process;

constexpr uint16_t kCellNull = 4;  // an SQL NULL or an empty cell

struct DACell {
  uint32_t length = 0;
  uint16_t kind = 0;
  uint32_t offset = 0;
};

struct DAColumn {
  std::string name;  // at most 63 characters
  int32_t length = 0;
  int32_t kind = 0;
};

// Cells are stored row after row: cell (row, column) is entry row * columns + column.
struct DATable {
  std::vector<DACell> cells;
  std::vector<DAColumn> columns;
  std::string pool;      // the bytes of every cell
  std::string nullText;  // at most 11 characters
};

bool DAAddColumn(DATable& table, std::string_view name, int32_t kind, int32_t length);
bool DAAppendItem(DATable& table, std::string_view data, uint16_t kind);
bool DASetItem(DATable& table, int64_t row, int64_t column, std::string_view data, uint16_t kind);
bool DAFindColumn(const DATable& table, std::string_view name, int* index, int32_t* kind = nullptr,
                  int32_t* length = nullptr);
// Name of column `index`; the null text and false past the last column.
bool DAGetColumn(const DATable& table, int index, std::string* name, int32_t* kind = nullptr,
                 int32_t* length = nullptr);

struct DAItem {
  std::string_view bytes;  // valid until the table changes
  int32_t columnKind = 99;
  uint16_t cellKind = 0;
};
// The cell at (row, column); nothing when it is empty or missing.
std::optional<DAItem> DAGetItem(const DATable& table, int64_t row, int64_t column);

inline int DAColumnCount(const DATable& table) {
  return static_cast<int>(table.columns.size());
}
int64_t DARowCount(const DATable& table);
void DASetNullText(DATable& table, std::string_view text);

// Puts an item into the named column of `row`, adding the column when it is
// missing. The cell is NULL (kind 4) when it begins with the table's null
// text, or, without a null text, when it is empty.
bool DAPutItemByName(Process& proc, DATable& table, int64_t row, std::string_view columnName,
                     int32_t columnKind, std::string_view data);

}  // namespace kwl
