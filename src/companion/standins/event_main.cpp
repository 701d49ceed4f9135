// ZephEvent.exe, the stand-in event utility.
#include "companion/standins/WindowedStandins.h"

int main() { return zeph::standin::RunEventUtility(); }
