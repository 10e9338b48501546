// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/posix/X11.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

struct TFree {
  void operator()(void *reply) const { std::free(reply); }
};
template <typename T> using TReply = std::unique_ptr<T, TFree>;

// The atom of name; with onlyIfExists XCB_ATOM_NONE when no client has ever named it.
xcb_atom_t Atom(xcb_connection_t *connection, const std::string &name, bool onlyIfExists = false) {
  const TReply<xcb_intern_atom_reply_t> reply(
      xcb_intern_atom_reply(connection,
                            xcb_intern_atom(connection, onlyIfExists ? 1 : 0,
                                            static_cast<uint16_t>(name.size()), name.c_str()),
                            nullptr));
  return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

} // namespace

bool XEmbedTrayOwned(xcb_connection_t *connection) {
  const int screens = xcb_setup_roots_length(xcb_get_setup(connection));
  for (int screen = 0; screen < screens; ++screen) {
    // Only if it exists: no tray has ever been there without the name.
    const xcb_atom_t selection =
        Atom(connection, "_NET_SYSTEM_TRAY_S" + std::to_string(screen), true);
    if (selection == XCB_ATOM_NONE)
      continue;
    const TReply<xcb_get_selection_owner_reply_t> owner(xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr));
    if (owner && owner->owner != XCB_NONE)
      return true;
  }
  return false;
}

void SendStartupRemove(xcb_connection_t *connection, const std::string &id) {
  std::string message = "remove: ID=\"";
  for (const char c : id) {
    if (c == '\\' || c == '"')
      message += '\\';
    message += c;
  }
  message += '"';
  message += '\0';
  xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
  if (!screen)
    return;
  const xcb_window_t sender = xcb_generate_id(connection);
  const uint32_t overrideRedirect = 1;
  xcb_create_window(connection, XCB_COPY_FROM_PARENT, sender, screen->root, -100, -100, 1, 1, 0,
                    XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_OVERRIDE_REDIRECT,
                    &overrideRedirect);
  const xcb_atom_t begin = Atom(connection, "_NET_STARTUP_INFO_BEGIN");
  const xcb_atom_t more = Atom(connection, "_NET_STARTUP_INFO");
  for (std::size_t offset = 0; offset < message.size(); offset += 20) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 8;
    event.window = sender;
    event.type = offset == 0 ? begin : more;
    std::memcpy(event.data.data8, message.data() + offset,
                std::min<std::size_t>(20, message.size() - offset));
    xcb_send_event(connection, 0, screen->root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                   reinterpret_cast<const char *>(&event));
  }
  xcb_destroy_window(connection, sender);
  xcb_flush(connection);
}

void SetStartupId(xcb_connection_t *connection, std::uint32_t window, const std::string &id) {
  xcb_change_property(connection, XCB_PROP_MODE_REPLACE, window,
                      Atom(connection, "_NET_STARTUP_ID"), Atom(connection, "UTF8_STRING"), 8,
                      static_cast<uint32_t>(id.size()), id.data());
  xcb_flush(connection);
}
