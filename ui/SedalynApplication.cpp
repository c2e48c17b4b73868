// STUB
#include "SedalynApplication.h"
