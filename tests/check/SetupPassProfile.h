// One set-up pass that uses every write of the seam: a copy block, the six
// custom commands, a stale marker file and registry values, laid out
// through a seam so that it can stand on the fake or on a real disk.
#pragma once

#include <string>

#include "monitor/MainForm.h"
#include "system/RegistryWriters.h"

namespace zeph::testing {

// Windows-form folders of the pass.
struct PassFolders {
  std::string program;
  std::string game;
};

inline const char* const kSetupProfile =
    "[IDENTIFICATION]\r\nAPPLICATION_NAME=Foo Game\r\n[CONFIGURATION]\r\n"
    "COPY_FILES=TRUE\r\n{\r\n'keys.cfg', 'cfg\\keys.cfg'\r\n   }\r\n"
    "CUSTOM=TRUE\r\n{\r\n"
    "'a.cfg'\\, 'DELETE'\\, 'bind y'\\, '0'\\, ''\r\n"
    "'a.cfg'\\, 'MODIFY'\\, 'set mouse %'\\, 'set mouse 1'\\, ''\r\n"
    "'a.cfg'\\, 'REPLACE'\\, 'low'\\, 'high'\\, ''\r\n"
    "'a.cfg'\\, 'APPEND'\\, 'bind x jump'\\, ''\r\n"
    "'new\\sub\\b.cfg'\\, 'APPEND'\\, 'b'\\, ''\r\n"
    "'game.ini'\\, 'INI'\\, 'Input'\\, 'Mouse'\\, '0'\\, ''\r\n"
    "'conf\\user.ini'\\, 'INI'\\, 'S'\\, 'k'\\, 'v'\\, ''\r\n"
    "'STRING'\\, 'REGISTRY'\\, 'HKCU\\Software\\Test'\\, 'name'\\, 'text'\\, ''\r\n"
    "'DWORD'\\, 'REGISTRY'\\, 'HKCU\\Software\\Test'\\, 'count'\\, '7'\\, ''\r\n"
    "   }\r\n";

// The folders and files before the pass; the parents of both folders exist.
inline void LayOutPass(SystemSeam sys, const PassFolders& p) {
  for (const std::string& folder : {p.program, p.program + "\\wyn", p.program + "\\games", p.game})
    sys.files.MakeFolder(folder, nullptr);
  sys.files.WriteText(p.program + "\\wyn\\foo.wyn", kSetupProfile, nullptr);
  sys.files.WriteText(p.program + "\\games\\keys.cfg", "keys\r\n", nullptr);
  sys.files.WriteText(p.game + "\\a.cfg", "bind y 1\r\nset mouse 0\r\nLow;slow\r\nkeep\r\n",
                      nullptr);
  sys.files.WriteText(p.game + "\\game.ini", "[Input]\r\nMouse=1\r\n", nullptr);
  sys.files.WriteText(p.game + "\\thalix.tlx", "[Thalix]\r\nVersion=4.0\r\n", nullptr);
  sys.files.WriteText(p.game + "\\old.cfg", "untouched", nullptr);
  WriteRegString(sys.registry, RegRoot::CurrentUser, "Software\\Test", "name", "old");
}

// Runs the end-of-game pass of the laid-out game on sys, in debug mode.
inline void RunPass(SystemSeam sys, Desktop& desktop, const PassFolders& p) {
  MainForm form(sys, desktop);
  form.state.DebugMode = true;
  form.state.ProfileFolder = p.program + "\\wyn\\";
  form.state.ActiveProfile = p.program + "\\wyn\\foo.wyn";
  form.state.ActiveAppName = "Foo Game";
  form.state.GameFolder = p.game;
  form.state.GameExe = "foo.exe";
  form.profile.revision = "3";
  form.profile.copyFiles = "TRUE";
  form.profile.custom = "TRUE";
  form.WriteStuff();
}

}  // namespace zeph::testing
