#pragma once

// The program's run: the login dialog (unless the remembered account signs in by itself), then
// the main window, on the session bus as a media player with song notifications. Returns the
// main window's end code, or 0 when it never ran; also 0 at once when LantorFM already runs in
// the current folder, whose window is raised instead. Needs a QApplication.
int RunLantorFM();
