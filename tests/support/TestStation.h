#pragma once
#include "tools/DemoStation.h"

// A station for tests: every song songSeconds long, its media made once per build into the build
// folder and read back by every later test, so that a test start costs no generation.
DemoStationOptions TestStationOptions(double songSeconds);
