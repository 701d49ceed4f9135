// The operations of a profile's custom block, one descriptor each: its
// command word, its entry's shape, what the pass logs and reports for it,
// and the function that carries out one entry. Adding an operation is
// adding a descriptor.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "setup/PathHelpers.h"
#include "system/DebugList.h"
#include "system/Error.h"
#include "system/Files.h"
#include "system/IniFiles.h"
#include "system/Registry.h"

namespace zeph {

// One line of the block as parsed: its fields in line order (field k at
// k - 1), the command word at 2, placeholders expanded.
using CustomEntry = std::vector<std::string>;

// What an operation works with.
struct OperationContext {
  Files& files;
  IniFiles& ini;
  Registry* registry;  // the game's: its Wine prefix's for a game run by Wine; null: unreachable
  DebugList& debugList;
  GamePaths& paths;
};

struct CustomOperation {
  const char* word;    // the command word, in any case
  size_t fieldCount;   // the fields an entry holds, the word included
  size_t alwaysField;  // the 1-based field that may say "ALWAYS"
  size_t expanded[2];  // the 1-based fields placeholders are expanded in (0: none)
  size_t logWhen[2];   // the debug line is written when these are non-empty (0: none)
  int failureCode;     // the pass's code when an entry fails
  const char* what;    // the failure line's words: "Error <code><what><subject>"
  // Carries out one entry; false, with the failure's debug lines, when it fails.
  bool (*run)(OperationContext& context, const CustomOperation& op, const CustomEntry& entry);
};

// Every operation, in the order the block's tables have always had.
const std::vector<CustomOperation>& CustomOperations();
// The operation of a command word (ignoring case); null for a word no
// operation has.
const CustomOperation* FindCustomOperation(const std::string& word);

}  // namespace zeph
