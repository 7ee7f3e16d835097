#pragma once

// The run monitor has no widgets and lives with the training core.
#include "training/runmonitor.h"
