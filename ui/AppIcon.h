#pragma once
// STUB
#include <QIcon>
QIcon ApplicationIcon();
