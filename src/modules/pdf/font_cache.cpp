#include "modules/pdf/font_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace kwl {
namespace {

// A directory that exists (made when missing), is not a link, belongs to
// this user and is closed to everyone else.
bool PrivateDirectory(const std::string& path) {
  ::mkdir(path.c_str(), 0700);
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & 077) == 0;
}

// The kept file for `bytes`, named by their length and two checksums; none
// when the directory cannot be used.
std::optional<std::string> KeptPath(const std::string& bytes) {
  const char* tmp = std::getenv("TMPDIR");
  std::string dir =
      std::string(tmp && *tmp == '/' ? tmp : "/tmp") + "/kwl-" + std::to_string(::geteuid());
  if (!PrivateDirectory(dir) || !PrivateDirectory(dir += "/fonts")) return std::nullopt;
  const auto* data = reinterpret_cast<const Bytef*>(bytes.data());
  auto size = static_cast<uInt>(bytes.size());
  char name[64];
  std::snprintf(name, sizeof name, "/%zu-%08lx-%08lx.z", bytes.size(),
                crc32(crc32(0, nullptr, 0), data, size),
                adler32(adler32(0, nullptr, 0), data, size));
  return dir + name;
}

}  // namespace

bool FindDeflatedFont(const std::string& bytes, std::string& packed) {
  if (bytes.empty() || bytes.size() > UINT32_MAX) return false;
  std::optional<std::string> path = KeptPath(bytes);
  if (!path) return false;
  int fd = ::open(path->c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  bool read_whole = false;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      static_cast<uint64_t>(st.st_size) < bytes.size()) {
    packed.resize(static_cast<size_t>(st.st_size));
    read_whole = ::read(fd, packed.data(), packed.size()) == static_cast<ssize_t>(packed.size());
  }
  ::close(fd);
  if (!read_whole) return false;
  // Whole, and inflating to exactly the font's bytes.
  std::string check(bytes.size(), '\0');
  uLongf out = check.size();
  uLong in = packed.size();
  return uncompress2(reinterpret_cast<Bytef*>(check.data()), &out,
                     reinterpret_cast<const Bytef*>(packed.data()), &in) == Z_OK &&
         out == bytes.size() && in == packed.size() && check == bytes;
}

void KeepDeflatedFont(const std::string& bytes, const std::string& packed) {
  std::optional<std::string> path = KeptPath(bytes);
  if (!path) return;
  std::string temp = *path + "." + std::to_string(::getpid()) + ".tmp";
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return;
  bool written = ::write(fd, packed.data(), packed.size()) == static_cast<ssize_t>(packed.size());
  written = ::close(fd) == 0 && written;
  if (!written || std::rename(temp.c_str(), path->c_str()) != 0) ::unlink(temp.c_str());
}

}  // namespace kwl
