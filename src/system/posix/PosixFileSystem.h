// Files and INI files on POSIX, behind the seam: Windows-form paths are
// translated here, each name found as Windows would find it (ignoring case,
// see MatchCase), and every failure carries its errno.
#pragma once

#include "system/Files.h"
#include "system/IniFiles.h"

namespace zeph::posix {

class FileSystem final : public Files {
 public:
  bool IsFile(const std::string& path) override;
  bool IsFolder(const std::string& path) override;
  bool List(const std::string& folder, std::vector<std::string>* names, SystemError* err) override;
  bool MakeEmptyFile(const std::string& path, SystemError* err) override;
  bool MakeFolder(const std::string& path, SystemError* err) override;
  bool MakePrivateFolder(const std::string& path, SystemError* err) override;
  std::string ResolvedPath(const std::string& path) override;
  ReadResult ReadText(const std::string& path, std::string* contents, SystemError* err) override;
  bool WriteText(const std::string& path, const std::string& contents, SystemError* err) override;
  bool WriteTextUnsynced(const std::string& path, const std::string& contents,
                         SystemError* err) override;
  std::unique_ptr<FileReader> OpenRead(const std::string& path, ReadResult* result,
                                       SystemError* err) override;
  std::unique_ptr<WorkFile> CreateWorkFile(const std::string& target, SystemError* err) override;
  bool Remove(const std::string& path, SystemError* err) override;
  bool ListFolders(const std::string& folder, std::vector<std::string>* names,
                   SystemError* err) override;
  bool RemoveFolder(const std::string& path, SystemError* err) override;
  ReadResult Size(const std::string& path, uint64_t* size, SystemError* err) override;
};

class IniFileSystem final : public IniFiles {
 public:
  std::string ReadString(const std::string& file, const std::string& section,
                         const std::string& key, const std::string& def,
                         size_t bufferSize) override;
  bool WriteString(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& value, SystemError* err) override;
  bool WriteStrings(const std::string& file, const std::vector<IniEntry>& entries,
                    SystemError* err) override;
  std::unique_ptr<IniReader> Open(const std::string& file, ReadResult* result,
                                  SystemError* err) override;
};

}  // namespace zeph::posix
