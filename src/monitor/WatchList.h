// What makes a profile file part of the watch list, and the executable names
// it contributes. The watch list is built from these, and so is every other
// view of a profile that must agree with it.
#pragma once

#include <string>
#include <vector>

#include "system/IniFiles.h"

namespace zeph {

// The first test a profile fails, in the order they are made.
enum class ProfileTest { Usable, Extension, HideFile, Version, Executable };

// "extension", "HIDE_FILE", "VERSION", "EXECUTABLE"; "" for Usable.
const char* ProfileTestName(ProfileTest test);

// The tests on a profile named name (ext: the profile extension, ".wyn"),
// given the values read from it.
ProfileTest TestProfile(const std::string& name, const std::string& ext, const std::string& hide,
                        const std::string& version, const std::string& executable);

// The executable names of an EXECUTABLE value as the INI reader gives it.
std::vector<std::string> ExecutableNames(const std::string& value);

// The profile at path, read as the watch list reads it.
struct ProfileWatch {
  ProfileTest test = ProfileTest::Usable;
  std::string executable;          // the EXECUTABLE value as read
  std::vector<std::string> names;  // the executables it is watched for
  // Set when the value was longer than a read gives and its last name,
  // cut, was left out.
  std::string leftOut;
};
ProfileWatch ReadProfileWatch(IniFiles& ini, const std::string& path, const std::string& name,
                              const std::string& ext);

}  // namespace zeph
