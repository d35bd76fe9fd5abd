/* A window for the tests to click at: full screen, white, on the monitor SDL lists at X Y.
 *   witness X Y
 * Prints "shown" once drawn, then "press BUTTON X Y" for each mouse button pressed on it, where
 * in the window. */
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    if (argc != 3)
        return fprintf(stderr, "usage: %s X Y\n", argv[0]), 2;
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return fprintf(stderr, "SDL_Init: %s\n", SDL_GetError()), 1;
    SDL_Point at = {atoi(argv[1]), atoi(argv[2])};
    int display = -1;
    for (int i = 0; i < SDL_GetNumVideoDisplays() && display < 0; i++) {
        SDL_Rect bounds;
        if (SDL_GetDisplayBounds(i, &bounds) == 0 && SDL_PointInRect(&at, &bounds))
            display = i;
    }
    if (display < 0)
        return fprintf(stderr, "no display at %d %d\n", at.x, at.y), 1;
    SDL_Window *window = SDL_CreateWindow("witness", SDL_WINDOWPOS_CENTERED_DISPLAY(display),
                                          SDL_WINDOWPOS_CENTERED_DISPLAY(display), 640, 480,
                                          SDL_WINDOW_FULLSCREEN_DESKTOP);
    SDL_Renderer *renderer = window ? SDL_CreateRenderer(window, -1, 0) : NULL;
    if (!renderer)
        return fprintf(stderr, "no window: %s\n", SDL_GetError()), 1;
    int shown = 0;
    for (;;) {
        SDL_Event event;
        /* A press is printed as it comes; between them the window is drawn again now and then,
         * as a compositor may drop a buffer while it moves the window. */
        while (SDL_WaitEventTimeout(&event, 50)) {
            if (event.type == SDL_QUIT)
                return 0;
            if (event.type == SDL_MOUSEBUTTONDOWN)
                printf("press %d %d %d\n", event.button.button, event.button.x, event.button.y), fflush(stdout);
        }
        SDL_SetRenderDrawColor(renderer, 255, 255, 255, 255);
        SDL_RenderClear(renderer);
        SDL_RenderPresent(renderer);
        if (!shown++)
            puts("shown"), fflush(stdout);
    }
}
