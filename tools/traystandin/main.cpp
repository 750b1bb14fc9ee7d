// A stand-in for a desktop's notification area on a bare X server (Xvfb):
// it owns the system tray selection of screen 0, takes in the icons that
// programs dock (the XEmbed tray protocol) into a panel window of its own,
// and answers commands on standard input for tests:
//
//   grab-icon FILE       the picture of the first docked icon (PNG)
//   grab-screen FILE     the whole screen (PNG)
//   mapped PREFIX        "mapped yes" or "mapped no": whether a top-level
//                        window whose name starts with PREFIX is on screen
//   double-click         two clicks of the left button on the first icon
//   quit
//
// It prints "ready" once it owns the selection, "docked" when an icon comes,
// "undocked" when it goes, and one answer line for each command.
#include <QByteArray>
#include <QImage>
#include <QList>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr int kIconSize = 24;
constexpr long kRequestDock = 0;
constexpr long kEmbeddedNotify = 0;

xcb_connection_t *conn = nullptr;
xcb_screen_t *screen = nullptr;
xcb_window_t panel = 0;
QList<xcb_window_t> icons;

xcb_atom_t atom(const char *name)
{
    xcb_intern_atom_reply_t *r =
        xcb_intern_atom_reply(conn, xcb_intern_atom(conn, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(r);
    return a;
}

void say(const QByteArray &line)
{
    std::fputs(line.constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void sendClientMessage(xcb_window_t to, xcb_window_t about, xcb_atom_t type, const uint32_t data[5], uint32_t mask)
{
    xcb_client_message_event_t ev;
    std::memset(&ev, 0, sizeof ev);
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = about;
    ev.type = type;
    std::memcpy(ev.data.data32, data, 5 * sizeof(uint32_t));
    xcb_send_event(conn, 0, to, mask, reinterpret_cast<const char *>(&ev));
}

void relayout()
{
    for (int i = 0; i < icons.size(); ++i) {
        const uint32_t geometry[] = {static_cast<uint32_t>(4 + i * (kIconSize + 4)), 4, kIconSize, kIconSize};
        xcb_configure_window(conn, icons[i],
                             XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y | XCB_CONFIG_WINDOW_WIDTH |
                                 XCB_CONFIG_WINDOW_HEIGHT,
                             geometry);
    }
    xcb_flush(conn);
}

void dock(xcb_window_t icon, xcb_atom_t xembed)
{
    if (icons.contains(icon))
        return;
    const uint32_t events[] = {XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_change_window_attributes(conn, icon, XCB_CW_EVENT_MASK, events);
    xcb_reparent_window(conn, icon, panel, 0, 0);
    icons.append(icon);
    relayout();
    xcb_map_window(conn, icon);
    const uint32_t notify[] = {XCB_CURRENT_TIME, kEmbeddedNotify, 0, static_cast<uint32_t>(panel), 0};
    sendClientMessage(icon, icon, xembed, notify, XCB_EVENT_MASK_NO_EVENT);
    xcb_flush(conn);
    say("docked");
}

void undock(xcb_window_t icon)
{
    if (icons.removeAll(icon) > 0) {
        relayout();
        say("undocked");
    }
}

bool grab(xcb_drawable_t window, int x, int y, int w, int h, const QByteArray &file)
{
    xcb_get_image_reply_t *r = xcb_get_image_reply(
        conn,
        xcb_get_image(conn, XCB_IMAGE_FORMAT_Z_PIXMAP, window, static_cast<int16_t>(x), static_cast<int16_t>(y),
                      static_cast<uint16_t>(w), static_cast<uint16_t>(h), ~0u),
        nullptr);
    if (!r)
        return false;
    const uint8_t *data = xcb_get_image_data(r);
    const int length = xcb_get_image_data_length(r);
    bool ok = false;
    // 24-bit colour in 32-bit pixels: the layout of QImage::Format_RGB32.
    if ((r->depth == 24 || r->depth == 32) && length >= w * h * 4) {
        const QImage img(data, w, h, w * 4, QImage::Format_RGB32);
        ok = img.copy().save(QString::fromLocal8Bit(file), "PNG");
    }
    std::free(r);
    return ok;
}

QByteArray windowName(xcb_window_t w)
{
    xcb_get_property_reply_t *r = xcb_get_property_reply(
        conn, xcb_get_property(conn, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
    QByteArray name;
    if (r) {
        name = QByteArray(static_cast<const char *>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
        std::free(r);
    }
    return name;
}

bool topLevelMapped(const QByteArray &prefix)
{
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(conn, xcb_query_tree(conn, screen->root), nullptr);
    if (!tree)
        return false;
    bool mapped = false;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree) && !mapped; ++i) {
        if (!windowName(children[i]).startsWith(prefix))
            continue;
        xcb_get_window_attributes_reply_t *a =
            xcb_get_window_attributes_reply(conn, xcb_get_window_attributes(conn, children[i]), nullptr);
        mapped = a && a->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(a);
    }
    std::free(tree);
    return mapped;
}

xcb_extension_t xtest = {"XTEST", 0};

// One input event through the XTEST extension, as if from the real mouse
// (toolkits that read the input extension ignore sent core events).
bool fakeInput(uint8_t type, uint8_t detail)
{
    const xcb_query_extension_reply_t *present = xcb_get_extension_data(conn, &xtest);
    if (!present || !present->present)
        return false;
    // FakeInput after the request header: type, detail, 2 pad, delay, root,
    // 8 pad, x, y, 7 pad, device.
    uint8_t request[36];
    std::memset(request, 0, sizeof request);
    request[4] = type;
    request[5] = detail;
    const uint32_t root = screen->root;
    std::memcpy(request + 12, &root, 4);
    // xcb_send_request uses the two entries before the data itself.
    iovec parts[3];
    parts[2].iov_base = request;
    parts[2].iov_len = sizeof request;
    const xcb_protocol_request_t fakeInputRequest = {1, &xtest, 2, 1};
    xcb_send_request(conn, 0, parts + 2, &fakeInputRequest);
    return true;
}

bool doubleClick(xcb_window_t icon)
{
    xcb_warp_pointer(conn, XCB_NONE, icon, 0, 0, 0, 0, kIconSize / 2, kIconSize / 2);
    bool ok = true;
    for (int i = 0; i < 2 && ok; ++i)
        ok = fakeInput(XCB_BUTTON_PRESS, 1) && fakeInput(XCB_BUTTON_RELEASE, 1);
    xcb_flush(conn);
    return ok;
}

void command(const QByteArray &line, bool &quit)
{
    const QList<QByteArray> words = line.trimmed().split(' ');
    const QByteArray &verb = words.value(0);
    const QByteArray arg = line.trimmed().mid(verb.size() + 1);
    if (verb == "grab-icon") {
        const bool ok = !icons.isEmpty() && grab(panel, 4, 4, kIconSize, kIconSize, arg);
        say(ok ? "grabbed" : "grab failed");
    } else if (verb == "grab-screen") {
        say(grab(screen->root, 0, 0, screen->width_in_pixels, screen->height_in_pixels, arg) ? "grabbed"
                                                                                              : "grab failed");
    } else if (verb == "mapped") {
        say(topLevelMapped(arg) ? "mapped yes" : "mapped no");
    } else if (verb == "double-click") {
        if (icons.isEmpty()) {
            say("no icon");
            return;
        }
        if (!doubleClick(icons.first())) {
            say("no input extension");
            return;
        }
        say("clicked");
    } else if (verb == "quit") {
        quit = true;
    } else {
        say("unknown command");
    }
}

} // namespace

int main()
{
    int screenNumber = 0;
    conn = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(conn)) {
        std::fprintf(stderr, "traystandin: no X server (DISPLAY)\n");
        return 1;
    }
    screen = xcb_setup_roots_iterator(xcb_get_setup(conn)).data;

    const QByteArray selectionName = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screenNumber);
    const xcb_atom_t selection = atom(selectionName.constData());
    const xcb_atom_t opcode = atom("_NET_SYSTEM_TRAY_OPCODE");
    const xcb_atom_t manager = atom("MANAGER");
    const xcb_atom_t xembed = atom("_XEMBED");

    // The panel: a grey strip in the top right corner.
    panel = xcb_generate_id(conn);
    const uint32_t values[] = {0xc0c0c0u, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY};
    xcb_create_window(conn, XCB_COPY_FROM_PARENT, panel, screen->root,
                      static_cast<int16_t>(screen->width_in_pixels - 200), 0, 200, kIconSize + 8, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK,
                      values);
    const uint32_t horizontal = 0;
    xcb_change_property(conn, XCB_PROP_MODE_REPLACE, panel, atom("_NET_SYSTEM_TRAY_ORIENTATION"),
                        XCB_ATOM_CARDINAL, 32, 1, &horizontal);
    xcb_map_window(conn, panel);

    xcb_set_selection_owner(conn, panel, selection, XCB_CURRENT_TIME);
    xcb_get_selection_owner_reply_t *owner =
        xcb_get_selection_owner_reply(conn, xcb_get_selection_owner(conn, selection), nullptr);
    const bool owned = owner && owner->owner == panel;
    std::free(owner);
    if (!owned) {
        std::fprintf(stderr, "traystandin: %s is taken\n", selectionName.constData());
        return 1;
    }
    const uint32_t announce[] = {XCB_CURRENT_TIME, selection, panel, 0, 0};
    sendClientMessage(screen->root, screen->root, manager, announce, XCB_EVENT_MASK_STRUCTURE_NOTIFY);
    xcb_flush(conn);
    say("ready");

    QByteArray input;
    bool quit = false;
    while (!quit) {
        pollfd fds[2] = {{xcb_get_file_descriptor(conn), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0)
            break;
        while (xcb_generic_event_t *ev = xcb_poll_for_event(conn)) {
            switch (ev->response_type & 0x7f) {
            case XCB_CLIENT_MESSAGE: {
                auto *cm = reinterpret_cast<xcb_client_message_event_t *>(ev);
                if (cm->type == opcode && cm->data.data32[1] == kRequestDock)
                    dock(cm->data.data32[2], xembed);
                break;
            }
            case XCB_DESTROY_NOTIFY:
                undock(reinterpret_cast<xcb_destroy_notify_event_t *>(ev)->window);
                break;
            case XCB_REPARENT_NOTIFY: {
                auto *rn = reinterpret_cast<xcb_reparent_notify_event_t *>(ev);
                if (rn->parent != panel)
                    undock(rn->window);
                break;
            }
            default:
                break;
            }
            std::free(ev);
        }
        if (xcb_connection_has_error(conn))
            break;
        if (fds[1].revents & (POLLIN | POLLHUP)) {
            char buf[512];
            const ssize_t n = read(STDIN_FILENO, buf, sizeof buf);
            if (n <= 0)
                break;
            input.append(buf, static_cast<qsizetype>(n));
            qsizetype nl;
            while (!quit && (nl = input.indexOf('\n')) >= 0) {
                command(input.left(nl), quit);
                input.remove(0, nl + 1);
            }
        }
    }
    xcb_disconnect(conn);
    return 0;
}
