/* Test tool: asks an X window to close, as a window manager's close button does
 * (a WM_DELETE_WINDOW message of the WM_PROTOCOLS kind).
 *
 * Usage: wm_close WINDOW_ID. Exit status 0 when the message was sent.
 */
#include <X11/Xlib.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: wm_close WINDOW_ID\n");
        return 2;
    }
    char* end = NULL;
    unsigned long window = strtoul(argv[1], &end, 0);
    if (!end || *end || window == 0) {
        fprintf(stderr, "usage: wm_close WINDOW_ID\n");
        return 2;
    }
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "wm_close: cannot open the display\n");
        return 1;
    }
    XEvent event;
    memset(&event, 0, sizeof(event));
    event.xclient.type = ClientMessage;
    event.xclient.window = (Window)window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, (Window)window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return 0;
}
