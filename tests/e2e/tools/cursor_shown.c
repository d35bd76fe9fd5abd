/* Prints 1 when the X server shows a visible cursor at the pointer's position, 0 when the
 * cursor there is fully transparent (hidden). Usage: cursor_shown (DISPLAY from the environment). */
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <stdio.h>

int main(void) {
  Display* display = XOpenDisplay(NULL);
  if (!display) return 2;
  int event_base, error_base;
  if (!XFixesQueryExtension(display, &event_base, &error_base)) return 2;
  XFixesCursorImage* image = XFixesGetCursorImage(display);
  if (!image) return 2;
  int shown = 0;
  for (int i = 0; i < image->width * image->height; ++i)
    if ((image->pixels[i] >> 24) & 0xff) shown = 1;
  printf("%d\n", shown);
  XFree(image);
  XCloseDisplay(display);
  return 0;
}
