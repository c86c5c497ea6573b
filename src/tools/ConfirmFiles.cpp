#include "tools/ConfirmFiles.h"
