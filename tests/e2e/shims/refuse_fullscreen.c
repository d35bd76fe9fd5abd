/* Preloaded by an end-to-end test: the displays cannot be taken, as when the window system
 * refuses full screen or another client (a screen locker) holds the keyboard, so the demo has
 * to carry on in its window. */
typedef struct SDL_Window SDL_Window;

int SDL_SetWindowFullscreen(SDL_Window* window, unsigned int flags) {
  (void)window;
  (void)flags;
  return -1;
}

/* Xlib's answer when another client has the keyboard. */
int XGrabKeyboard(void* display, unsigned long window, int owner_events, int pointer_mode, int keyboard_mode,
                  unsigned long time) {
  (void)display, (void)window, (void)owner_events, (void)pointer_mode, (void)keyboard_mode, (void)time;
  return 1; /* AlreadyGrabbed */
}
