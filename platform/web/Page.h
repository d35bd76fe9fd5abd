#pragma once

#include <cstdint>

// The page's side of the browser back end (platform/web/library.js).
extern "C" {
int disco_webgl_offered();
void disco_context_created();
void disco_context_lost();
void disco_context_restored();
void disco_gl_failed();
void disco_canvas_size(int* width, int* height);
void disco_screen_size(int* width, int* height);
int disco_full_screen_granted();
void disco_hide_cursor();
int disco_next_event(int* type, uint32_t* modifierFlags, int* character);
void disco_end(int status);
int disco_image_info(const char* path, int info[3]);
void disco_image_copy(const char* path, uint8_t* destination);
int disco_music_open(const char* path);
void disco_music_loops(int handle, int loops);
void disco_music_play(int handle);
void disco_music_close(int handle);
void disco_music_follow(int handle);
double disco_music_party_error();
int disco_party_joined();
double disco_party_start_us();
double disco_party_seconds();
}
