/* A notification-style popup: a white override-redirect window, mapped on top of everything at
 * the given place, that lives until it is killed. Prints "mapped" once the server has mapped it.
 * Usage: popup X Y WIDTH HEIGHT (DISPLAY from the environment). */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv) {
  if (argc != 5) return 2;
  Display* display = XOpenDisplay(NULL);
  if (!display) return 2;
  XSetWindowAttributes attributes;
  attributes.override_redirect = True;
  attributes.background_pixel = WhitePixel(display, DefaultScreen(display));
  attributes.event_mask = StructureNotifyMask;
  Window popup = XCreateWindow(display, DefaultRootWindow(display), atoi(argv[1]), atoi(argv[2]),
                               (unsigned)atoi(argv[3]), (unsigned)atoi(argv[4]), 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
  XMapRaised(display, popup);
  for (;;) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == MapNotify) {
      printf("mapped\n");
      fflush(stdout);
    }
  }
}
