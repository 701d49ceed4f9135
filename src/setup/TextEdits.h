// The custom block's edits of plain text files, streamed a line at a time
// through a work file that then replaces the file in one step: a failure at
// any point leaves the file byte for byte as it was. Lines written end with
// CR LF.
#pragma once

#include <string>

#include "setup/EditRules.h"
#include "system/Files.h"

namespace zeph {

// Each returns true when the file was edited, or when there is no file to
// edit; false, with err saying why and the file as it was, when it fails.
bool DeleteLines(Files& files, const std::string& path, const DeleteRule& rule, SystemError* err);
// The matching lines become the new line; with none matched, the new line
// is added at the end (an inactive rule matches nothing, so adds it).
bool ModifyLines(Files& files, const std::string& path, const ModifyRule& rule, SystemError* err);
bool ReplaceInLines(Files& files, const std::string& path, const ReplaceRule& rule,
                    SystemError* err);
// Adds text as the last line unless a line already holds it. The file's
// own bytes stay as they are; one is created when there is none.
bool AppendLine(Files& files, const std::string& path, const std::string& text, SystemError* err);

}  // namespace zeph
