#include "text/number_list.h"

#include "text/decimal.h"

namespace kwl {

std::vector<int32_t> ReadNumberList(std::string_view text, size_t count, bool repeatSingle) {
  std::vector<int32_t> values(count, 0);
  size_t read = 0;
  size_t pos = 0;
  while (read < count && (pos = text.find_first_not_of(", ", pos)) != std::string_view::npos) {
    size_t end = text.find_first_of(", ", pos);
    if (end == std::string_view::npos) end = text.size();
    values[read++] = ParseDecimal(text.substr(pos, end - pos));
    pos = end;
  }
  if (repeatSingle && read == 1 && count > 1) values[1] = values[0];
  return values;
}

}  // namespace kwl
