#include "tests/install/XScreen.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kServerStartMs = 60000;

// A window may go away between listing and asking; that is no reason to end the test.
int IgnoreErrors(Display*, XErrorEvent*) {
    return 0;
}

std::string Property(Display* d, Window w, Atom name, Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string text;
    if (XGetWindowProperty(d, w, name, 0, 4096, False, type, &actual, &format, &count, &after,
                           &data) == Success &&
        data) {
        if (actual == type && format == 8)
            text.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return text;
}

} // namespace

XScreen::XScreen(const std::filesystem::path& log) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return;
    // Xvfb picks a free display number and reports it once it accepts connections.
    server_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24",
                                 "-nolisten", "tcp"},
        std::vector<std::string>{"PATH=/usr/bin:/bin"}, log, fds[1]);
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c = 0;
    while (server_->Started() && poll(&p, 1, kServerStartMs) == 1 && read(fds[0], &c, 1) == 1 &&
           c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty())
        return;
    name_ = ":" + number;
    XSetErrorHandler(IgnoreErrors);
    display_ = XOpenDisplay(name_.c_str());
}

XScreen::~XScreen() {
    if (display_)
        XCloseDisplay(display_);
}

unsigned long XScreen::FindWindow(const std::string& text, std::chrono::milliseconds timeout) {
    if (!display_)
        return 0;
    const auto end = std::chrono::steady_clock::now() + timeout;
    do {
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        Window found = 0;
        if (XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) {
            for (unsigned i = 0; i < count && !found; ++i) {
                XWindowAttributes a;
                if (XGetWindowAttributes(display_, children[i], &a) && a.map_state == IsViewable &&
                    Title(children[i]).find(text) != std::string::npos)
                    found = children[i];
            }
            if (children)
                XFree(children);
        }
        if (found)
            return found;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < end);
    return 0;
}

std::string XScreen::Title(unsigned long window) {
    return Property(display_, window, XInternAtom(display_, "_NET_WM_NAME", False),
                    XInternAtom(display_, "UTF8_STRING", False));
}

void XScreen::Click(unsigned long window, int x, int y) {
    int rx = 0, ry = 0;
    Window child = 0;
    XTranslateCoordinates(display_, window, DefaultRootWindow(display_), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(display_, -1, rx, ry, CurrentTime);
    XTestFakeButtonEvent(display_, 1, True, CurrentTime);
    XTestFakeButtonEvent(display_, 1, False, CurrentTime);
    XSync(display_, False);
}

void XScreen::Type(unsigned long window, const std::string& text) {
    XSetInputFocus(display_, window, RevertToPointerRoot, CurrentTime);
    const KeyCode shift = XKeysymToKeycode(display_, XK_Shift_L);
    for (char c : text) {
        // Printable ASCII characters are their own key symbols.
        const KeySym sym = static_cast<unsigned char>(c);
        const KeyCode key = XKeysymToKeycode(display_, sym);
        const bool shifted = XkbKeycodeToKeysym(display_, key, 0, 0) != sym;
        if (shifted)
            XTestFakeKeyEvent(display_, shift, True, CurrentTime);
        XTestFakeKeyEvent(display_, key, True, CurrentTime);
        XTestFakeKeyEvent(display_, key, False, CurrentTime);
        if (shifted)
            XTestFakeKeyEvent(display_, shift, False, CurrentTime);
    }
    XSync(display_, False);
}

void XScreen::Close(unsigned long window) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, window, False, NoEventMask, &e);
    XSync(display_, False);
}
