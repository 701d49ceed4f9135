// The command script "active.zeph": the controller settings of a profile
// as control-utility commands, one per line.
#pragma once

#include <string>
#include <vector>

#include "activation/ProfileSettings.h"

namespace zeph {

// The script's lines, in the order they are run. programFolder (no trailing
// backslash) resolves curve paths that begin with ".\". A line whose profile
// value would not reach the control utility as the one argument it is (a
// blank in a bare value, a quote in a quoted path, an empty value) could
// smuggle in other commands or options: it is left out, and listed in
// *refused when refused is not null.
std::vector<std::string> BuildCommandScript(const ProfileSettings& settings,
                                            const std::string& programFolder,
                                            std::vector<std::string>* refused = nullptr);

// Lines joined as the script file holds them: each ended by CR LF.
std::string ScriptText(const std::vector<std::string>& lines);
// The lines of a script file (CR LF or LF); no empty last line.
std::vector<std::string> ScriptLines(const std::string& text);

}  // namespace zeph
