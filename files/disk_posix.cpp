// The disk unit on POSIX systems: open with O_EXCL, fsync, rename or a
// rename that refuses to replace, fsync of the folder.
#include "files/disk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "files/errors.h"

namespace zr {

namespace {

// What an errno from writing a file means for the user.
int ErrorFor(int error)
{
  switch (error) {
  case 0:
    return ERR_NONE;
  case ENOSPC:
  case EDQUOT:
  case EFBIG:
    return ERR_DISK_FULL;
  case EACCES:
  case EPERM:
  case ENOENT:
  case ENOTDIR:
    return ERR_NOT_WRITABLE;
  case EROFS:
    return ERR_WRITE_PROTECTED;
  case ENAMETOOLONG:
    return ERR_PATH_TOO_LONG;
  case EISDIR:
    return ERR_NAME_IS_FOLDER;
  case EEXIST:
  case ENOTEMPTY:
    return ERR_FILE_EXISTS;
  case ETXTBSY:
    return ERR_FILE_IN_USE;
  default:
    return ERR_WRITE_FAILED;
  }
}

#if defined(SYS_renameat2)
// Linux: the kernel's own rename that refuses to replace (errno, 0 when done).
int RenameAt2NoReplace(const char* from, const char* to)
{
  constexpr unsigned NOREPLACE = 1; // RENAME_NOREPLACE
  return syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, NOREPLACE) == 0 ? 0 : errno;
}
#else
int RenameAt2NoReplace(const char*, const char*)
{
  return ENOSYS;
}
#endif

// Puts `from` at `to` unless something is there already (errno, 0 when done).
int RenameNoReplace(const char* from, const char* to)
{
  const int error = RenameAt2NoReplace(from, to);
  if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
    return error;
  // The file system refuses renameat2: a hard link fails just as surely on
  // an existing name, and the temporary name goes afterwards.
  if (link(from, to) == 0) {
    unlink(from);
    return 0;
  }
  const int linkError = errno;
  if (linkError != EPERM && linkError != EOPNOTSUPP && linkError != EMLINK)
    return linkError;
  // No hard links either (FAT): look, then rename, the best such a file
  // system allows.
  struct stat st {};
  if (lstat(to, &st) == 0)
    return EEXIST;
  return rename(from, to) == 0 ? 0 : errno;
}

int WriteAll(int fd, const std::uint8_t* bytes, std::size_t size)
{
  while (size > 0) {
    const ssize_t n = write(fd, bytes, size);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return n < 0 ? errno : ENOSPC;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

// The process's umask. Reading it means setting it for a moment; that is
// done once, before this program writes any file.
mode_t CreationMask()
{
  static const mode_t mask = [] {
    const mode_t m = umask(077);
    umask(m);
    return m;
  }();
  return mask;
}

// Creates a new temporary file in `folder` (errno, 0 when done).
int CreateTemporary(const std::string& folder, std::string& path, int& fd)
{
  // Names cannot run out: another try gets another counter and random part.
  for (int attempt = 0; attempt < 10000; ++attempt) {
    path = folder + "/" + TemporaryFileName(static_cast<unsigned long>(getpid()));
    // Private from the start: the bytes are nobody else's business while
    // they are written; a replaced file's own mode is put on afterwards.
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0)
      return 0;
    if (errno != EEXIST && errno != EINTR)
      return errno;
  }
  return EEXIST;
}

// The temporary file's bytes and mode, on disk (errno, 0 when done).
int FillTemporary(int fd, const std::uint8_t* bytes, std::size_t size, const struct stat* replaced)
{
  int error = WriteAll(fd, bytes, size);
  // Whole now, and still under its temporary name: it gets the mode the
  // file will have, the replaced file's or what a new file gets here.
  const mode_t mode = replaced ? replaced->st_mode & 07777 : 0666 & ~CreationMask();
  if (error == 0 && fchmod(fd, mode) != 0)
    error = errno;
  if (error == 0 && fsync(fd) != 0)
    error = errno;
  if (close(fd) != 0 && error == 0)
    error = errno;
  return error;
}

void FlushFolder(const std::string& folder)
{
  // The rename is only on disk once the folder is; a file system that
  // cannot flush a folder (EINVAL) has nothing more to give.
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  fsync(fd);
  close(fd);
}

} // namespace

int WriteFileSafely(const std::string& target, const std::uint8_t* bytes, std::size_t size, bool replace)
{
  const std::string folder = FolderOf(target);
  struct stat existing {};
  const bool exists = lstat(target.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode))
    return ERR_NAME_IS_FOLDER;
  RemoveStaleTemporaryFiles(folder);

  std::string temporary;
  int fd = -1;
  int error = CreateTemporary(folder, temporary, fd);
  if (error != 0)
    return ErrorFor(error);
  // A replaced file keeps its permissions; a link is replaced, not followed.
  error = FillTemporary(fd, bytes, size, replace && exists && S_ISREG(existing.st_mode) ? &existing : nullptr);
  if (error == 0)
    error = replace ? (rename(temporary.c_str(), target.c_str()) == 0 ? 0 : errno)
                    : RenameNoReplace(temporary.c_str(), target.c_str());
  if (error != 0) {
    unlink(temporary.c_str());
    return ErrorFor(error);
  }
  FlushFolder(folder);
  return ERR_NONE;
}

namespace {

// Reads the open regular file `fd` whole, up to `limit` bytes.
ReadProblem ReadOpenFile(int fd, std::uint64_t limit, std::vector<std::uint8_t>& bytes)
{
  struct stat st {};
  if (fstat(fd, &st) != 0)
    return ReadProblem::Unreadable;
  if (!S_ISREG(st.st_mode))
    return ReadProblem::NotRegular;
  // The size the file claims decides the buffer: a sparse file of 100 GB is
  // refused here, before any memory is taken for it.
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > limit)
    return ReadProblem::TooLarge;
  bytes.assign(static_cast<std::size_t>(st.st_size), 0);
  std::size_t at = 0;
  while (at < bytes.size()) {
    const ssize_t n = read(fd, bytes.data() + at, bytes.size() - at);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return ReadProblem::Unreadable; // shorter than it said, or unreadable
    at += static_cast<std::size_t>(n);
  }
  return ReadProblem::None;
}

} // namespace

std::optional<std::vector<std::uint8_t>> ReadWholeFile(const std::string& path, std::uint64_t limit)
{
  // O_NONBLOCK: a FIFO under the name must not hang the program.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return std::nullopt;
  std::vector<std::uint8_t> bytes;
  const ReadProblem problem = ReadOpenFile(fd, limit, bytes);
  close(fd);
  if (problem != ReadProblem::None)
    return std::nullopt;
  return bytes;
}

FileBytes ReadEntry(const std::string& path, std::uint64_t limit)
{
  FileBytes file;
  // Looked at first without following a link, so that a device is never
  // opened at all; then opened without following one, and the open file
  // checked again (the name may have changed in between).
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0) {
    file.problem = errno == ENOENT || errno == ENOTDIR ? ReadProblem::Missing : ReadProblem::Unreadable;
    return file;
  }
  if (S_ISLNK(st.st_mode)) {
    file.problem = ReadProblem::Link;
    return file;
  }
  if (!S_ISREG(st.st_mode)) {
    file.problem = ReadProblem::NotRegular;
    return file;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    file.problem = errno == ELOOP ? ReadProblem::Link : ReadProblem::Unreadable;
    return file;
  }
  file.problem = ReadOpenFile(fd, limit, file.bytes);
  close(fd);
  if (file.problem != ReadProblem::None)
    file.bytes.clear();
  return file;
}

bool IsRealFolder(const std::string& path)
{
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsRegularEntry(const std::string& path)
{
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EntryExists(const std::string& path)
{
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::optional<std::uint64_t> ExistingFileSize(const std::string& path)
{
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
    return std::nullopt;
  return S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
}

int RemoveStaleTemporaryFiles(const std::string& folder, std::chrono::seconds age)
{
  DIR* dir = opendir(folder.c_str());
  if (!dir)
    return 0;
  const std::time_t before = std::time(nullptr) - static_cast<std::time_t>(age.count());
  int removed = 0;
  while (const dirent* entry = readdir(dir)) {
    if (!IsTemporaryFileName(entry->d_name))
      continue;
    const std::string path = folder + "/" + entry->d_name;
    struct stat st {};
    // Only plain files of this user: never someone else's, never a link's target.
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == geteuid() && st.st_mtime < before &&
        unlink(path.c_str()) == 0)
      ++removed;
  }
  closedir(dir);
  return removed;
}

} // namespace zr
