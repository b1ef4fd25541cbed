// Asks a window to close the way a window manager does when the user clicks
// its close box: a WM_DELETE_WINDOW message, which the program answers with
// its own close handler (saving, page loop), unlike `xdotool windowclose`,
// which destroys the window under the program's feet. The real-window
// checks run without a window manager, so they send it themselves.
//
// Usage: close_window WINDOW_ID   (decimal or 0x hex, as xdotool prints it)
// Exit status 1 when the window does not take the message.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: close_window WINDOW_ID\n");
        return 1;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "close_window: no X display\n");
        return 1;
    }
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);

    // a window manager sends the message only to windows that ask for it
    Atom* taken = nullptr;
    int count = 0;
    bool asks = false;
    if (XGetWMProtocols(display, window, &taken, &count)) {
        for (int i = 0; i < count; ++i)
            asks = asks || taken[i] == deleteWindow;
        XFree(taken);
    }
    if (!asks) {
        std::fprintf(stderr, "close_window: window %s does not take WM_DELETE_WINDOW\n", argv[1]);
        XCloseDisplay(display);
        return 1;
    }

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
