// Saves the X screen, or a rectangle of it, as a PNG file:
// screenshot <file.png> [x y width height]
#include <X11/Xlib.h>
#include <cairo-xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char **argv) {
  if (argc != 2 && argc != 6) {
    fprintf(stderr, "usage: screenshot <file.png> [x y width height]\n");
    return 2;
  }
  Display *display = XOpenDisplay(nullptr);
  if (!display) {
    fprintf(stderr, "screenshot: no display\n");
    return 1;
  }
  int screen = DefaultScreen(display);
  int width = DisplayWidth(display, screen), height = DisplayHeight(display, screen);
  cairo_surface_t *root =
      cairo_xlib_surface_create(display, RootWindow(display, screen), DefaultVisual(display, screen), width, height);
  int x = 0, y = 0;
  if (argc == 6) {
    x = atoi(argv[2]);
    y = atoi(argv[3]);
    width = atoi(argv[4]);
    height = atoi(argv[5]);
  }
  cairo_surface_t *picture = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width > 0 ? width : 1, height > 0 ? height : 1);
  cairo_t *cr = cairo_create(picture);
  cairo_set_source_surface(cr, root, -x, -y);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_status_t status = cairo_surface_write_to_png(picture, argv[1]);
  cairo_surface_destroy(picture);
  cairo_surface_destroy(root);
  XCloseDisplay(display);
  if (status != CAIRO_STATUS_SUCCESS) {
    fprintf(stderr, "screenshot: %s\n", cairo_status_to_string(status));
    return 1;
  }
  return 0;
}
