/* A notification-style popup: a white override-redirect window, mapped on top of everything at
 * the given place, that lives until it is killed. Prints "mapped" once the server has mapped it.
 * With --lock it then takes the keyboard, as a screen locker does (taking the focus too, until
 * the grab is had), and prints "locked". With --circulate, each line read on standard input
 * brings it back up with XCirculateSubwindows (the lowest window covered goes on top, which
 * tells the others only by CirculateNotify), then it prints "circulated".
 * Usage: popup X Y WIDTH HEIGHT [--lock | --circulate] (DISPLAY from the environment). */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

/* Tries for the keyboard until it is had, or gives up after a minute (the test then reads no
 * "locked" and fails, rather than waiting for ever). The holder lets go once it has lost the
 * focus, and no event tells when: the grab is tried again every 2 ms. */
static void lock(Display* display, Window popup) {
  for (int attempt = 0;; ++attempt) {
    if (attempt == 30000) exit(1);
    XSetInputFocus(display, popup, RevertToParent, CurrentTime);
    if (XGrabKeyboard(display, popup, False, GrabModeAsync, GrabModeAsync, CurrentTime) == GrabSuccess) break;
    usleep(2000);
  }
  /* Whoever came over it before the grab was had (the demo still held the keyboard then) is
   * covered again, as lockers keep themselves on top. */
  XRaiseWindow(display, popup);
  XSync(display, False);
  printf("locked\n");
  fflush(stdout);
}

int main(int argc, char** argv) {
  const int locks = argc == 6 && strcmp(argv[5], "--lock") == 0;
  const int circulates = argc == 6 && strcmp(argv[5], "--circulate") == 0;
  if (argc != 5 && !locks && !circulates) return 2;
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
      if (locks) lock(display, popup);
      if (circulates) break;
    }
  }
  char line[16];
  while (fgets(line, sizeof line, stdin)) {
    XCirculateSubwindowsUp(display, DefaultRootWindow(display));
    XSync(display, False);
    printf("circulated\n");
    fflush(stdout);
  }
  return 0;
}
