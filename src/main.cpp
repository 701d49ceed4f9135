// ZephMonitor: adapts the controller to the game that is running.
#include "monitor/MainForm.h"
#include "system/Seam.h"
#include "tray/Desktop.h"

int main(int argc, char** argv) {
  zeph::PlatformSystem system = zeph::CreatePlatformSystem(argc, argv);
  std::unique_ptr<zeph::Desktop> desktop = zeph::CreatePlatformDesktop();
  zeph::MainForm frmMain(system.Seam(), *desktop);
  system.loop->SetCommands(&frmMain);
  desktop->SetCommands(&frmMain);
  frmMain.Form_Load();
  system.loop->Run();
  return 0;
}
