// STUB (replaced by the disclaimer work)
#include "Unit2.h"
