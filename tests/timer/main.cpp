#include <QApplication>

#include "QtTestMain.h"

SEDALYN_QTEST_MAIN
