// Desktop notifications over D-Bus.
#include "linux/notify.h"

#include <gio/gio.h>

#include <cstdlib>

void Notify(const std::string& message) {
    // Only to a session bus the session names: without one GLib would launch a bus of its own.
    const char* runtime = getenv("XDG_RUNTIME_DIR");
    const std::string socket = runtime != nullptr ? std::string(runtime) + "/bus" : std::string();
    if (getenv("DBUS_SESSION_BUS_ADDRESS") == nullptr &&
        (socket.empty() || !g_file_test(socket.c_str(), G_FILE_TEST_EXISTS))) {
        return;
    }
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) return;
    GVariant* reply = g_dbus_connection_call_sync(
        bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications", "org.freedesktop.Notifications",
        "Notify", g_variant_new("(susssasa{sv}i)", "Kelmar", 0u, "kelmar", "Kelmar", message.c_str(), nullptr, nullptr, -1),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr);
    if (reply != nullptr) g_variant_unref(reply);
    g_object_unref(bus);
}
