// STUB
#include "AppIcon.h"
QIcon ApplicationIcon() { return {}; }
