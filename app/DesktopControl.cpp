#include "app/DesktopControl.h"

void DesktopControl::PlayPause() {
    if (Snapshot().playback == Playback::kPlaying)
        Pause();
    else
        Play();
}
