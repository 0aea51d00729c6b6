/* SPDX-License-Identifier: GPL-3.0-or-later
 *
 * Measures how long a Qt window keeps the user waiting: it sends the window the window
 * manager's ping (_NET_WM_PING, which Qt answers from its user-interface thread) again and
 * again, one at a time, 20 ms apart, and times each answer. The longest answer is the
 * longest the window stood still, to within those 20 ms.
 *
 *   freeze-meter ping WINDOW SECONDS   ping for that long; prints every answer over 100 ms
 *                                      and, at the end, the count, the median and the longest
 *   freeze-meter click X Y             a click of the left button at that place of the screen
 *
 * WINDOW is an X window id (xwininfo -name ...). Build:
 *   cc -O2 -o freeze-meter scripts/freeze-meter.c -lX11 -l:libXtst.so.6
 */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>

/* From X11/extensions/XTest.h, which only the development package has. */
extern Bool XTestFakeMotionEvent(Display*, int screen, int x, int y, unsigned long delay);
extern Bool XTestFakeButtonEvent(Display*, unsigned int button, Bool press, unsigned long delay);

static double now_ms(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static int compare(const void* a, const void* b)
{
    const double x = *(const double*)a, y = *(const double*)b;
    return x < y ? -1 : x > y;
}

/* Waits for the answer to ping number `serial`; its time in ms, or -1 after `limit` ms. */
static double await_answer(Display* display, long serial, double sent, double limit)
{
    const int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == ClientMessage && event.xclient.data.l[1] == serial)
                return now_ms() - sent;
        }
        const double left = limit - (now_ms() - sent);
        if (left <= 0)
            return -1;
        fd_set read;
        FD_ZERO(&read);
        FD_SET(fd, &read);
        struct timeval wait = { (long)(left / 1000), (long)((long)left % 1000) * 1000 };
        select(fd + 1, &read, NULL, NULL, &wait);
    }
}

static int ping(Display* display, Window window, double seconds)
{
    const Window root = DefaultRootWindow(display);
    /* Qt sends its answer to the root window. */
    XSelectInput(display, root, StructureNotifyMask | SubstructureNotifyMask);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom pingAtom = XInternAtom(display, "_NET_WM_PING", False);
    size_t count = 0, capacity = 1024;
    double* times = malloc(capacity * sizeof *times);
    const double start = now_ms();
    long serial = 0;
    while (now_ms() - start < seconds * 1000) {
        XEvent event;
        memset(&event, 0, sizeof event);
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = protocols;
        event.xclient.format = 32;
        event.xclient.data.l[0] = (long)pingAtom;
        event.xclient.data.l[1] = ++serial;
        event.xclient.data.l[2] = (long)window;
        const double sent = now_ms();
        XSendEvent(display, window, False, NoEventMask, &event);
        XFlush(display);
        double answer = await_answer(display, serial, sent, 600000);
        if (answer < 0) {
            printf("%8.0f ms: no answer within 600 s\n", sent - start);
            return 1;
        }
        if (answer > 100)
            printf("%8.0f ms: answered after %.0f ms\n", sent - start, answer);
        if (count == capacity)
            times = realloc(times, (capacity *= 2) * sizeof *times);
        times[count++] = answer;
        struct timespec pause = { 0, 20 * 1000000 };
        nanosleep(&pause, NULL);
    }
    qsort(times, count, sizeof *times, compare);
    printf("%zu answers over %.0f s: median %.1f ms, longest %.1f ms\n", count, seconds, times[count / 2],
        times[count - 1]);
    free(times);
    return 0;
}

int main(int argc, char** argv)
{
    setvbuf(stdout, NULL, _IOLBF, 0);
    Display* display = XOpenDisplay(NULL);
    if (!display) {
        fprintf(stderr, "freeze-meter: no display\n");
        return 2;
    }
    if (argc == 4 && !strcmp(argv[1], "ping"))
        return ping(display, (Window)strtoul(argv[2], NULL, 0), atof(argv[3]));
    if (argc == 4 && !strcmp(argv[1], "click")) {
        XTestFakeMotionEvent(display, -1, atoi(argv[2]), atoi(argv[3]), 0);
        XTestFakeButtonEvent(display, 1, True, 0);
        XTestFakeButtonEvent(display, 1, False, 0);
        XFlush(display);
        XCloseDisplay(display);
        return 0;
    }
    fprintf(stderr, "usage: freeze-meter ping WINDOW SECONDS | click X Y\n");
    return 2;
}
