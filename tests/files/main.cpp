#include "QtTestMain.h"

SEDALYN_QTEST_CORE_MAIN
