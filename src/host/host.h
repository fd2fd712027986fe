// The host interface: the one door between the patcher window's code and a
// platform. The patcher's start-up and frame loop call only these operations;
// each platform implements them in its own folder, and its host_window.h
// (found through the build's include path) defines the HostWindow record.
#pragma once

#include <stdint.h>

#include "host_window.h"   // also brings host_shared.h: the window modes
#include "nuklear_config.h"

enum { HOST_EVENT_NONE = 0, HOST_EVENT_QUIT = 1, HOST_EVENT_KEY_DOWN = 2 };
enum { HOST_CODE_NONE = 3 };

// What one poll saw: the last notable message decides both fields.
struct HostEvent {
    int32_t type;   // HOST_EVENT_*
    int32_t code;   // the virtual-key code for HOST_EVENT_KEY_DOWN, else HOST_CODE_NONE
};

// Pixel size of a font loaded by the host at a nominal height: the height is
// truncated, scaled by 0.87 in double precision and truncated again (16.0 -> 13).
inline int host_font_pixels(float height) { return (int)((double)(int)height * 0.87); }

struct nk_context *host_init(HostWindow *host, const char *title, int32_t width, int32_t height, int32_t mode);
// The platform's error box for host_fatal's text, which `cut` says was cut
// short at the buffer's end (the platform trims a partial character).
void host_show_error(char *text, int cut);
// Inside host_init: the record's Nuklear context with the default allocator and
// the platform's clipboard callbacks (host/clipboard.h); null when it cannot start.
struct nk_context *host_start_nuklear(HostWindow *host);
int32_t host_fatal(const char *format, ...);
HostFont *host_load_font_memory(HostWindow *host, const void *data, int32_t size, float height);
HostFont *host_load_font_file(HostWindow *host, const char *path, float height);
struct nk_image host_load_image_memory(HostWindow *host, const void *data, uint32_t size);
struct nk_image host_load_image_file(HostWindow *host, const char *path);
void host_free_image(struct nk_image *image);
HostEvent host_poll_events(HostWindow *host);
void host_render(HostWindow *host, struct nk_color clear);
void host_shutdown(HostWindow *host);
// Window pixels per logical pixel, the unit assistive technology measures
// the window in: device pixels on Windows, logical ones under GDK.
float host_window_scale(const HostWindow *host);
