/* What the tests ask of kwin over its own Wayland protocols:
 *   kwin_control outputs         one line per output, "NAME X Y WIDTH HEIGHT" (logical pixels),
 *                                then "order NAME..." (kwin's output order, the primary first)
 *   kwin_control order NAME...   makes that the output order (every output named once)
 *   kwin_control scale NAME S    sets output NAME's scale to S (fractional too, as in 1.25)
 *   kwin_control key CODE        one press and release of evdev key CODE through fake input
 *   kwin_control click X Y CODE  the pointer to X Y (logical pixels), one click of evdev button CODE
 *   kwin_control pointer         keeps a fake input device, a pointer, on the seat until ended
 * Exit status 0 on success, 1 when kwin refuses or lacks what is asked. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wayland-client.h>

#include "fake-input-client-protocol.h"
#include "kde-output-device-v2-client-protocol.h"
#include "kde-output-management-v2-client-protocol.h"
#include "kde-output-order-v1-client-protocol.h"

#define MAX_OUTPUTS 16

struct mode {
    int width, height;
};

struct device {
    struct kde_output_device_v2 *proxy;
    char name[64];
    int x, y;
    double scale;
    struct mode *current;
};

static struct device devices[MAX_OUTPUTS];
static int device_count;
static char order[512];
static int order_done;
static struct kde_output_management_v2 *management;
static struct org_kde_kwin_fake_input *fake_input;
static struct kde_output_order_v1 *output_order;
static int applied = -1; /* 1 applied, 0 failed, -1 not yet answered */

/* The events no command needs, each with its slot's exact type: libwayland calls them through it. */
static void mode_ignore(void *data, struct kde_output_device_mode_v2 *proxy) { (void)data, (void)proxy; }
static void mode_ignore_int(void *data, struct kde_output_device_mode_v2 *proxy, int32_t value)
{
    (void)data, (void)proxy, (void)value;
}
static void device_ignore(void *data, struct kde_output_device_v2 *proxy) { (void)data, (void)proxy; }
static void device_ignore_int(void *data, struct kde_output_device_v2 *proxy, int32_t value)
{
    (void)data, (void)proxy, (void)value;
}
static void device_ignore_uint(void *data, struct kde_output_device_v2 *proxy, uint32_t value)
{
    (void)data, (void)proxy, (void)value;
}
static void device_ignore_string(void *data, struct kde_output_device_v2 *proxy, const char *value)
{
    (void)data, (void)proxy, (void)value;
}
static void global_remove(void *data, struct wl_registry *registry, uint32_t id) { (void)data, (void)registry, (void)id; }

static void mode_size(void *data, struct kde_output_device_mode_v2 *proxy, int32_t width, int32_t height)
{
    (void)proxy;
    struct mode *mode = data;
    mode->width = width;
    mode->height = height;
}

static const struct kde_output_device_mode_v2_listener mode_listener = {
    .size = mode_size, .refresh = mode_ignore_int, .preferred = mode_ignore, .removed = mode_ignore};

static void device_geometry(void *data, struct kde_output_device_v2 *proxy, int32_t x, int32_t y, int32_t pw,
                            int32_t ph, int32_t subpixel, const char *make, const char *model, int32_t transform)
{
    (void)proxy, (void)pw, (void)ph, (void)subpixel, (void)make, (void)model, (void)transform;
    struct device *device = data;
    device->x = x;
    device->y = y;
}

static void device_mode(void *data, struct kde_output_device_v2 *proxy, struct kde_output_device_mode_v2 *mode)
{
    (void)data, (void)proxy;
    kde_output_device_mode_v2_add_listener(mode, &mode_listener, calloc(1, sizeof(struct mode)));
}

static void device_current_mode(void *data, struct kde_output_device_v2 *proxy, struct kde_output_device_mode_v2 *mode)
{
    (void)proxy;
    ((struct device *)data)->current = wl_proxy_get_user_data((struct wl_proxy *)mode);
}

static void device_scale(void *data, struct kde_output_device_v2 *proxy, wl_fixed_t scale)
{
    (void)proxy;
    ((struct device *)data)->scale = wl_fixed_to_double(scale);
}

static void device_name(void *data, struct kde_output_device_v2 *proxy, const char *name)
{
    (void)proxy;
    snprintf(((struct device *)data)->name, sizeof devices[0].name, "%s", name);
}

static const struct kde_output_device_v2_listener device_listener = {
    .geometry = device_geometry, .current_mode = device_current_mode, .mode = device_mode, .done = device_ignore,
    .scale = device_scale, .edid = device_ignore_string, .enabled = device_ignore_int, .uuid = device_ignore_string,
    .serial_number = device_ignore_string, .eisa_id = device_ignore_string, .capabilities = device_ignore_uint,
    .overscan = device_ignore_uint, .vrr_policy = device_ignore_uint, .rgb_range = device_ignore_uint,
    .name = device_name};

/* Each announcement of the order starts a new list. */
static void order_output(void *data, struct kde_output_order_v1 *proxy, const char *name)
{
    (void)data, (void)proxy;
    if (order_done) {
        order[0] = '\0';
        order_done = 0;
    }
    strncat(order, " ", sizeof order - strlen(order) - 1);
    strncat(order, name, sizeof order - strlen(order) - 1);
}

static void order_list_done(void *data, struct kde_output_order_v1 *proxy)
{
    (void)data, (void)proxy;
    order_done = 1;
}

static const struct kde_output_order_v1_listener order_listener = {.output = order_output, .done = order_list_done};

static void config_applied(void *data, struct kde_output_configuration_v2 *proxy)
{
    (void)data, (void)proxy;
    applied = 1;
}

static void config_failed(void *data, struct kde_output_configuration_v2 *proxy)
{
    (void)data, (void)proxy;
    applied = 0;
}

static const struct kde_output_configuration_v2_listener config_listener = {.applied = config_applied,
                                                                            .failed = config_failed};

static void global(void *data, struct wl_registry *registry, uint32_t id, const char *interface, uint32_t version)
{
    (void)data;
    if (!strcmp(interface, kde_output_device_v2_interface.name) && version >= 2 && device_count < MAX_OUTPUTS) {
        struct device *device = &devices[device_count++];
        device->scale = 1;
        device->proxy = wl_registry_bind(registry, id, &kde_output_device_v2_interface, 2);
        kde_output_device_v2_add_listener(device->proxy, &device_listener, device);
    } else if (!strcmp(interface, kde_output_management_v2_interface.name) && version >= 3) {
        management = wl_registry_bind(registry, id, &kde_output_management_v2_interface, 3);
    } else if (!strcmp(interface, kde_output_order_v1_interface.name)) {
        output_order = wl_registry_bind(registry, id, &kde_output_order_v1_interface, 1);
        kde_output_order_v1_add_listener(output_order, &order_listener, NULL);
    } else if (!strcmp(interface, org_kde_kwin_fake_input_interface.name) && version >= 4) {
        fake_input = wl_registry_bind(registry, id, &org_kde_kwin_fake_input_interface, 4);
    }
}

static const struct wl_registry_listener registry_listener = {.global = global, .global_remove = global_remove};

static int print_outputs(void)
{
    for (int i = 0; i < device_count; i++) {
        struct device *d = &devices[i];
        if (!d->current)
            continue; /* disabled */
        printf("%s %d %d %d %d\n", d->name, d->x, d->y, (int)(d->current->width / d->scale + 0.5),
               (int)(d->current->height / d->scale + 0.5));
    }
    printf("order%s\n", order);
    return output_order && order_done ? 0 : 1;
}

static struct device *find_device(const char *name)
{
    for (int i = 0; i < device_count; i++)
        if (!strcmp(devices[i].name, name))
            return &devices[i];
    fprintf(stderr, "no output %s\n", name);
    return NULL;
}

static struct kde_output_configuration_v2 *new_config(void)
{
    if (!management)
        return fprintf(stderr, "no kde_output_management_v2 v3\n"), NULL;
    struct kde_output_configuration_v2 *config = kde_output_management_v2_create_configuration(management);
    kde_output_configuration_v2_add_listener(config, &config_listener, NULL);
    return config;
}

/* Applies `config` and waits for kwin's answer: 0 when applied. */
static int apply(struct wl_display *display, struct kde_output_configuration_v2 *config, const char *what)
{
    kde_output_configuration_v2_apply(config);
    while (applied < 0 && wl_display_dispatch(display) >= 0) {
    }
    if (applied != 1)
        fprintf(stderr, "kwin refused the %s\n", what);
    return applied == 1 ? 0 : 1;
}

static int set_order(struct wl_display *display, int count, char **names)
{
    struct kde_output_configuration_v2 *config = new_config();
    if (!config)
        return 1;
    for (int n = 0; n < count; n++) {
        struct device *device = find_device(names[n]);
        if (!device)
            return 1;
        kde_output_configuration_v2_set_priority(config, device->proxy, n + 1);
    }
    return apply(display, config, "output order");
}

static int set_scale(struct wl_display *display, const char *name, const char *text)
{
    char *end;
    double scale = strtod(text, &end);
    /* kwin answers "applied" to a scale that is 0 as wl_fixed, and keeps the old one. */
    if (*end || !(scale >= 1.0 / 256 && scale <= 16))
        return fprintf(stderr, "not a scale: %s\n", text), 1;
    struct device *device = find_device(name);
    struct kde_output_configuration_v2 *config = device ? new_config() : NULL;
    if (!config)
        return 1;
    kde_output_configuration_v2_scale(config, device->proxy, wl_fixed_from_double(scale));
    return apply(display, config, "scale");
}

static int fake_input_ready(const char *what)
{
    if (!fake_input)
        return fprintf(stderr, "no org_kde_kwin_fake_input v4\n"), 0;
    org_kde_kwin_fake_input_authenticate(fake_input, "disco tests", what);
    return 1;
}

static int press_key(struct wl_display *display, unsigned code)
{
    if (!fake_input_ready("presses keys for the end-to-end tests"))
        return 1;
    org_kde_kwin_fake_input_keyboard_key(fake_input, code, 1);
    org_kde_kwin_fake_input_keyboard_key(fake_input, code, 0);
    return wl_display_roundtrip(display) < 0;
}

static int click(struct wl_display *display, double x, double y, unsigned button)
{
    if (!fake_input_ready("clicks for the end-to-end tests"))
        return 1;
    org_kde_kwin_fake_input_pointer_motion_absolute(fake_input, wl_fixed_from_double(x), wl_fixed_from_double(y));
    org_kde_kwin_fake_input_button(fake_input, button, 1);
    org_kde_kwin_fake_input_button(fake_input, button, 0);
    return wl_display_roundtrip(display) < 0;
}

static int hold_pointer(struct wl_display *display)
{
    if (!fake_input_ready("a pointer for the end-to-end tests"))
        return 1;
    while (wl_display_dispatch(display) >= 0) {
    }
    return 0;
}

int main(int argc, char **argv)
{
    struct wl_display *display = wl_display_connect(NULL);
    if (!display)
        return fprintf(stderr, "cannot connect to the Wayland display\n"), 1;
    wl_registry_add_listener(wl_display_get_registry(display), &registry_listener, NULL);
    /* Globals, then what each sends on binding, then the sizes of the modes announced. */
    for (int i = 0; i < 3; i++)
        wl_display_roundtrip(display);
    int status = 2;
    if (argc == 2 && !strcmp(argv[1], "outputs"))
        status = print_outputs();
    else if (argc >= 3 && !strcmp(argv[1], "order"))
        status = set_order(display, argc - 2, argv + 2);
    else if (argc == 4 && !strcmp(argv[1], "scale"))
        status = set_scale(display, argv[2], argv[3]);
    else if (argc == 3 && !strcmp(argv[1], "key"))
        status = press_key(display, (unsigned)atoi(argv[2]));
    else if (argc == 5 && !strcmp(argv[1], "click"))
        status = click(display, atof(argv[2]), atof(argv[3]), (unsigned)atoi(argv[4]));
    else if (argc == 2 && !strcmp(argv[1], "pointer"))
        status = hold_pointer(display);
    else
        fprintf(stderr, "usage: %s outputs | order NAME... | scale NAME SCALE | key CODE | click X Y CODE | pointer\n",
                argv[0]);
    wl_display_disconnect(display);
    return status;
}
