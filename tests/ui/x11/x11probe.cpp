// A small X client for the desktop test, standing in for the parts of a desktop the test needs:
//   x11probe names            prints the _NET_WM_NAME of every top-level window, one a line
//   x11probe tray LIMIT_MS    becomes the system tray of screen 0 (the freedesktop.org system tray
//                             protocol: own _NET_SYSTEM_TRAY_S0, announce it with a MANAGER message
//                             on the root window) and waits for an icon's dock request; prints
//                             "docked <window>" and exits 0, or exits 1 when LIMIT_MS pass first.

#include <poll.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

constexpr std::uint32_t SystemTrayRequestDock = 0;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
  std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> reply(
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
                            nullptr),
      &std::free);
  return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

int printNames(xcb_connection_t* c, xcb_window_t root) {
  const xcb_atom_t netWmName = atom(c, "_NET_WM_NAME");
  const xcb_atom_t utf8 = atom(c, "UTF8_STRING");
  std::unique_ptr<xcb_query_tree_reply_t, decltype(&std::free)> tree(
      xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr), &std::free);
  if (!tree) return 1;
  const xcb_window_t* children = xcb_query_tree_children(tree.get());
  for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
    std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> name(
        xcb_get_property_reply(c, xcb_get_property(c, 0, children[i], netWmName, utf8, 0, 1024),
                               nullptr),
        &std::free);
    if (!name || xcb_get_property_value_length(name.get()) == 0) continue;
    std::printf("%.*s\n", xcb_get_property_value_length(name.get()),
                static_cast<const char*>(xcb_get_property_value(name.get())));
  }
  return 0;
}

int beTray(xcb_connection_t* c, xcb_screen_t* screen, int limitMs) {
  const xcb_atom_t selection = atom(c, "_NET_SYSTEM_TRAY_S0");
  const xcb_atom_t opcode = atom(c, "_NET_SYSTEM_TRAY_OPCODE");
  const xcb_atom_t manager = atom(c, "MANAGER");
  const xcb_window_t tray = xcb_generate_id(c);
  xcb_create_window(c, XCB_COPY_FROM_PARENT, tray, screen->root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
  xcb_set_selection_owner(c, tray, selection, XCB_CURRENT_TIME);
  xcb_client_message_event_t announce{};
  announce.response_type = XCB_CLIENT_MESSAGE;
  announce.format = 32;
  announce.window = screen->root;
  announce.type = manager;
  announce.data.data32[0] = XCB_CURRENT_TIME;
  announce.data.data32[1] = selection;
  announce.data.data32[2] = tray;
  xcb_send_event(c, 0, screen->root, XCB_EVENT_MASK_STRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&announce));
  xcb_flush(c);

  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  pollfd watch{xcb_get_file_descriptor(c), POLLIN, 0};
  while (std::chrono::steady_clock::now() < end) {
    while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
      std::unique_ptr<xcb_generic_event_t, decltype(&std::free)> kept(event, &std::free);
      if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE) continue;
      const auto* message = reinterpret_cast<const xcb_client_message_event_t*>(event);
      if (message->type == opcode && message->data.data32[1] == SystemTrayRequestDock) {
        std::printf("docked %u\n", message->data.data32[2]);
        return 0;
      }
    }
    if (xcb_connection_has_error(c)) return 1;
    poll(&watch, 1, 100);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode != "names" && !(mode == "tray" && argc > 2)) {
    std::fprintf(stderr, "usage: %s names | tray LIMIT_MS\n", argv[0]);
    return 2;
  }
  int screenNumber = 0;
  xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
  if (xcb_connection_has_error(c)) {
    std::fprintf(stderr, "cannot open the display\n");
    return 2;
  }
  xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
  for (int i = 0; i < screenNumber && screens.rem; ++i) xcb_screen_next(&screens);
  const int result =
      mode == "names" ? printNames(c, screens.data->root) : beTray(c, screens.data, std::atoi(argv[2]));
  xcb_disconnect(c);
  return result;
}
