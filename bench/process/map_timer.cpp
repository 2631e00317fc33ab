// Starts a program and prints, when the first window of that program at least 100 by 100
// pixels is mapped on the X server ($DISPLAY), "<pid> <milliseconds since the start>".
// The program keeps running until the caller ends it; map_timer waits for it. Exit status 1 when
// nothing was mapped within the time limit (the program is then ended).
//   map_timer <seconds> <program> [arguments...]
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// _NET_WM_PID of a window, or 0.
uint32_t WindowPid(xcb_connection_t* c, xcb_atom_t atom, xcb_window_t w) {
  xcb_get_property_reply_t* r =
      xcb_get_property_reply(c, xcb_get_property(c, 0, w, atom, XCB_ATOM_CARDINAL, 0, 1), nullptr);
  uint32_t pid = 0;
  if (r && xcb_get_property_value_length(r) >= 4) std::memcpy(&pid, xcb_get_property_value(r), 4);
  std::free(r);
  return pid;
}

bool LargeEnough(xcb_connection_t* c, xcb_window_t w) {
  xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
  const bool large = g && g->width >= 100 && g->height >= 100;
  std::free(g);
  return large;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: map_timer <seconds> <program> [arguments...]\n");
    return 2;
  }
  const double limit = std::atof(argv[1]);
  xcb_connection_t* c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "map_timer: no X server\n");
    return 2;
  }
  xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
  const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(c, screen->root, XCB_CW_EVENT_MASK, &mask);
  xcb_intern_atom_reply_t* a =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, 11, "_NET_WM_PID"), nullptr);
  const xcb_atom_t pidAtom = a ? a->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
  std::free(a);
  xcb_flush(c);

  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  const int fd = xcb_get_file_descriptor(c);
  for (;;) {
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (elapsed > limit) break;
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, 50);
    while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
      if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY) {
        const auto* m = reinterpret_cast<xcb_map_notify_event_t*>(e);
        const auto mapped = std::chrono::steady_clock::now();
        if (WindowPid(c, pidAtom, m->window) == static_cast<uint32_t>(pid) &&
            LargeEnough(c, m->window)) {
          std::printf("%d %.2f\n", pid,
                      std::chrono::duration<double, std::milli>(mapped - start).count());
          std::fflush(stdout);
          std::free(e);
          // Stay until the program ends (the caller ends it), so it is reaped here.
          xcb_disconnect(c);
          waitpid(pid, nullptr, 0);
          return 0;
        }
      }
      std::free(e);
    }
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      std::fprintf(stderr, "map_timer: %s ended before mapping a window\n", argv[2]);
      return 1;
    }
  }
  kill(pid, SIGTERM);
  std::fprintf(stderr, "map_timer: no window of %s within %.0f s\n", argv[2], limit);
  return 1;
}
