// Path translation at the file-system boundary, and the folders the POSIX
// build keeps its own state in.
#pragma once

#include <string>

namespace zeph {

// "\tmp\x" -> "/tmp/x". Paths inside the program keep the Windows form.
std::string ToNativePath(const std::string& path);
// "/tmp/x" -> "\tmp\x".
std::string ToWindowsPath(const std::string& path);

namespace posix {

// nativePath with each component that is not there under its own name
// replaced by the entry of its folder that matches it ignoring the case of
// ASCII letters, from the top down, as Windows and Wine find names. Where
// several entries match and none exactly, the first in byte order is taken,
// so that the same one is found every time. From the first component that
// matches nothing the rest stays as given: a new file keeps its spelling.
// An exact path costs one lstat.
std::string MatchCase(const std::string& nativePath);

// A symbolic link's target as stored; "" when it cannot be read.
std::string ReadLink(const std::string& linkPath);
// The target of a /proc "exe" link (linkPath like "/proc/self/exe"), without
// the " (deleted)" the kernel adds when the file is gone; "" when it cannot be read.
std::string ReadExeLink(const std::string& linkPath);
// An exe link's target as read, without that " (deleted)".
std::string WithoutDeletedMark(std::string target);
// The last part of a native path ("/a/b" -> "b", "b" -> "b").
std::string FileNameOf(const std::string& nativePath);
// The folder part of a native path ("/a/b" -> "/a", "b" -> ".", "/b" -> "/").
std::string ParentFolder(const std::string& nativePath);
// $XDG_RUNTIME_DIR, or "" when it is unset or empty.
std::string RuntimeFolder();
// $XDG_CONFIG_HOME, else $HOME/.config; "" when neither is set.
std::string ConfigFolder();
// $XDG_STATE_HOME, else $HOME/.local/state; "" when neither is set.
std::string StateFolder();
// Creates nativePath and its missing parents. True when it is a folder afterwards.
bool MakeFolders(const std::string& nativePath, unsigned mode);
// A private folder under /tmp for this user (created as needed, and only
// accepted when it is ours and not a link); "" when that cannot be had.
std::string PrivateTempFolder(const std::string& name);

}  // namespace posix
}  // namespace zeph
