/* A pointer on a wlroots compositor's seat, there until this ends: with none the seat offers no
 * pointer, and its cursor commands (swaymsg seat - cursor ...) reach no client. Prints "ready"
 * once the compositor has it. */
#include <stdio.h>
#include <string.h>
#include <unistd.h>
#include <wayland-client.h>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

static struct zwlr_virtual_pointer_manager_v1 *manager;

static void global(void *data, struct wl_registry *registry, uint32_t id, const char *interface, uint32_t version)
{
    (void)data, (void)version;
    if (!strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name))
        manager = wl_registry_bind(registry, id, &zwlr_virtual_pointer_manager_v1_interface, 1);
}

static void global_remove(void *data, struct wl_registry *registry, uint32_t id) { (void)data, (void)registry, (void)id; }

static const struct wl_registry_listener registry_listener = {.global = global, .global_remove = global_remove};

int main(void)
{
    struct wl_display *display = wl_display_connect(NULL);
    if (!display)
        return fprintf(stderr, "cannot connect to the Wayland display\n"), 1;
    wl_registry_add_listener(wl_display_get_registry(display), &registry_listener, NULL);
    wl_display_roundtrip(display);
    if (!manager)
        return fprintf(stderr, "no zwlr_virtual_pointer_manager_v1\n"), 1;
    zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, NULL);
    if (wl_display_roundtrip(display) < 0)
        return fprintf(stderr, "the compositor refused the pointer\n"), 1;
    puts("ready");
    fflush(stdout);
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}
