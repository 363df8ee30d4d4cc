#include "tags/cell_format.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/scope.h"
#include "core/trace.h"

namespace kwl {

namespace {

constexpr int kMaxDecimals = 100;  // beyond this a float is all padding, at great cost
constexpr std::string_view kInvalid = "##invalid##";

template <typename T>
bool ReadScalar(std::string_view bytes, T& value) {
  if (bytes.size() < sizeof(T)) return false;
  std::memcpy(&value, bytes.data(), sizeof(T));
  return true;
}

bool ReadFloat(std::string_view bytes, double& value) {
  if (bytes.size() == sizeof(double)) return ReadScalar(bytes, value);
  float single;
  if (bytes.size() != sizeof(float) || !ReadScalar(bytes, single)) return false;
  value = single;
  return true;
}

struct CellDate {
  int16_t year, month, day, hour, minute, second;
};

void AppendFormat(std::string& out, const char* format, auto... args) {
  char text[128];
  int n = std::snprintf(text, sizeof text, format, args...);
  if (n > 0) out.append(text, std::min<size_t>(static_cast<size_t>(n), sizeof text - 1));
}

void AppendDate(const CellDate& d, int layout, std::string& out) {
  int base = layout >= 11 && layout <= 14 ? layout - 10 : layout;
  switch (base) {
    case 1:
      AppendFormat(out, "%02d/%02d/%d", d.day, d.month, d.year);
      break;
    case 2:
      AppendFormat(out, "%d/%d/%02d", d.day, d.month, d.year % 100);
      break;
    case 3:
      AppendFormat(out, "%02d/%02d/%d", d.month, d.day, d.year);
      break;
    case 4:
      AppendFormat(out, "%d/%02d/%02d", d.year, d.month, d.day);
      break;
    default:
      AppendFormat(out, "%d/%d/%d", d.day, d.month, d.year);
      break;
  }
  if (layout > 9) AppendFormat(out, " %02d:%02d:%02d", d.hour, d.minute, d.second);
}

void AppendFloat(double value, int decimals, std::string& out) {
  decimals = std::min(decimals, kMaxDecimals);
  // Enough room for the largest double with the most decimals.
  char text[320 + kMaxDecimals];
  int n = std::snprintf(text, sizeof text, "%.*f", decimals, value);
  if (n > 0) out.append(text, std::min<size_t>(static_cast<size_t>(n), sizeof text - 1));
}

// Renders the fixed-size kinds; false when the cell is too short for its kind.
bool RenderNumber(std::string_view bytes, int kind, int param, std::string& out) {
  int16_t i16;
  int32_t i32;
  int64_t i64;
  uint32_t u32;
  double real;
  CellDate date;
  switch (kind) {
    case kColumnInt16:
      if (!ReadScalar(bytes, i16)) return false;
      AppendFormat(out, "%d", i16);
      return true;
    case kColumnInt32:
      if (!ReadScalar(bytes, i32)) return false;
      AppendFormat(out, "%d", i32);
      return true;
    case kColumnInt64:
      if (!ReadScalar(bytes, i64)) return false;
      AppendFormat(out, "%lld", static_cast<long long>(i64));
      return true;
    case kColumnDate:
      if (!ReadScalar(bytes, date)) return false;
      AppendDate(date, param, out);
      return true;
    case kColumnFloat:
      if (!ReadFloat(bytes, real)) return false;
      AppendFloat(real, param, out);
      return true;
    default:  // four characters, most significant first
      if (!ReadScalar(bytes, u32)) return false;
      for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(u32 >> shift);
      return true;
  }
}

// The cell entry at (row, column), or null when there is none.
const DACell* CellAt(const DATable& table, int64_t row, int64_t column) {
  auto columns = static_cast<int64_t>(table.columns.size());
  auto cells = static_cast<int64_t>(table.cells.size());
  if (row < 0 || column < 0 || (columns > 0 && column >= columns)) return nullptr;
  if (row >= cells || column >= cells) return nullptr;  // and the product cannot overflow
  int64_t index = row * (columns > 0 ? columns : 1) + column;
  return index < cells ? &table.cells[static_cast<size_t>(index)] : nullptr;
}

bool IsNullCell(const DACell* cell) {
  return cell && (cell->kind & kCellNull) != 0;
}

void AppendNullText(Process& proc, std::string& out) {
  Block* global = BlockTopOfKind(proc.stack, kBlockGlobal);
  Variable* null = global ? global->vars.Find("velnull") : nullptr;
  if (null) out.append(VarText(*null));
}

// A double as an int32, saturating; NaN reads as 0.
int32_t TruncateToInt(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return 2147483647;
  if (value <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(value);
}

bool ReadCellInt(std::string_view bytes, int kind, int32_t& out) {
  int16_t i16;
  double real;
  CellDate date;
  switch (kind) {
    case kColumnByte:
      out = static_cast<uint8_t>(bytes[0]);
      return true;
    case kColumnText:
    case kColumnText4:
      out = ParseDecimal(bytes.substr(0, 255));
      return true;
    case kColumnInt16:
      if (!ReadScalar(bytes, i16)) return false;
      out = i16;
      return true;
    case kColumnInt32:
    case kColumnInt64:
    case kColumnFourChars:
      return ReadScalar(bytes, out);
    case kColumnDate:
      if (!ReadScalar(bytes, date)) return false;
      out = date.year * 10000 + date.month * 100 + date.day;
      return true;
    case kColumnFloat:
      if (!ReadFloat(bytes, real)) return false;
      out = TruncateToInt(real);
      return true;
    default:
      return false;
  }
}

}  // namespace

bool RenderCellBytes(Process& proc, std::string_view bytes, int columnKind, int param,
                     std::string& out) {
  (void)proc;
  if (bytes.empty()) return true;
  switch (columnKind) {
    case kColumnByte:
      AppendFormat(out, "%d", static_cast<uint8_t>(bytes[0]));
      return true;
    case kColumnText:
    case kColumnText4:
    case kColumnText10:
      out.append(bytes);
      return true;
    case kColumnInt16:
    case kColumnInt32:
    case kColumnDate:
    case kColumnFloat:
    case kColumnInt64:
    case kColumnFourChars:
      // A cell too short for its kind is shown as such, never read past its end.
      if (!RenderNumber(bytes, columnKind, param, out)) out.append(kInvalid);
      return true;
    default:
      return false;
  }
}

bool CellText(Process& proc, const DATable& table, int64_t row, int64_t column, int param,
              std::string& out) {
  const DACell* cell = CellAt(table, row, column);
  if (!cell) return true;
  if (IsNullCell(cell)) {
    TRACE(proc, "DATA(%d,%d) IS NULL\n", static_cast<int>(row), static_cast<int>(column));
    AppendNullText(proc, out);
    return true;
  }
  auto item = DAGetItem(table, row, column);
  if (!item) return true;
  return RenderCellBytes(proc, item->bytes, item->columnKind, param, out);
}

bool CellInt(Process& proc, const DATable& table, int64_t row, int64_t column, int32_t& out) {
  const DACell* cell = CellAt(table, row, column);
  auto item = cell && !IsNullCell(cell) ? DAGetItem(table, row, column) : std::nullopt;
  if (!item) {
    TRACE(proc, "VAR (%d,%d) IS NULL\n", static_cast<int>(row), static_cast<int>(column));
    out = 0;
    return true;
  }
  return ReadCellInt(item->bytes, item->columnKind, out);
}

}  // namespace kwl
