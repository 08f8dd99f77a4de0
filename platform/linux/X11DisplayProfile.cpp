#include "platform/linux/X11DisplayProfile.h"

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>

#include <xcb/xcb.h>

namespace lumora::platform
{

namespace
{

// A profile is a few kilobytes; a property beyond this is no profile.
constexpr uint32_t kMaxLongs = (4u << 20) / 4;

QByteArray rootProperty(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, uint16_t(std::strlen(name)), name), nullptr);
    if (!atom)
        return {};
    const xcb_atom_t property = atom->atom;
    std::free(atom);
    if (property == XCB_ATOM_NONE)
        return {};
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!screen)
        return {};
    xcb_get_property_reply_t *reply =
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, screen->root, property,
                                                XCB_GET_PROPERTY_TYPE_ANY, 0, kMaxLongs),
                               nullptr);
    if (!reply)
        return {};
    QByteArray bytes;
    if (reply->format == 8 && reply->bytes_after == 0)
        bytes = QByteArray(static_cast<const char *>(xcb_get_property_value(reply)),
                           xcb_get_property_value_length(reply));
    std::free(reply);
    return bytes;
}

} // namespace

QByteArray X11DisplayProfile::iccProfile() const
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return {};
    return rootProperty(x11->connection(), "_ICC_PROFILE");
}

std::unique_ptr<DisplayProfile> createDisplayProfile()
{
    return std::make_unique<X11DisplayProfile>();
}

} // namespace lumora::platform
