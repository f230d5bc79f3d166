/* Test tool: drops files onto an X window through XDND, as a file manager would.
 *
 * Usage: xdnd_drop [--timeout SECONDS] [--vanish] WINDOW_ID FILE...
 * Sends the files as one text/uri-list drop onto the window's centre and waits
 * for the target to finish. --vanish destroys its window before the first
 * message and quits right after the drop, as a drag source that died would.
 * Exit status 0 when the target read the files, 1 on a refusal or timeout, 2 on
 * bad usage.
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <sys/time.h>
#include <unistd.h>

enum { XDND_VERSION = 5 };

typedef struct {
    Display* display;
    Window source;
    Window target;
    Atom aware, enter, position, status, drop, finished, selection, actionCopy, uriList;
} Session;

static double Now(void)
{
    struct timeval tv;
    gettimeofday(&tv, NULL);
    return tv.tv_sec + tv.tv_usec / 1e6;
}

/* Appends text to a growing buffer; exits on allocation failure. */
static void Append(char** buffer, size_t* length, size_t* capacity, const char* text, size_t count)
{
    if (*length + count + 1 > *capacity) {
        size_t wanted = (*capacity ? *capacity * 2 : 256);
        while (wanted < *length + count + 1)
            wanted *= 2;
        char* grown = realloc(*buffer, wanted);
        if (!grown) {
            fprintf(stderr, "xdnd_drop: out of memory\n");
            exit(1);
        }
        *buffer = grown;
        *capacity = wanted;
    }
    memcpy(*buffer + *length, text, count);
    *length += count;
    (*buffer)[*length] = '\0';
}

/* Appends text with the bytes that a URI cannot hold percent-encoded. */
static void AppendEncoded(char** buffer, size_t* length, size_t* capacity, const char* text)
{
    for (const char* c = text; *c; ++c) {
        unsigned char u = (unsigned char)*c;
        if (u <= ' ' || u >= 0x7F || u == '%' || u == '#' || u == '?') {
            char piece[4];
            snprintf(piece, sizeof(piece), "%%%02X", u);
            Append(buffer, length, capacity, piece, 3);
        } else {
            Append(buffer, length, capacity, c, 1);
        }
    }
}

/* "file://" URI of a path, made absolute. */
static void AppendUri(char** buffer, size_t* length, size_t* capacity, const char* path)
{
    Append(buffer, length, capacity, "file://", 7);
    if (path[0] != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof(cwd))) {
            AppendEncoded(buffer, length, capacity, cwd);
            Append(buffer, length, capacity, "/", 1);
        }
    }
    AppendEncoded(buffer, length, capacity, path);
}

static void SendMessage(Session* s, Atom type, long l1, long l2, long l3, long l4)
{
    XEvent event;
    memset(&event, 0, sizeof(event));
    event.xclient.type = ClientMessage;
    event.xclient.display = s->display;
    event.xclient.window = s->target;
    event.xclient.message_type = type;
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)s->source;
    event.xclient.data.l[1] = l1;
    event.xclient.data.l[2] = l2;
    event.xclient.data.l[3] = l3;
    event.xclient.data.l[4] = l4;
    XSendEvent(s->display, s->target, False, NoEventMask, &event);
    XFlush(s->display);
}

/* Waits for the next event up to the deadline; 0 on timeout. */
static int NextEvent(Display* display, XEvent* event, double deadline)
{
    while (!XPending(display)) {
        double left = deadline - Now();
        if (left <= 0)
            return 0;
        fd_set fds;
        FD_ZERO(&fds);
        FD_SET(ConnectionNumber(display), &fds);
        struct timeval tv = {(time_t)left, (suseconds_t)((left - (time_t)left) * 1e6)};
        select(ConnectionNumber(display) + 1, &fds, NULL, NULL, &tv);
    }
    XNextEvent(display, event);
    return 1;
}

static void AnswerSelectionRequest(Session* s, XSelectionRequestEvent* request, const char* data,
                                   size_t length)
{
    XEvent reply;
    memset(&reply, 0, sizeof(reply));
    reply.xselection.type = SelectionNotify;
    reply.xselection.display = s->display;
    reply.xselection.requestor = request->requestor;
    reply.xselection.selection = request->selection;
    reply.xselection.target = request->target;
    reply.xselection.time = request->time;
    reply.xselection.property = None;
    if (request->requestor == s->target && request->selection == s->selection &&
        request->target == s->uriList && request->property != None) {
        XChangeProperty(s->display, request->requestor, request->property, s->uriList, 8,
                        PropModeReplace, (const unsigned char*)data, (int)length);
        reply.xselection.property = request->property;
    }
    XSendEvent(s->display, request->requestor, False, NoEventMask, &reply);
    XFlush(s->display);
}

static int Usage(void)
{
    fprintf(stderr, "usage: xdnd_drop [--timeout SECONDS] [--vanish] WINDOW_ID FILE...\n");
    return 2;
}

int main(int argc, char** argv)
{
    double timeout = 10.0;
    int vanish = 0;
    int i = 1;
    for (; i < argc && strncmp(argv[i], "--", 2) == 0; ++i) {
        if (strcmp(argv[i], "--timeout") == 0 && i + 1 < argc)
            timeout = atof(argv[++i]);
        else if (strcmp(argv[i], "--vanish") == 0)
            vanish = 1;
        else
            return Usage();
    }
    if (argc - i < 2)
        return Usage();
    char* end = NULL;
    unsigned long targetId = strtoul(argv[i], &end, 0);
    if (!end || *end || targetId == 0)
        return Usage();

    Session s;
    memset(&s, 0, sizeof(s));
    s.display = XOpenDisplay(NULL);
    if (!s.display) {
        fprintf(stderr, "xdnd_drop: cannot open the display\n");
        return 1;
    }
    s.target = (Window)targetId;
    s.aware = XInternAtom(s.display, "XdndAware", False);
    s.enter = XInternAtom(s.display, "XdndEnter", False);
    s.position = XInternAtom(s.display, "XdndPosition", False);
    s.status = XInternAtom(s.display, "XdndStatus", False);
    s.drop = XInternAtom(s.display, "XdndDrop", False);
    s.finished = XInternAtom(s.display, "XdndFinished", False);
    s.selection = XInternAtom(s.display, "XdndSelection", False);
    s.actionCopy = XInternAtom(s.display, "XdndActionCopy", False);
    s.uriList = XInternAtom(s.display, "text/uri-list", False);

    /* The target must announce XDND and a version we speak. */
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* value = NULL;
    if (XGetWindowProperty(s.display, s.target, s.aware, 0, 1, False, XA_ATOM, &type, &format,
                           &count, &after, &value) != Success || count < 1 || !value) {
        fprintf(stderr, "xdnd_drop: window 0x%lx does not accept drops\n", targetId);
        return 1;
    }
    long version = (long)*(Atom*)value;
    XFree(value);
    if (version > XDND_VERSION)
        version = XDND_VERSION;

    char* list = NULL;
    size_t length = 0, capacity = 0;
    for (int f = i + 1; f < argc; ++f) {
        AppendUri(&list, &length, &capacity, argv[f]);
        Append(&list, &length, &capacity, "\r\n", 2);
    }

    Window root = DefaultRootWindow(s.display);
    s.source = XCreateSimpleWindow(s.display, root, 0, 0, 1, 1, 0, 0, 0);

    XWindowAttributes attributes;
    int x = 0, y = 0;
    Window child;
    if (XGetWindowAttributes(s.display, s.target, &attributes))
        XTranslateCoordinates(s.display, s.target, root, attributes.width / 2,
                              attributes.height / 2, &x, &y, &child);

    if (vanish) {
        /* The source window is gone before the target reads the first message, so every
         * answer the target sends to it meets a window that no longer exists. */
        XSetSelectionOwner(s.display, s.selection, s.source, CurrentTime);
        XDestroyWindow(s.display, s.source);
        XSync(s.display, False);
        SendMessage(&s, s.enter, version << 24, (long)s.uriList, None, None);
        SendMessage(&s, s.position, 0, ((long)x << 16) | (y & 0xFFFF), CurrentTime,
                    (long)s.actionCopy);
        SendMessage(&s, s.drop, 0, CurrentTime, 0, 0);
        XCloseDisplay(s.display);
        free(list);
        return 0;
    }

    /* XdndSelection is one per display: another drag may take it while this one
     * runs, and the target then gets nothing. Such a drop is tried again. */
    const double deadline = Now() + timeout;
    int result = 1;
    int refused = 0;
    while (result != 0 && !refused && Now() < deadline) {
        XSetSelectionOwner(s.display, s.selection, s.source, CurrentTime);
        SendMessage(&s, s.enter, version << 24, (long)s.uriList, None, None);
        SendMessage(&s, s.position, 0, ((long)x << 16) | (y & 0xFFFF), CurrentTime,
                    (long)s.actionCopy);
        int dropped = 0;
        /* A target whose request went to another drag's source never finishes. */
        double attemptDeadline = Now() + 1.5;
        if (attemptDeadline > deadline)
            attemptDeadline = deadline;
        XEvent event;
        while (NextEvent(s.display, &event, attemptDeadline)) {
            if (event.type == SelectionRequest) {
                AnswerSelectionRequest(&s, &event.xselectionrequest, list, length);
            } else if (event.type == ClientMessage && event.xclient.message_type == s.status &&
                       !dropped) {
                if (!(event.xclient.data.l[1] & 1)) {
                    fprintf(stderr, "xdnd_drop: the target refused the drop\n");
                    SendMessage(&s, XInternAtom(s.display, "XdndLeave", False), 0, 0, 0, 0);
                    refused = 1;
                    break;
                }
                SendMessage(&s, s.drop, 0, CurrentTime, 0, 0);
                dropped = 1;
            } else if (event.type == ClientMessage && event.xclient.message_type == s.finished) {
                /* The target reports how much it read; nothing read means try again. */
                if (event.xclient.data.l[1] != 0)
                    result = 0;
                break;
            }
        }
    }
    if (result != 0 && !refused)
        fprintf(stderr, "xdnd_drop: the drop onto window 0x%lx was not finished in time\n",
                targetId);
    free(list);
    XDestroyWindow(s.display, s.source);
    XCloseDisplay(s.display);
    return result;
}
