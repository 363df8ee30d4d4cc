// Files a page opened, by the small integer handles that pages keep in variables.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>

namespace kwl {

// Handles count up from 1 and are never given out twice, so a handle kept
// after its file was closed, or made up by a page, finds nothing rather
// than someone else's file.
class FileTable {
 public:
  enum class CloseResult { kClosed, kUnknown, kBusy };

  // Takes the stream over; 0 when no handle is left.
  int32_t Add(std::FILE* stream);
  // A handle that names no stream (what a file test hands back).
  int32_t Reserve();
  // The open stream of a handle, or null.
  std::FILE* Find(int32_t handle) const;
  CloseResult Close(int32_t handle);
  // A held stream is in use as the page's output and cannot be closed.
  void Hold(int32_t handle);
  void Release(int32_t handle);
  size_t OpenCount() const { return open_.size(); }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  struct Entry {
    std::unique_ptr<std::FILE, Closer> stream;
    int holds = 0;
  };
  std::map<int32_t, Entry> open_;
  int32_t next_ = 1;
};

}  // namespace kwl
