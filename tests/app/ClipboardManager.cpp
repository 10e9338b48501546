// SPDX-License-Identifier: GPL-3.0-or-later
// A clipboard manager for the tests: it owns the CLIPBOARD_MANAGER selection of the display, and
// when a program that ends asks it to keep the clipboard (SAVE_TARGETS), it reads the clipboard
// as text and writes what it got to its output file, one line per request ("saved: TEXT" or
// "saved nothing"). It prints "ready" once it owns the selection and runs until it is ended.
//   kv_clipboard_manager OUTPUT

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <xcb/xcb.h>

namespace {

xcb_atom_t Atom(xcb_connection_t *connection, const char *name) {
  xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
  const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
  std::free(reply);
  return atom;
}

// The clipboard's text, read into the window's property; empty when no one serves it.
std::string ReadClipboard(xcb_connection_t *connection, xcb_window_t window, xcb_atom_t clipboard,
                          xcb_atom_t utf8, xcb_atom_t property) {
  xcb_convert_selection(connection, window, clipboard, utf8, property, XCB_CURRENT_TIME);
  xcb_flush(connection);
  std::string text;
  while (xcb_generic_event_t *event = xcb_wait_for_event(connection)) {
    const bool notify = (event->response_type & 0x7F) == XCB_SELECTION_NOTIFY;
    const bool served =
        notify && reinterpret_cast<xcb_selection_notify_event_t *>(event)->property != XCB_NONE;
    std::free(event);
    if (!notify)
      continue;
    if (served) {
      xcb_get_property_reply_t *reply = xcb_get_property_reply(
          connection,
          xcb_get_property(connection, 1, window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, 1 << 16),
          nullptr);
      if (reply)
        text.assign(static_cast<const char *>(xcb_get_property_value(reply)),
                    std::size_t(xcb_get_property_value_length(reply)));
      std::free(reply);
    }
    break;
  }
  return text;
}

} // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fputs("usage: kv_clipboard_manager OUTPUT\n", stderr);
    return 2;
  }
  xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(connection)) {
    std::fputs("kv_clipboard_manager: no display\n", stderr);
    return 1;
  }
  const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  const xcb_window_t window = xcb_generate_id(connection);
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
  const xcb_atom_t manager = Atom(connection, "CLIPBOARD_MANAGER");
  const xcb_atom_t saveTargets = Atom(connection, "SAVE_TARGETS");
  const xcb_atom_t clipboard = Atom(connection, "CLIPBOARD");
  const xcb_atom_t utf8 = Atom(connection, "UTF8_STRING");
  const xcb_atom_t property = Atom(connection, "KV_SAVED");
  xcb_set_selection_owner(connection, window, manager, XCB_CURRENT_TIME);
  xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
      connection, xcb_get_selection_owner(connection, manager), nullptr);
  const bool owned = owner && owner->owner == window;
  std::free(owner);
  if (!owned) {
    std::fputs("kv_clipboard_manager: CLIPBOARD_MANAGER is taken\n", stderr);
    return 1;
  }
  std::puts("ready");
  std::fflush(stdout);

  while (xcb_generic_event_t *event = xcb_wait_for_event(connection)) {
    if ((event->response_type & 0x7F) == XCB_SELECTION_REQUEST) {
      const auto request = *reinterpret_cast<xcb_selection_request_event_t *>(event);
      xcb_selection_notify_event_t answer{};
      answer.response_type = XCB_SELECTION_NOTIFY;
      answer.time = request.time;
      answer.requestor = request.requestor;
      answer.selection = request.selection;
      answer.target = request.target;
      answer.property = XCB_NONE;
      if (request.selection == manager && request.target == saveTargets) {
        const std::string text = ReadClipboard(connection, window, clipboard, utf8, property);
        if (FILE *output = std::fopen(argv[1], "a")) {
          std::fprintf(output, text.empty() ? "saved nothing\n" : "saved: %s\n", text.c_str());
          std::fclose(output);
        }
        answer.property = request.property;
      }
      xcb_send_event(connection, 0, request.requestor, XCB_EVENT_MASK_NO_EVENT,
                     reinterpret_cast<const char *>(&answer));
      xcb_flush(connection);
    }
    std::free(event);
  }
  return 0;
}
