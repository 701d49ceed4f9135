// The registry of a Wine prefix, reached through that prefix's own Wine:
// `wine reg add`, `wine reg delete` and `wine reg export`, run with
// WINEPREFIX set to the prefix. The prefix's files (user.reg, system.reg)
// are never edited: its wineserver may be running and holds them in memory.
//
// Text crosses in the ANSI code page (taken as Windows-1252), as a Windows
// program's 8-bit calls see it: it goes to wine as UTF-8 arguments and comes
// back from the UTF-16 export. Each call starts wine once (a reading starts
// it once more), about a third of a second while the prefix's wineserver
// runs and several seconds when it has to start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "system/Registry.h"

namespace zeph::posix {

// The wine program that runs commands in the prefix of a program whose
// loader is loaderNative: the loader itself when it is wine or wine64, the
// wine64 (else wine) beside a wine64-preloader, the wine (else wine64)
// beside a wine-preloader; "wine" from the search path for no loader.
std::string WineBesideLoader(const std::string& loaderNative);

// The key as wine reg names it: "HKCU\Software\Zeph" (empty components dropped).
std::string WineKeyName(RegRoot root, const std::string& subkey);

// The arguments after the wine program. False, with err, for a value that
// wine reg cannot write (a type other than REG_SZ, REG_EXPAND_SZ,
// REG_DWORD and REG_BINARY, or a DWORD that is not four bytes).
bool RegAddArguments(RegRoot root, const std::string& subkey, const std::string& name,
                     uint32_t type, const std::vector<uint8_t>& data,
                     std::vector<std::string>* args, SystemError* err);
std::vector<std::string> RegDeleteArguments(RegRoot root, const std::string& subkey,
                                            const std::string& name);
// windowsFile: where wine writes the export, as the prefix names it.
std::vector<std::string> RegExportArguments(RegRoot root, const std::string& subkey,
                                            const std::string& windowsFile);

// A value of key (as WineKeyName gives it) in the bytes of a `reg export`
// file (UTF-16LE with its byte-order mark): its type and data as an 8-bit
// call reads them (text in the ANSI code page, a REG_SZ with its
// terminating zero). Missing when the export has no such value.
ReadResult FindExportedValue(const std::string& exportBytes, const std::string& key,
                             const std::string& name, uint32_t* type, std::vector<uint8_t>* data);

class WinePrefixRegistry final : public Registry {
 public:
  // prefixNative: the prefix's folder; wineProgram as WineBesideLoader gives it.
  WinePrefixRegistry(std::string prefixNative, std::string wineProgram)
      : prefix_(std::move(prefixNative)), wine_(std::move(wineProgram)) {}

  bool SetValue(RegRoot root, const std::string& subkey, const std::string& name, uint32_t type,
                const std::vector<uint8_t>& data, SystemError* err) override;
  ReadResult QueryValue(RegRoot root, const std::string& subkey, const std::string& name,
                        uint32_t* type, std::vector<uint8_t>* data, SystemError* err) override;
  bool DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                   SystemError* err) override;

  // How many times wine was started, for tests that hold the cost down.
  int WineStarts() const { return starts_; }

 private:
  // Runs wine with args in the prefix until it ends; *exitCode and *output
  // (its standard output and error) tell how it went. False, with err, when
  // the prefix is not there or wine cannot be run at all.
  bool Run(const std::vector<std::string>& args, int* exitCode, std::string* output,
           SystemError* err);
  // err for a wine reg run that ended with exitCode.
  bool Failed(const std::vector<std::string>& args, int exitCode, const std::string& output,
              SystemError* err) const;

  std::string prefix_;
  std::string wine_;
  int starts_ = 0;
};

}  // namespace zeph::posix
