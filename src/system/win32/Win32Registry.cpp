// The registry on Windows. The registry functions return their error code
// instead of setting the last error.
#include "system/win32/Win32Error.h"
#include "system/win32/Win32Seam.h"

namespace zeph::win32 {

namespace {

HKEY RootKey(RegRoot root) {
  // Not a cast of the enum's value: the predefined keys are sign-extended
  // 32-bit values in a 64-bit build.
  return root == RegRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

bool Check(LONG result, SystemError* err) {
  return result == ERROR_SUCCESS || Fail(err, Win32Error(static_cast<DWORD>(result)));
}

}  // namespace

bool SystemRegistry::SetValue(RegRoot root, const std::string& subkey, const std::string& name,
                              uint32_t type, const std::vector<uint8_t>& data, SystemError* err) {
  RegKey key;
  return Check(RegCreateKeyA(RootKey(root), subkey.c_str(), key.Receive()), err) &&
         Check(
             RegSetValueExA(key.Get(), name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                            static_cast<DWORD>(data.size())),
             err);
}

ReadResult SystemRegistry::QueryValue(RegRoot root, const std::string& subkey,
                                      const std::string& name, uint32_t* type,
                                      std::vector<uint8_t>* data, SystemError* err) {
  auto outcome = [err](LONG result) {
    if (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND)
      return ReadResult::Missing;
    Check(result, err);
    return ReadResult::Failed;
  };
  RegKey key;
  LONG result = RegOpenKeyA(RootKey(root), subkey.c_str(), key.Receive());
  if (result != ERROR_SUCCESS) return outcome(result);
  DWORD valueType = 0;
  DWORD size = 0;
  result = RegQueryValueExA(key.Get(), name.c_str(), nullptr, &valueType, nullptr, &size);
  if (result != ERROR_SUCCESS) return outcome(result);
  std::vector<uint8_t> value(size);
  for (;;) {
    size = static_cast<DWORD>(value.size());
    result = RegQueryValueExA(key.Get(), name.c_str(), nullptr, &valueType,
                              value.empty() ? nullptr : value.data(), &size);
    if (result == ERROR_MORE_DATA) {  // grew since we asked for its size
      value.resize(size);
      continue;
    }
    if (result != ERROR_SUCCESS) return outcome(result);
    break;
  }
  value.resize(size);
  if (type != nullptr) *type = valueType;
  if (data != nullptr) *data = std::move(value);
  return ReadResult::Ok;
}

bool SystemRegistry::DeleteValue(RegRoot root, const std::string& subkey, const std::string& name,
                                 SystemError* err) {
  RegKey key;
  return Check(RegOpenKeyA(RootKey(root), subkey.c_str(), key.Receive()), err) &&
         Check(RegDeleteValueA(key.Get(), name.c_str()), err);
}

}  // namespace zeph::win32
