#pragma once
#include "tests/install/ChildProcess.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

struct _XDisplay;

// A private X server (Xvfb) and a connection to it, to use the program's windows as a person
// would: find a window by its title, click, type, close it with the close box. Without a
// window manager a top-level window's X coordinates are its client area's.
class XScreen {
public:
    explicit XScreen(const std::filesystem::path& log);
    ~XScreen();
    XScreen(const XScreen&) = delete;
    XScreen& operator=(const XScreen&) = delete;

    bool Ready() const { return display_ != nullptr; }
    const std::string& Name() const { return name_; } // ":N", for DISPLAY

    // The first shown top-level window whose title holds text (UTF-8); 0 when none shows in time.
    unsigned long FindWindow(const std::string& text, std::chrono::milliseconds timeout);
    std::string Title(unsigned long window);
    void Click(unsigned long window, int x, int y);
    // Printable ASCII only, as keys of the server's US layout.
    void Type(unsigned long window, const std::string& text);
    // What the close box does: WM_DELETE_WINDOW.
    void Close(unsigned long window);

private:
    std::unique_ptr<ChildProcess> server_;
    _XDisplay* display_ = nullptr;
    std::string name_;
};
