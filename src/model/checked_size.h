// Checked size arithmetic lives with the platform layer, which needs it too; model code includes it
// from here as it always has.
#pragma once

#include "platform/checked_size.h"
