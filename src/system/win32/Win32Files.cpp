// Files and INI files on Windows.
#include <atomic>

#include "system/win32/Win32Error.h"
#include "system/win32/Win32Seam.h"

namespace zeph::win32 {

namespace {

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

FileHandle OpenForReading(const std::string& path) {
  return FileHandle(CreateFileA(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// The profile functions read the file themselves, through the system's own
// cache of the file; this reader only makes sure it was there to be read.
class ProfileReader final : public IniReader {
 public:
  explicit ProfileReader(std::string file) : file_(std::move(file)) {}
  std::string Read(const std::string& section, const std::string& key, const std::string& def,
                   size_t bufferSize) override {
    return ProfileFiles().ReadString(file_, section, key, def, bufferSize);
  }

 private:
  std::string file_;
};

}  // namespace

bool FileSystem::IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileSystem::IsFolder(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileSystem::List(const std::string& folder, std::vector<std::string>* names,
                      SystemError* err) {
  names->clear();
  std::string pattern = folder;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA found;
  FindHandle find(FindFirstFileA(pattern.c_str(), &found));
  if (!find) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || Fail(err, Win32Error(error));  // an empty folder
  }
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names->push_back(found.cFileName);
  } while (FindNextFileA(find.Get(), &found));
  return true;
}

bool FileSystem::MakeEmptyFile(const std::string& path, SystemError* err) {
  FileHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.Valid() || FailLast(err);
}

bool FileSystem::MakeFolder(const std::string& path, SystemError* err) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  return IsFolder(path) || Fail(err, Win32Error(error));
}

ReadResult FileSystem::ReadText(const std::string& path, std::string* contents, SystemError* err) {
  FileHandle file = OpenForReading(path);
  if (!file.Valid()) {
    const DWORD error = GetLastError();
    if (IsMissing(error)) return ReadResult::Missing;
    Fail(err, Win32Error(error));
    return ReadResult::Failed;
  }
  std::string text;
  char buffer[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr)) {
      FailLast(err);
      return ReadResult::Failed;
    }
    if (got == 0) break;
    text.append(buffer, got);
  }
  *contents = std::move(text);
  return ReadResult::Ok;
}

bool FileSystem::WriteText(const std::string& path, const std::string& contents, SystemError* err) {
  // Written beside the target under a name of its own and moved over it, so
  // a failure part-way leaves the old file whole.
  static std::atomic<unsigned> counter{0};
  const std::string temp = path + ".zeph-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(counter++) + ".tmp";
  {
    FileHandle file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return FailLast(err);
    DWORD written = 0;
    if (!WriteFile(file.Get(), contents.data(), static_cast<DWORD>(contents.size()), &written,
                   nullptr) ||
        written != contents.size() || !FlushFileBuffers(file.Get())) {
      SystemError failed = LastError();
      file = FileHandle();
      DeleteFileA(temp.c_str());
      return Fail(err, failed);
    }
  }
  if (!MoveFileExA(temp.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    SystemError failed = LastError();
    DeleteFileA(temp.c_str());
    return Fail(err, failed);
  }
  return true;
}

bool FileSystem::Remove(const std::string& path, SystemError* err) {
  return DeleteFileA(path.c_str()) != 0 || FailLast(err);
}

std::string ProfileFiles::ReadString(const std::string& file, const std::string& section,
                                     const std::string& key, const std::string& def,
                                     size_t bufferSize) {
  if (bufferSize == 0) return {};
  std::vector<char> buffer(bufferSize);
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(), buffer.data(),
                                           static_cast<DWORD>(bufferSize), file.c_str());
  return std::string(buffer.data(), n);
}

bool ProfileFiles::WriteString(const std::string& file, const std::string& section,
                               const std::string& key, const std::string& value, SystemError* err) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
             FALSE ||
         FailLast(err);
}

std::unique_ptr<IniReader> ProfileFiles::Open(const std::string& file, ReadResult* result,
                                              SystemError* err) {
  if (!OpenForReading(file).Valid()) {
    const DWORD error = GetLastError();
    *result = IsMissing(error) ? ReadResult::Missing : ReadResult::Failed;
    Fail(err, Win32Error(error));
    return nullptr;
  }
  *result = ReadResult::Ok;
  return std::make_unique<ProfileReader>(file);
}

}  // namespace zeph::win32
