/* Preloaded by an end-to-end test: the display refuses to go full screen, as some window
 * systems do, so the demo has to carry on in its window. */
typedef struct SDL_Window SDL_Window;

int SDL_SetWindowFullscreen(SDL_Window* window, unsigned int flags) {
  (void)window;
  (void)flags;
  return -1;
}
