#include "support/death.h"
