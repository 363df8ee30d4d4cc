#include "runtime/sessions.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "core/trace.h"
#include "runtime/cookies.h"
#include "runtime/keyed_code.h"
#include "runtime/session_file.h"

namespace kwl {

namespace {

// The key of KeyedCode for session ids.
constexpr unsigned char kSessionKey[16] = {0x4b, 0x17, 0xa3, 0x5e, 0x90, 0x2c, 0xd1, 0x68,
                                           0x0f, 0xb4, 0x73, 0xe9, 0x36, 0xc5, 0x81, 0x1a};
constexpr const char* kStampName = "kwltimestamp";

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() { Close(); }
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }
  // False when the close reports a failed write.
  bool Close() {
    if (fd_ < 0) return true;
    int result = ::close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_;
};

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

bool FileExists(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0;
}

bool ReadAll(int fd, std::string* bytes) {
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) return true;
    if (n < 0) return false;
    bytes->append(buffer, static_cast<size_t>(n));
  }
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// A number no other process can foresee: the id must not be guessable.
int32_t UnpredictableNumber(Process& proc) {
  int32_t value = 0;
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) == sizeof value) return value & 0x7fffffff;
  return ProcessRandom(proc);
}

// Reads the session file and marks it used now (its access time kept).
bool ReadAndTouch(const std::string& path, std::string* bytes) {
  Fd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.ok()) return false;
  const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
  (void)futimens(file.get(), times);
  return ReadAll(file.get(), bytes);
}

// A new file of its own beside `path`; writers never share one.
int CreateTemporary(Process& proc, const std::string& path, std::string* temp) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    *temp = path + "." + std::to_string(getpid()) + "." + std::to_string(UnpredictableNumber(proc));
    int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Writes a complete new file beside `path` and renames it over `path`: a
// reader opening the file at any moment gets a whole old or a whole new
// one, and a write that fails half-way leaves the old file as it was.
bool ReplaceFile(Process& proc, const std::string& path, std::string_view bytes) {
  std::string temp;
  Fd out(CreateTemporary(proc, path, &temp));
  if (!out.ok()) return false;
  bool written = WriteAll(out.get(), bytes);
  written = out.Close() && written;
  if (written && std::rename(temp.c_str(), path.c_str()) == 0) return true;
  ::unlink(temp.c_str());
  return false;
}

// Writers of one session queue on an exclusive lock of its file.
bool WriteSessionFile(Process& proc, const std::string& path, std::string_view bytes) {
  Fd lock(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
  if (!lock.ok()) {
    Trace(proc, "Can't write session file !\n");
    return false;
  }
  if (flock(lock.get(), LOCK_EX) != 0) Trace(proc, "Can't lock session file !\n");
  bool written = ReplaceFile(proc, path, bytes);
  if (!written) Trace(proc, "Can't write session file !\n");
  if (flock(lock.get(), LOCK_UN) == 0) {
    Trace(proc, "Session file %s unlocked\n", path.c_str());
  } else {
    Trace(proc, "Can't unlock session file !\n");
  }
  return written;
}

bool IsRegularFile(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

bool IsSessionId(std::string_view id) {
  if (id.size() != kSessionIdLength) return false;
  for (char c : id) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

std::string SessionPath(const SessionStore& store, std::string_view id) {
  return store.dir + "/" + std::string(id);
}

void SessionNewId(Process& proc, Variable& id) {
  std::string text = std::to_string(std::time(nullptr)) + std::to_string(UnpredictableNumber(proc));
  if (const char* address = std::getenv("REMOTE_ADDR")) text += address;
  std::string key(reinterpret_cast<const char*>(kSessionKey), sizeof kSessionKey);
  VarSet(id, KeyedCode(text, key));
  std::fprintf(proc.out, "Set-Cookie: %s=%s; path=/\n", id.name.c_str(), VarText(id).c_str());
}

void SessionLoad(Process& proc, const SessionStore& store, Variable& id, Scope& session) {
  std::string cookie = ReadCookie(id.name);
  if (!IsSessionId(cookie)) {
    if (!cookie.empty()) Trace(proc, "Session id refused\n");
    do {
      SessionNewId(proc, id);
    } while (FileExists(SessionPath(store, VarText(id))));
    return;
  }
  VarSet(id, cookie);
  std::string path = SessionPath(store, cookie);
  if (SessionExpired(store, path)) return;
  std::string bytes;
  ReadAndTouch(path, &bytes);
  SessionDecode(proc, bytes, session);
}

bool SessionSave(Process& proc, const SessionStore& store, Variable& id, const Scope& session) {
  ::mkdir(store.dir.c_str(), 0777);
  bool written = false;
  // A page may have changed velsessionid; it still has to be a plain file name.
  if (IsSessionId(VarText(id))) {
    written = WriteSessionFile(proc, SessionPath(store, VarText(id)), SessionEncode(proc, session));
  } else {
    Trace(proc, "Can't write session file !\n");
  }
  SessionSweepIfDue(store);
  return written;
}

bool SessionExpired(const SessionStore& store, const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return true;
  return std::time(nullptr) - status.st_mtime > static_cast<std::time_t>(store.timeoutMinutes) * 60;
}

void SessionSweepIfDue(const SessionStore& store) {
  struct stat status;
  if (stat((store.dir + "/" + kStampName).c_str(), &status) == 0) {
    std::time_t age = std::time(nullptr) - status.st_mtime;
    if (age >= 0 && age < kSweepInterval) return;
  }
  SessionSweep(store);
}

void SessionSweep(const SessionStore& store) {
  std::unique_ptr<std::FILE, FileCloser> stamp(
      std::fopen((store.dir + "/" + kStampName).c_str(), "w"));
  std::unique_ptr<DIR, DirCloser> dir(opendir(store.dir.c_str()));
  if (!dir) return;
  while (const dirent* entry = readdir(dir.get())) {
    std::string name = entry->d_name;
    if (name == "." || name == ".." || name == kStampName) continue;
    std::string path = store.dir + "/" + name;
    if (!SessionExpired(store, path) || !IsRegularFile(path)) continue;
    if (stamp) std::fprintf(stamp.get(), "End session %s\n", path.c_str());
    std::remove(path.c_str());
  }
}

}  // namespace kwl
