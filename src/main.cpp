// ZephMonitor: adapts the controller to the game that is running.
#include "monitor/MainForm.h"
#include "setup/Journal.h"
#include "system/Seam.h"
#include "tray/Desktop.h"

int main(int argc, char** argv) {
  zeph::PlatformSystem system = zeph::CreatePlatformSystem(argc, argv);
  std::unique_ptr<zeph::Desktop> desktop = zeph::CreatePlatformDesktop(*system.loop);
  // The set-up pass's journal, in the user's own data folder.
  const std::string data = system.program->DataFolder();
  zeph::JournaledSystem journaled(system.Seam(), data.empty() ? "" : data + "\\journal");
  zeph::MainForm frmMain(journaled.Seam(), *desktop);
  frmMain.Setup().SetJournal(&journaled);
  system.loop->SetCommands(&frmMain);
  desktop->SetCommands(&frmMain);
  frmMain.Form_Load();
  system.loop->Run();
  return 0;
}
