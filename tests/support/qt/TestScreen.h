#pragma once
#include "tests/install/XScreen.h"

// The private X server the test process's widgets are on (test mains built with
// LANTOR_TEST_XVFB).
XScreen& TestScreen();
