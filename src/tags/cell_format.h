// Result cells as text or integers, by the kind of their column.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/datable.h"
#include "core/process.h"

namespace kwl {

constexpr int kColumnByte = 1;
constexpr int kColumnText = 2;
constexpr int kColumnText4 = 4;
constexpr int kColumnBlob = 5;
constexpr int kColumnInt16 = 6;
constexpr int kColumnInt32 = 7;
constexpr int kColumnDate = 8;
constexpr int kColumnText10 = 10;
constexpr int kColumnFloat = 16;
constexpr int kColumnInt64 = 28;
constexpr int kColumnFourChars = 128;

// Appends the text of cell (row, column): `velnull` for an SQL NULL cell,
// nothing for an empty one, else the bytes rendered by the column's kind.
// `param` is the decimals of a float column or the layout number of a date.
// False, with nothing appended, for a kind that is not rendered (blobs).
bool CellText(Process& proc, const DATable& table, int64_t row, int64_t column, int param,
              std::string& out);

// The cell read as an integer: 0 for a NULL or empty cell; `out` is left
// alone for a kind that has no integer reading. False when it is left alone.
bool CellInt(Process& proc, const DATable& table, int64_t row, int64_t column, int32_t& out);

// Appends the non-empty bytes of a cell rendered by their column kind; false
// for a kind that is not rendered. Has the shape of Process::cellText.
bool RenderCellBytes(Process& proc, std::string_view bytes, int columnKind, int param,
                     std::string& out);

}  // namespace kwl
