// The stand-ins' platform part on Windows: files and output. The window
// part lives in StandinWindows.cpp, so the console control utility, which
// needs none of it, does not load the window libraries at every run.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "companion/standins/StandinHost.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zeph::standin {
namespace {

class File {
 public:
  explicit File(HANDLE h) : h_(h) {}
  ~File() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  // Closes now; false when closing failed (buffered data may be lost).
  bool Close() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h == INVALID_HANDLE_VALUE || CloseHandle(h);
  }

 private:
  HANDLE h_;
};

bool WriteAll(HANDLE h, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size() - done, 1u << 20));
    DWORD written = 0;
    if (!WriteFile(h, text.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

std::string ProgramFolder() {
  char path[MAX_PATH * 4] = {};
  DWORD got = GetModuleFileNameA(nullptr, path, sizeof path);
  if (got == 0 || got >= sizeof path) return ".";
  std::string full(path, got);
  size_t slash = full.find_last_of("\\/");
  return slash == std::string::npos ? "." : full.substr(0, slash);
}

}  // namespace

std::string FileBesideProgram(const std::string& name) {
  static const std::string folder = ProgramFolder();
  return folder + "\\" + name;
}

unsigned long CurrentProcessId() { return GetCurrentProcessId(); }

ReadStatus ReadWholeFile(const std::string& path, std::string* contents) {
  File file(CreateFileA(path.c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadStatus::NotFound
                                                                          : ReadStatus::OtherError;
  }
  contents->clear();
  char buffer[8192];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr)) return ReadStatus::OtherError;
    if (got == 0) return ReadStatus::Okay;
    contents->append(buffer, got);
  }
}

bool WriteFileAtomic(const std::string& path, const std::string& contents) {
  const std::string temp = path + ".tmp" + std::to_string(GetCurrentProcessId());
  File file(CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  bool ok = WriteAll(file.get(), contents);
  ok = file.Close() && ok;
  // A reader that opened the file without delete sharing (the C runtime's
  // fopen does so) blocks the replace for as long as it reads: try again.
  for (int attempt = 0; ok; ++attempt) {
    if (MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    const DWORD error = GetLastError();
    ok = attempt < 100 && (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION);
    if (ok) Sleep(20);
  }
  DeleteFileA(temp.c_str());
  return false;
}

bool AppendToFile(const std::string& path, const std::string& text) {
  // FILE_APPEND_DATA alone: every write goes to the end, even with other
  // writers at the same time.
  File file(CreateFileA(path.c_str(), FILE_APPEND_DATA,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid() && WriteAll(file.get(), text) && file.Close();
}

bool CommandLineFileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace zeph::standin
