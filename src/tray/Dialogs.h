// The logic of the three dialogs, apart from how a platform draws them: the
// desktop shows a form's dialog and calls its event handlers; everything the
// dialog reads or writes (registry, programs, addresses) happens here.
#pragma once

#include <string>

#include "system/Registry.h"
#include "system/Seam.h"
#include "tray/Desktop.h"

namespace zeph {

// The program's title and the version text the About dialog shows.
extern const char* const kVersionText;  // "Thalix Monitor v5.1.0.12"
// Where the start-up setting lives, under both roots.
extern const char* const kRunKey;        // "Software\Microsoft\Windows\CurrentVersion\Run"
extern const char* const kRunValueName;  // "Zeph Monitor"

// Texts of the About dialog that are ours to give.
extern const char* const kAboutInfoText;  // "For information and software updates, visit ..."
extern const char* const kAboutCredit;
extern const char* const kAuthorWebPage;
extern const char* const kAuthorMail;

// frmAbout: caption, version, the links and "System Info...".
class AboutForm {
 public:
  AboutForm(SystemSeam sys, Desktop& desktop) : sys_(sys), desktop_(desktop) {}

  void Form_Load();
  std::string caption;     // set by Form_Load
  std::string lblVersion;  // set by Form_Load

  void cmdSysInfo_Click() { StartSysInfo(); }
  void lblWebLink_Click();
  void lblMailLink_Click();
  // Starts the system-information tool, or says it is unavailable.
  void StartSysInfo();
  // Reads a string value; false (and keyVal empty) when the key or the value
  // cannot be read. Other types give the empty text.
  bool GetKeyValue(RegRoot keyRoot, const std::string& keyName, const std::string& subKeyRef,
                   std::string& keyVal);
  // "mailto:" + address + "?subject=" + version text.
  static std::string MailLink();

 private:
  SystemSeam sys_;
  Desktop& desktop_;
};

// frmStartUp: whether the monitor starts when the user logs on. The machine's
// Run key first; where that is refused, the user's own.
class StartUpForm {
 public:
  StartUpForm(SystemSeam sys, Desktop& desktop, std::string exeBaseName)
      : sys_(sys), desktop_(desktop), exeBaseName_(std::move(exeBaseName)) {}

  // Whether the box starts ticked: either Run value names this executable.
  bool Form_Load();
  // Every close: writes the Run value when ticked, deletes it from both
  // roots otherwise. A box says so when neither root takes the change.
  void Form_Unload(bool chkStartup);
  // The Run data: this executable's path in double quotes.
  std::string RunData() const;

 private:
  std::string RunText(RegRoot root);
  SystemSeam sys_;
  Desktop& desktop_;
  std::string exeBaseName_;
};

// frmCheckAttached: the reminder to attach the controller.
class CheckAttachedForm {
 public:
  explicit CheckAttachedForm(SystemSeam sys) : sys_(sys) {}
  // The check box "Do not display this error in the future", after a click.
  void chkIgnore_Click(bool ticked);

 private:
  SystemSeam sys_;
};

}  // namespace zeph
