// STUB (replaced by the tray work)
#include "TrayIcon.h"
void AddTrayIcon(TTrayIconData) {}
bool RemoveTrayIcon(TTrayIconData) { return false; }
