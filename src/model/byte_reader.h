// The bounded reader lives with the platform layer, which parses persisted state with it too; model
// code includes it from here as it always has.
#pragma once

#include "platform/byte_reader.h"
