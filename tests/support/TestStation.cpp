#include "tests/support/TestStation.h"

DemoStationOptions TestStationOptions(double songSeconds) {
    DemoStationOptions options;
    options.songSeconds = songSeconds;
    options.cacheDir = LANTOR_TEST_MEDIA_DIR;
    return options;
}
