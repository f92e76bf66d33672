// start-app KEY: starts the desktop application that kelmar-import put on the bar under KEY (its
// desktop-file ID without ".desktop", or a short key for a long ID), as the desktop's own menu would:
// GIO reads the entry and launches it (Exec without field codes, Path, Terminal, D-Bus activation), in the
// session's environment rather than the one Wine hands its children. When the application is gone, it
// says so on standard error and, where notify-send exists, as a desktop notification.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "linux/desktop_menus.h"
#include "linux/session_env.h"

namespace {

void Tell(const std::string& message) {
    fprintf(stderr, "kelmar: %s\n", message.c_str());
    gchar* notifySend = g_find_program_in_path("notify-send");
    if (notifySend == nullptr) return;
    const gchar* argv[] = {notifySend, "--app-name=Kelmar", "--icon=kelmar", "Kelmar", message.c_str(), nullptr};
    g_spawn_async(nullptr, const_cast<gchar**>(argv), nullptr,
                  static_cast<GSpawnFlags>(G_SPAWN_STDOUT_TO_DEV_NULL | G_SPAWN_STDERR_TO_DEV_NULL), nullptr, nullptr,
                  nullptr, nullptr);
    g_free(notifySend);
}

GDesktopAppInfo* FindApp(const std::string& key) {
    if (!IsShortKey(key)) return g_desktop_app_info_new((key + ".desktop").c_str());
    GDesktopAppInfo* found = nullptr;
    GList* all = g_app_info_get_all();
    for (GList* item = all; item != nullptr; item = item->next) {
        const char* id = g_app_info_get_id(G_APP_INFO(item->data));
        if (found == nullptr && id != nullptr && AppKey(id) == key && G_IS_DESKTOP_APP_INFO(item->data)) {
            found = G_DESKTOP_APP_INFO(g_object_ref(item->data));
        }
    }
    g_list_free_full(all, g_object_unref);
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    // Wine leaves descriptors of its own open in the programs it starts; the application needs none.
    close_range(3, ~0u, 0);
    ReplaceEnvironment(RestoreSession(CurrentEnvironment()));
    if (argc != 2 || argv[1][0] == '\0') {
        Tell("start-app takes one application key (the Parameters that kelmar --import wrote)");
        return 1;
    }
    const std::string key = argv[1];
    GDesktopAppInfo* app = FindApp(key);
    if (app == nullptr || g_desktop_app_info_get_is_hidden(app)) {
        Tell("cannot start " + key + ": the application is no longer installed. Remove it from the menu, or run "
             "kelmar --import to make the menus again.");
        if (app != nullptr) g_object_unref(app);
        return 1;
    }
    GAppLaunchContext* context = g_app_launch_context_new();
    GError* error = nullptr;
    const bool started = g_app_info_launch(G_APP_INFO(app), nullptr, context, &error);
    if (!started) {
        Tell("cannot start " + std::string(g_app_info_get_name(G_APP_INFO(app))) + " (" + key +
             "): " + (error != nullptr ? error->message : "GIO gave no reason"));
        g_clear_error(&error);
    } else if (g_desktop_app_info_get_boolean(app, "DBusActivatable")) {
        // The activation is a message on the session bus: it must leave before this program ends.
        GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (bus != nullptr) {
            g_dbus_connection_flush_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
    }
    g_object_unref(context);
    g_object_unref(app);
    return started ? 0 : 1;
}
