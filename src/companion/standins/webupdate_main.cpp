// zephweb.exe, the stand-in web update utility.
#include "companion/standins/WindowedStandins.h"

int main() { return zeph::standin::RunWebUpdate(); }
