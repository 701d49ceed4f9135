#include "tray/Dialogs.h"

#include "system/PlatformChecks.h"
#include "system/RegistryWriters.h"
#include "system/WinPath.h"

namespace zeph {

const char* const kVersionText = "Thalix Monitor v5.1.0.12";
const char* const kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char* const kRunValueName = "Zeph Monitor";

const char* const kAboutInfoText = "For information and software updates, visit my website at:";
const char* const kAboutCredit = "Written and maintained by the ZephMonitor developers.";
const char* const kAuthorWebPage = "https://zephmonitor.example.org/";
const char* const kAuthorMail = "support@zephmonitor.example.org";

namespace {

bool ContainsNoCase(const std::string& text, const std::string& part) {
  return ToLower(text).find(ToLower(part)) != std::string::npos;
}

}  // namespace

// --- frmAbout

void AboutForm::Form_Load() {
  caption = std::string("About ") + kProgramTitle;
  lblVersion = kVersionText;
}

std::string AboutForm::MailLink() {
  return std::string("mailto:") + kAuthorMail + "?subject=" + kVersionText;
}

void AboutForm::lblWebLink_Click() { sys_.processes.OpenAddress(kAuthorWebPage, 2, nullptr); }

void AboutForm::lblMailLink_Click() { sys_.processes.OpenAddress(MailLink(), 0, nullptr); }

bool AboutForm::GetKeyValue(RegRoot keyRoot, const std::string& keyName,
                            const std::string& subKeyRef, std::string& keyVal) {
  keyVal.clear();
  uint32_t type = 0;
  std::vector<uint8_t> data;
  if (sys_.registry.QueryValue(keyRoot, keyName, subKeyRef, &type, &data, nullptr) !=
      ReadResult::Ok)
    return false;
  // The read goes through a buffer of 1024 characters, less its terminator.
  if (data.size() > 1024) data.resize(1024);
  if (!data.empty() && data.back() == 0) data.pop_back();
  if (type == kRegSz) keyVal.assign(data.begin(), data.end());
  return true;
}

void AboutForm::StartSysInfo() {
  std::string path;
  std::string folder;
  if (!GetKeyValue(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH",
                   path)) {
    path.clear();
    if (GetKeyValue(RegRoot::LocalMachine, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO",
                    folder) &&
        sys_.files.IsFile(folder + "\\MSINFO32.EXE"))
      path = folder + "\\MSINFO32.EXE";
  }
  uint32_t pid = 0;
  if (!path.empty() && sys_.processes.StartShown(path, kShowNormal, &pid, nullptr)) return;
  desktop_.ShowBox("System Information Is Unavailable At This Time", kProgramTitle, BoxButtons::Ok,
                   BoxIcon::None);
}

// --- frmStartUp

std::string StartUpForm::RunData() const {
  // The program folder as the system names it: a drive's root keeps its
  // backslash ("C:\"), and the separator follows all the same.
  std::string folder = sys_.program.Folder();
  if (folder.size() == 2 && folder[1] == ':') folder += "\\";
  return "\"" + folder + "\\" + sys_.program.ExeName() + "\"";
}

std::string StartUpForm::RunText(RegRoot root) {
  return Trim(ReadRegString(sys_.registry, root, kRunKey, kRunValueName));
}

bool StartUpForm::Form_Load() {
  for (RegRoot root : {RegRoot::LocalMachine, RegRoot::CurrentUser}) {
    if (ContainsNoCase(RunText(root), exeBaseName_)) return true;
  }
  return false;
}

void StartUpForm::Form_Unload(bool chkStartup) {
  SystemError machineErr;
  SystemError userErr;
  if (chkStartup) {
    // The machine's key starts the monitor for every user, but only an
    // administrator may write it; the user's own key serves the rest.
    const std::string data = RunData();
    if (WriteRegString(sys_.registry, RegRoot::LocalMachine, kRunKey, kRunValueName, data,
                       &machineErr))
      return;
    if (WriteRegString(sys_.registry, RegRoot::CurrentUser, kRunKey, kRunValueName, data, &userErr))
      return;
    desktop_.ShowBox("The start-up setting cannot be written: " + machineErr.Describe() + "; " +
                         userErr.Describe(),
                     "Startup Settings", BoxButtons::Ok, BoxIcon::Exclamation);
    return;
  }
  // Cleared: gone from both keys. A value that is not there is no failure.
  bool refused = false;
  for (auto [root, err] :
       {std::pair{RegRoot::LocalMachine, &machineErr}, std::pair{RegRoot::CurrentUser, &userErr}}) {
    if (sys_.registry.QueryValue(root, kRunKey, kRunValueName, nullptr, nullptr, nullptr) !=
        ReadResult::Ok)
      continue;
    if (!sys_.registry.DeleteValue(root, kRunKey, kRunValueName, err)) refused = true;
  }
  if (refused) {
    std::string why = machineErr.code != 0 ? machineErr.Describe() : userErr.Describe();
    desktop_.ShowBox("The start-up setting cannot be removed: " + why, "Startup Settings",
                     BoxButtons::Ok, BoxIcon::Exclamation);
  }
}

// --- frmCheckAttached

void CheckAttachedForm::chkIgnore_Click(bool ticked) {
  WriteRegString(sys_.registry, RegRoot::LocalMachine, kProductKey, "CheckAttached",
                 ticked ? "False" : "True");
}

}  // namespace zeph
