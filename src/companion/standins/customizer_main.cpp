// zephcfg.exe, the stand-in customizer.
#include "companion/standins/WindowedStandins.h"

int main() { return zeph::standin::RunCustomizer(); }
