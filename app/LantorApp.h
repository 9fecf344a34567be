#pragma once

// The program's run: the login dialog (unless the remembered account signs in by itself), then
// the main window. Returns the main window's end code, or 0 when it never ran. Needs a
// QApplication.
int RunLantorFM();
