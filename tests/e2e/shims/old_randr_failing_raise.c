/* Preloaded by an end-to-end test: the demo's own X calls meet a server with RandR 1.1 (no
 * CRTCs, no monitor list) and a raise that fails with an X error each time. Calls made by
 * libraries (SDL, Xrandr itself) go through untouched. A call RandR 1.1 does not have ends the process with status 3, as a
 * server would answer it with an error. */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int from_library(void* caller) {
  Dl_info info;
  return dladdr(caller, &info) && info.dli_fname && strstr(info.dli_fname, ".so");
}

#define REAL(name, type) ((type)dlsym(RTLD_NEXT, name))

Status XRRQueryVersion(Display* display, int* major, int* minor) {
  if (from_library(__builtin_return_address(0)))
    return REAL("XRRQueryVersion", Status (*)(Display*, int*, int*))(display, major, minor);
  *major = 1;
  *minor = 1;
  return 1;
}

static void not_in_randr_1_1(void* caller, const char* call) {
  if (from_library(caller)) return;
  fprintf(stderr, "%s called, but RandR is 1.1\n", call);
  exit(3);
}

void* XRRGetMonitors(Display* d, Window w, Bool active, int* n) {
  not_in_randr_1_1(__builtin_return_address(0), "XRRGetMonitors");
  return REAL("XRRGetMonitors", void* (*)(Display*, Window, Bool, int*))(d, w, active, n);
}

void* XRRGetScreenResourcesCurrent(Display* d, Window w) {
  not_in_randr_1_1(__builtin_return_address(0), "XRRGetScreenResourcesCurrent");
  return REAL("XRRGetScreenResourcesCurrent", void* (*)(Display*, Window))(d, w);
}

void* XRRGetScreenResources(Display* d, Window w) {
  not_in_randr_1_1(__builtin_return_address(0), "XRRGetScreenResources");
  return REAL("XRRGetScreenResources", void* (*)(Display*, Window))(d, w);
}

int XRaiseWindow(Display* display, Window window) {
  int (*real)(Display*, Window) = REAL("XRaiseWindow", int (*)(Display*, Window));
  if (!from_library(__builtin_return_address(0))) real(display, 0x1fffffff); /* no such window: BadWindow */
  return real(display, window);
}
