#include "platform/tempdir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/cp1251.h"

namespace {

constexpr const char* kFolderLeaf = "quorvane";
constexpr std::size_t kBlockSize = 4096;

struct ExtractionState {
  std::string Root;    // test root in place of $XDG_RUNTIME_DIR; empty: the environment
  std::string Folder;  // the folder chosen in this run; empty until the first call
};

ExtractionState& State() {
  static ExtractionState state;
  return state;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// An absolute path of a folder that this user may create entries in.
bool IsUsableBase(const char* path) {
  if (!path || path[0] != '/') return false;
  struct stat st {};
  return ::stat(path, &st) == 0 && S_ISDIR(st.st_mode) && ::access(path, W_OK | X_OK) == 0;
}

// A real folder (not a link to one) of this user that nobody else may write into.
bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0 && (st.st_mode & S_IRWXU) == S_IRWXU;
}

// Creates the folder with mode 0700 when it is missing; true when the path is then private.
bool MakeOrVerify(const std::string& path) {
  if (::mkdir(path.c_str(), S_IRWXU) == 0) {
    // mkdir applies the umask; the mode must be exactly 0700 whatever the umask is.
    ::chmod(path.c_str(), S_IRWXU);
  } else if (errno != EEXIST) {
    return false;
  }
  return IsPrivateFolder(path);
}

// A new folder with an unpredictable name beside the refused one.
std::string MakeFreshFolder(const std::string& base, const std::string& leaf) {
  std::string pattern = base + "/" + leaf + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!::mkdtemp(buffer.data())) return {};
  std::string path = buffer.data();
  ::chmod(path.c_str(), S_IRWXU);
  return IsPrivateFolder(path) ? path : std::string();
}

std::string SystemTempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return WithoutTrailingSlashes(IsUsableBase(tmp) ? tmp : "/tmp");
}

std::string ChooseFolder() {
  const ExtractionState& state = State();
  const std::string uidLeaf = std::string(kFolderLeaf) + "-" + std::to_string(::geteuid());
  std::string base;
  std::string leaf = kFolderLeaf;
  if (!state.Root.empty()) {
    base = WithoutTrailingSlashes(state.Root);
  } else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); IsUsableBase(runtime)) {
    base = WithoutTrailingSlashes(runtime);
  } else {
    base = SystemTempFolder();
    leaf = uidLeaf;
  }
  if (MakeOrVerify(base + "/" + leaf)) return base + "/" + leaf;
  std::string fresh = MakeFreshFolder(base, leaf);
  if (fresh.empty() && state.Root.empty()) fresh = MakeFreshFolder(SystemTempFolder(), uidLeaf);
  return fresh;
}

}  // namespace

std::string ExtractionFolder() {
  ExtractionState& state = State();
  // The folder may have been removed since the last call: it is made again under the same
  // path, unless somebody else has taken that path meanwhile.
  if (state.Folder.empty() || !MakeOrVerify(state.Folder)) state.Folder = ChooseFolder();
  return state.Folder;
}

void SetExtractionRoot(const std::string& root) {
  State().Root = root;
  State().Folder.clear();
}

std::string ExtractionFileName(const std::string& name, const std::string& extension) {
  std::string fileName = name + "." + extension;
  std::replace_if(
      fileName.begin(), fileName.end(), [](char c) { return c == '/' || c == '\0'; }, '_');
  return Cp1251ToUtf8(fileName);
}

std::string ExtractionFilePath(const std::string& name, const std::string& extension) {
  std::string folder = ExtractionFolder();
  if (folder.empty()) return {};
  return folder + "/" + ExtractionFileName(name, extension);
}

bool WritePrivateFile(const std::string& path, const unsigned char* data, std::size_t size) {
  // O_NONBLOCK keeps a planted FIFO from blocking the open. The file is opened without
  // truncation and cut only once it is known to be a regular file of this user with no other
  // name: a hard link planted in the folder must not let the write reach (or empty) a file
  // elsewhere.
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                  S_IRUSR | S_IWUSR);
  if (fd < 0) return false;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid() &&
            st.st_nlink == 1 && ::ftruncate(fd, 0) == 0;
  std::size_t offset = 0;
  while (ok && offset < size) {
    std::size_t block = std::min(kBlockSize, size - offset);
    ssize_t n = ::write(fd, data + offset, block);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      offset += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) ok = false;
  return ok;
}
