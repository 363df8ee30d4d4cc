#include "core/file_table.h"

#include <limits>

namespace kwl {

int32_t FileTable::Reserve() {
  if (next_ == std::numeric_limits<int32_t>::max()) return 0;
  return next_++;
}

int32_t FileTable::Add(std::FILE* stream) {
  int32_t handle = Reserve();
  if (handle == 0) {
    std::fclose(stream);
    return 0;
  }
  open_[handle].stream.reset(stream);
  return handle;
}

std::FILE* FileTable::Find(int32_t handle) const {
  auto it = open_.find(handle);
  return it == open_.end() ? nullptr : it->second.stream.get();
}

FileTable::CloseResult FileTable::Close(int32_t handle) {
  auto it = open_.find(handle);
  if (it == open_.end()) return CloseResult::kUnknown;
  if (it->second.holds > 0) return CloseResult::kBusy;
  open_.erase(it);
  return CloseResult::kClosed;
}

void FileTable::Hold(int32_t handle) {
  auto it = open_.find(handle);
  if (it != open_.end()) ++it->second.holds;
}

void FileTable::Release(int32_t handle) {
  auto it = open_.find(handle);
  if (it != open_.end() && it->second.holds > 0) --it->second.holds;
}

}  // namespace kwl
