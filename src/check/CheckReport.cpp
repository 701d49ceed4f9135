// The check's report: text for people, JSON for other tools. Both say the
// same things in the same order.
#include <cstdio>

#include "check/Json.h"
#include "check/LineDiff.h"
#include "check/ProfileCheck.h"
#include "check/TerminalText.h"

namespace zeph {

namespace {

const char* RootName(RegRoot root) {
  return root == RegRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string RegText(const std::optional<RegData>& value) {
  if (!value) return "(missing)";
  if (value->type == kRegSz) {
    std::string text(value->data.begin(), value->data.end());
    text = text.substr(0, text.find('\0'));
    return "REG_SZ \"" + text + "\"";
  }
  if (value->type == kRegDword && value->data.size() == 4) {
    uint32_t bits = 0;
    for (size_t i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(value->data[i]) << (8 * i);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08x", bits);
    return "REG_DWORD " + std::string(hex) + " (" + std::to_string(static_cast<int32_t>(bits)) +
           ")";
  }
  std::string bytes;
  for (uint8_t b : value->data) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", b);
    bytes += hex;
  }
  return "type " + std::to_string(value->type) + " " + bytes;
}

std::string StatusName(CustomLineStatus status) {
  switch (status) {
    case CustomLineStatus::Parsed: return "parsed";
    case CustomLineStatus::UnknownWord: return "unknown command word";
    case CustomLineStatus::Empty: return "empty";
    case CustomLineStatus::ShortField: return "short field (102)";
    case CustomLineStatus::NoCommandWord: return "no command word (103)";
    case CustomLineStatus::TooManyFields: return "too many fields (104)";
  }
  return "";
}

// The path as named, and where it really is when that is elsewhere.
std::string Where(const Effect& e) {
  return e.resolved.empty() ? e.path : e.path + " (resolved: " + e.resolved + ")";
}

// One effect as lines of text, each starting with indent.
std::string EffectText(const Effect& e, const std::string& indent) {
  switch (e.kind) {
    case Effect::Kind::FileWritten: {
      std::string out =
          indent + (e.existed ? "file changed: " : "file created: ") + Where(e) + "\n";
      for (const std::string& line : SplitKeepingEnds(e.diff)) out += indent + "  " + line;
      return out;
    }
    case Effect::Kind::FileRemoved: return indent + "file removed: " + Where(e) + "\n";
    case Effect::Kind::FolderMade: return indent + "folder made: " + e.path + "\n";
    case Effect::Kind::IniWritten:
      return indent + "INI " + Where(e) + " [" + e.section + "] " + e.key + ": " +
             (e.before ? "\"" + *e.before + "\"" : std::string("(missing)")) + " -> \"" + e.after +
             "\"\n";
    case Effect::Kind::RegistrySet:
    case Effect::Kind::RegistryDeleted:
      return indent + "registry " + RootName(e.root) + "\\" + e.subkey + " \"" + e.name + "\"" +
             (e.winePrefix.empty() ? "" : " in the Wine prefix " + e.winePrefix) + ": " +
             RegText(e.oldValue) + " -> " + RegText(e.newValue) + "\n";
    case Effect::Kind::ProgramStarted:
      return indent + "program started" + (e.waited ? " and waited for" : "") + ": " + e.command +
             "\n";
    case Effect::Kind::WindowClosed: return indent + "window closed: " + e.title + "\n";
    case Effect::Kind::AddressOpened: return indent + "address opened: " + e.command + "\n";
    case Effect::Kind::TimerSet: return "";
  }
  return "";
}

std::string Joined(const std::vector<std::string>& items, const std::string& between) {
  std::string out;
  for (size_t i = 0; i < items.size(); ++i) out += (i ? between : "") + items[i];
  return out;
}

void EffectJson(JsonWriter& j, const Effect& e) {
  static const char* const kKinds[] = {
      "file-written",     "file-removed",    "folder-made",   "ini-written",    "registry-set",
      "registry-deleted", "program-started", "window-closed", "address-opened", "timer-set"};
  j.BeginObject().Key("kind").String(kKinds[static_cast<int>(e.kind)]);
  auto optional = [&](const char* key, const std::optional<std::string>& value) {
    j.Key(key);
    if (value) {
      j.String(*value);
    } else {
      j.Null();
    }
  };
  switch (e.kind) {
    case Effect::Kind::FileWritten:
      // Large contents are not kept: null, with contentsKept false.
      j.Key("path").String(e.path).Key("existed").Bool(e.existed);
      if (!e.resolved.empty()) j.Key("resolvedPath").String(e.resolved);
      j.Key("contentsKept").Bool(e.contentsKept);
      optional("before", e.before);
      j.Key("after");
      if (e.contentsKept) {
        j.String(e.after);
      } else {
        j.Null();
      }
      j.Key("diff").String(e.diff);
      break;
    case Effect::Kind::FileRemoved:
      j.Key("path").String(e.path).Key("contentsKept").Bool(e.contentsKept);
      if (!e.resolved.empty()) j.Key("resolvedPath").String(e.resolved);
      optional("before", e.before);
      break;
    case Effect::Kind::FolderMade: j.Key("path").String(e.path); break;
    case Effect::Kind::IniWritten:
      j.Key("path").String(e.path).Key("section").String(e.section).Key("key").String(e.key);
      if (!e.resolved.empty()) j.Key("resolvedPath").String(e.resolved);
      optional("before", e.before);
      j.Key("after").String(e.after);
      break;
    case Effect::Kind::RegistrySet:
    case Effect::Kind::RegistryDeleted:
      j.Key("root").String(RootName(e.root)).Key("key").String(e.subkey).Key("name").String(e.name);
      if (!e.winePrefix.empty()) j.Key("winePrefix").String(e.winePrefix);
      j.Key("before").String(RegText(e.oldValue)).Key("after").String(RegText(e.newValue));
      break;
    case Effect::Kind::ProgramStarted:
      j.Key("command").String(e.command).Key("waited").Bool(e.waited);
      break;
    case Effect::Kind::WindowClosed: j.Key("title").String(e.title); break;
    case Effect::Kind::AddressOpened: j.Key("address").String(e.command); break;
    case Effect::Kind::TimerSet: j.Key("ms").Number(e.intervalMs); break;
  }
  j.EndObject();
}

void StringsJson(JsonWriter& j, const char* key, const std::vector<std::string>& items) {
  j.Key(key).BeginArray();
  for (const std::string& item : items) j.String(item);
  j.EndArray();
}

void EffectsJson(JsonWriter& j, const char* key, const std::vector<Effect>& effects) {
  j.Key(key).BeginArray();
  for (const Effect& e : effects) EffectJson(j, e);
  j.EndArray();
}

}  // namespace

std::string ReportText(const CheckReport& r) {
  std::string out = "Profile " + r.profile + "\nProgram folder " + r.programFolder + "\n";
  for (const std::string& note : r.notes) out += "Note: " + note + "\n";

  out += "\nWatch list\n";
  if (r.watch.used) {
    out += "  watched, for: " + Joined(r.watch.executables, ", ") + "\n";
  } else if (!r.watch.failedTest.empty()) {
    out += "  not watched: " + r.watch.failedTest + " is \"" + r.watch.value + "\"\n";
  }
  if (!r.watch.leftOut.empty()) out += "  left out (cut by the read): " + r.watch.leftOut + "\n";

  const ActivationCheck& a = r.activation;
  if (!a.exe.empty() || a.endBox || !a.settings.empty()) {
    out += "\nActivation, when " + (a.exe.empty() ? std::string("the game") : a.exe) + " starts\n";
    if (a.endBox) {
      out += "  map check fails: box \"" + a.endBox->text + "\" (" + a.endBox->title +
             "), and the monitor ends\n";
    } else {
      out += "  map checks pass\n";
    }
    // The settings files, each with its values under it.
    std::string file;
    for (const Effect& e : a.settings) {
      if (e.path != file) out += "  INI " + (file = e.path) + "\n";
      out += "    [" + e.section + "] " + e.key + ": " +
             (e.before ? "\"" + *e.before + "\"" : std::string("(missing)")) + " -> \"" + e.after +
             "\"\n";
    }
    out += std::string("  event utility: ") + (a.eventUtilityStarts ? "started" : "not started") +
           "\n";
    if (!a.scriptLines.empty()) {
      out += "  command script, " + std::to_string(a.scriptLines.size()) + " lines:\n";
      for (size_t i = 0; i < a.scriptLines.size(); ++i)
        out += "    " + std::to_string(i + 1) + "  " + a.scriptLines[i] + "\n";
    }
    if (!a.controlCalls.empty()) {
      out += "  control utility, one call each, in order:\n";
      for (const std::string& call : a.controlCalls) out += "    " + call + "\n";
    }
  }

  const SetupCheck& s = r.setup;
  if (!s.marker.empty() || s.runs) {
    out += "\nEnd of the game: set-up pass on " +
           (s.emptyGameFolder ? std::string("an empty game folder (no --game-folder)")
                              : s.gameFolder) +
           "\n";
    out += "  marker " + s.marker + ": " +
           (!s.markerExists   ? std::string("missing")
            : s.markerCurrent ? "current"
                              : "not current (removed)") +
           "\n";
    for (const CopyCheck& c : s.copies)
      out += "  copy " + c.source + (c.sourceExists ? "" : " (missing)") + " -> " + c.destination +
             "\n";
    for (const Effect& e : s.copyEffects) out += EffectText(e, "    ");
    int number = 0;
    for (const LineCheck& line : s.lines) {
      out += "  custom line " + std::to_string(++number) + ": " + line.line + "\n";
      if (line.status != CustomLineStatus::Parsed) {
        out += "    " + StatusName(line.status) + "\n";
        continue;
      }
      out += "    fields: " + Joined(line.entry, " | ") + "\n";
      out += std::string("    ") +
             (!line.decided ? "not reached"
              : line.runs   ? "runs"
                            : "skipped: set up already, not ALWAYS") +
             "\n";
      for (const Effect& e : line.effects) out += EffectText(e, "    ");
    }
    for (const Effect& e : s.endEffects) out += EffectText(e, "  ");
    for (const CheckBox& box : s.boxes) out += "  box \"" + box.text + "\" (" + box.title + ")\n";
    out += std::string("  result: ") + (s.passed ? "passes" : "fails: " + s.failure) + "\n";
  }

  out += "\n";
  if (r.problems.empty()) {
    out += "Summary: the profile works as written.\n";
  } else {
    out += "Summary: " + std::to_string(r.problems.size()) +
           (r.problems.size() == 1 ? " thing" : " things") + " the author likely did not mean:\n";
    for (const std::string& problem : r.problems) out += "  - " + problem + "\n";
  }
  return TerminalText(out);
}

std::string ReportJson(const CheckReport& r) {
  JsonWriter j;
  j.BeginObject().Key("profile").String(r.profile).Key("programFolder").String(r.programFolder);
  StringsJson(j, "notes", r.notes);

  j.Key("watch").BeginObject().Key("used").Bool(r.watch.used);
  j.Key("failedTest").String(r.watch.failedTest).Key("value").String(r.watch.value);
  StringsJson(j, "executables", r.watch.executables);
  j.Key("leftOut").String(r.watch.leftOut).EndObject();

  const ActivationCheck& a = r.activation;
  j.Key("activation").BeginObject().Key("exe").String(a.exe).Key("endBox");
  if (a.endBox) {
    j.BeginObject().Key("title").String(a.endBox->title).Key("text").String(a.endBox->text);
    j.EndObject();
  } else {
    j.Null();
  }
  EffectsJson(j, "settings", a.settings);
  j.Key("eventUtilityStarts").Bool(a.eventUtilityStarts);
  StringsJson(j, "scriptLines", a.scriptLines);
  StringsJson(j, "controlCalls", a.controlCalls);
  StringsJson(j, "debugLines", a.debugLines);
  j.EndObject();

  const SetupCheck& s = r.setup;
  j.Key("setup").BeginObject().Key("runs").Bool(s.runs).Key("gameFolder").String(s.gameFolder);
  j.Key("emptyGameFolder").Bool(s.emptyGameFolder).Key("marker").String(s.marker);
  j.Key("markerExists").Bool(s.markerExists).Key("markerCurrent").Bool(s.markerCurrent);
  j.Key("copies").BeginArray();
  for (const CopyCheck& c : s.copies) {
    j.BeginObject().Key("source").String(c.source).Key("destination").String(c.destination);
    j.Key("sourceExists").Bool(c.sourceExists).EndObject();
  }
  j.EndArray();
  EffectsJson(j, "copyEffects", s.copyEffects);
  j.Key("lines").BeginArray();
  for (const LineCheck& line : s.lines) {
    j.BeginObject().Key("line").String(line.line).Key("status").String(StatusName(line.status));
    StringsJson(j, "fields", line.entry);
    j.Key("reached").Bool(line.decided).Key("runs").Bool(line.runs);
    j.Key("outOfRange").String(line.outOfRange);
    EffectsJson(j, "effects", line.effects);
    j.EndObject();
  }
  j.EndArray();
  EffectsJson(j, "endEffects", s.endEffects);
  j.Key("boxes").BeginArray();
  for (const CheckBox& box : s.boxes)
    j.BeginObject().Key("title").String(box.title).Key("text").String(box.text).EndObject();
  j.EndArray();
  StringsJson(j, "debugLines", s.debugLines);
  j.Key("passed").Bool(s.passed).Key("failure").String(s.failure).EndObject();

  StringsJson(j, "problems", r.problems);
  j.Key("exitStatus").Number(r.ExitStatus()).EndObject();
  return j.Text();
}

}  // namespace zeph
