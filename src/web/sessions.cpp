#include "web/sessions.h"

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
#include "text/keyed_code.h"
#include "web/cookies.h"
#include "web/session_file.h"

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

// `size` is what fstat gave: one read ends a file of that size or less (a
// regular file reads short only at its end).
bool ReadAll(int fd, std::string* bytes, size_t size) {
  if (size < 65536) {
    bytes->resize(size + 1);
    ssize_t n = ::read(fd, bytes->data(), size + 1);
    if (n < 0) return false;
    bytes->resize(static_cast<size_t>(n));
    if (static_cast<size_t>(n) <= size) return true;
  }
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

// Reads the locked session file and marks it used now (its access time kept).
bool ReadAndTouch(int fd, std::string* bytes, size_t size) {
  const struct timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
  (void)futimens(fd, times);
  return ReadAll(fd, bytes, size);
}

bool SameFile(int fd, const std::string& path, struct stat* opened) {
  struct stat named;
  return fstat(fd, opened) == 0 && stat(path.c_str(), &named) == 0 &&
         opened->st_dev == named.st_dev && opened->st_ino == named.st_ino;
}

// Waits for the exclusive lock of the session file at `path`. A missing file
// (and its directory) is made so that there is something to lock; the lock
// removes it again unless a save keeps it. A writer replaces the file by
// renaming a new one over it, so a lock won on a file that is no longer at
// `path` is given up and taken again. `opened` receives the status of the
// locked file (st_ino 0 when no lock was won).
SessionLock LockSessionFile(Process& proc, const std::string& dir, const std::string& path,
                            struct stat* opened) {
  opened->st_ino = 0;
  for (int attempt = 0; attempt < 64; ++attempt) {
    bool created = false;
    int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
      ::mkdir(dir.c_str(), 0777);
      fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      created = fd >= 0;
      if (fd < 0 && (errno == EEXIST || errno == ENOENT)) continue;
    }
    if (fd < 0) return SessionLock();
    SessionLock lock(fd, path, created ? dir : std::string());
    if (flock(fd, LOCK_EX) != 0) {
      Trace(proc, "Can't lock session file !\n");
      return lock;
    }
    if (SameFile(fd, path, opened)) return lock;
    opened->st_ino = 0;
    lock.Keep();  // what is at `path` now is another run's file
  }
  return SessionLock();
}

// A new file of its own beside `path`; writers never share one: the name
// holds the process and a count of its own, and a name some earlier process
// of the same number left behind is passed over.
int CreateTemporary(const std::string& path, std::string* temp) {
  // The serving thread of a process (a worker's starts after its fork).
  static thread_local const pid_t self = getpid();
  static thread_local uint32_t made = 0;
  for (int attempt = 0; attempt < 64; ++attempt) {
    *temp = path + "." + std::to_string(self) + "." + std::to_string(++made);
    int fd = ::open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Writes a complete new file beside `path` and renames it over `path`: a
// reader opening the file at any moment gets a whole old or a whole new
// one, and a write that fails half-way leaves the old file as it was.
bool ReplaceFile(const std::string& path, std::string_view bytes) {
  std::string temp;
  Fd out(CreateTemporary(path, &temp));
  if (!out.ok()) return false;
  bool written = WriteAll(out.get(), bytes);
  written = out.Close() && written;
  if (written && std::rename(temp.c_str(), path.c_str()) == 0) return true;
  ::unlink(temp.c_str());
  return false;
}

// Replaces the session file while `lock` holds it, then releases the lock.
// The file the lock read holds these very bytes when the page set its
// variables to what they were: it is kept as it is.
bool WriteSessionFile(Process& proc, const std::string& path, std::string_view bytes,
                      SessionLock& lock) {
  if (lock.fd() < 0) {
    Trace(proc, "Can't write session file !\n");
    return false;
  }
  bool written = lock.Unchanged(bytes) || ReplaceFile(path, bytes);
  if (written) lock.Keep();
  if (!written) Trace(proc, "Can't write session file !\n");
  if (lock.Release()) {
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

bool Expired(const SessionStore& store, std::time_t modified) {
  return std::time(nullptr) - modified > static_cast<std::time_t>(store.timeoutMinutes) * 60;
}

}  // namespace

SessionLock& SessionLock::operator=(SessionLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    madeIn_ = std::move(other.madeIn_);
    loaded_ = std::move(other.loaded_);
    read_ = std::exchange(other.read_, false);
  }
  return *this;
}

bool SessionLock::Release() {
  if (fd_ < 0) return true;
  if (!madeIn_.empty()) {
    ::unlink(path_.c_str());
    ::rmdir(madeIn_.c_str());  // only when nothing else is in it
  }
  // Closing the only descriptor of the locked file releases its lock.
  bool unlocked = ::close(fd_) == 0;
  fd_ = -1;
  return unlocked;
}

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
  if (const char* address = Env(proc, "REMOTE_ADDR")) text += address;
  std::string key(reinterpret_cast<const char*>(kSessionKey), sizeof kSessionKey);
  VarSet(id, KeyedCode(text, key));
  std::fprintf(proc.out, "Set-Cookie: %s=%s; path=/\n", id.name.c_str(), VarText(id).c_str());
}

bool SessionIdFromCookie(Process& proc, Variable& id,
                         const std::function<bool(const std::string&)>& taken) {
  std::string cookie = ReadCookie(proc, id.name);
  if (IsSessionId(cookie)) {
    VarSet(id, cookie);
    return true;
  }
  if (!cookie.empty()) Trace(proc, "Session id refused\n");
  do {
    SessionNewId(proc, id);
  } while (taken(VarText(id)));
  return false;
}

SessionLock SessionLoad(Process& proc, const SessionStore& store, Variable& id, Scope& session) {
  auto taken = [&](const std::string& name) { return FileExists(SessionPath(store, name)); };
  if (!SessionIdFromCookie(proc, id, taken)) return SessionLock();
  std::string path = SessionPath(store, VarText(id));
  struct stat status;
  SessionLock lock = LockSessionFile(proc, store.dir, path, &status);
  // Judged on the locked file: another run may have saved it while this one
  // waited. A file the lock just made is new and empty.
  if (lock.fd() < 0 || (status.st_ino == 0 && fstat(lock.fd(), &status) != 0) ||
      Expired(store, status.st_mtime))
    return lock;
  std::string bytes;
  if (ReadAndTouch(lock.fd(), &bytes, static_cast<size_t>(status.st_size))) lock.Loaded(bytes);
  SessionDecode(proc, bytes, session);
  return lock;
}

bool SessionSave(Process& proc, const SessionStore& store, Variable& id, const Scope& session,
                 SessionLock& lock) {
  bool written = false;
  // A page may have changed velsessionid; it still has to be a plain file name.
  if (IsSessionId(VarText(id))) {
    std::string path = SessionPath(store, VarText(id));
    struct stat ignored;
    if (!lock.Holds(path)) lock = LockSessionFile(proc, store.dir, path, &ignored);
    written = WriteSessionFile(proc, path, SessionEncode(proc, session), lock);
  } else {
    ::mkdir(store.dir.c_str(), 0777);
    Trace(proc, "Can't write session file !\n");
  }
  lock.Release();
  SessionSweepIfDue(store);
  return written;
}

bool SessionExpired(const SessionStore& store, const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) != 0 || Expired(store, status.st_mtime);
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
