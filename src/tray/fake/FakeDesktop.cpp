#include "tray/fake/FakeDesktop.h"

#include "tray/Dialogs.h"

namespace zeph {

void FakeDesktop::ShowAbout(AboutForm& form) {
  form.Form_Load();
  aboutSeen.push_back(form.caption + "|" + form.lblVersion);
  RecordingDesktop::ShowAbout(form);
  if (onAbout) onAbout(form);
}

void FakeDesktop::ShowStartUp(StartUpForm& form) {
  bool ticked = form.Form_Load();
  startUpLoaded.push_back(ticked);
  RecordingDesktop::ShowStartUp(form);
  if (onStartUp) onStartUp(form, ticked);
  form.Form_Unload(ticked);
}

}  // namespace zeph
