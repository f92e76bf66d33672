// start-app ID: starts the desktop application that kelmar-import put on the bar under ID (its
// desktop-file ID, with or without ".desktop", or the short key of a long ID), as the desktop's own menu
// would: GIO reads the entry and launches it (Exec without field codes, Path, Terminal, D-Bus activation),
// in the session's environment exactly as kelmar-run recorded it, and in the home folder when the entry
// names no Path. When it cannot, it tells the user: as a desktop notification, on standard error, and in
// start-app.log in the data folder.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "linux/desktop_menus.h"
#include "linux/notify.h"
#include "linux/session_env.h"

namespace {

// How long a start may take: GIO waits for the session bus, and for a D-Bus activatable application
// until the application runs.
constexpr guint kLaunchSeconds = 60;

// The log keeps the latest messages; past this size it starts again, the previous one kept as .old.
constexpr off_t kLogLimit = 64 * 1024;

void Log(const std::string& message) {
    const std::string path = DataFolder() + "/start-app.log";
    struct stat info;
    if (stat(path.c_str(), &info) == 0 && info.st_size > kLogLimit) rename(path.c_str(), (path + ".old").c_str());
    FILE* log = fopen(path.c_str(), "a");
    if (log == nullptr) return;
    char when[32] = "";
    const time_t now = time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) != nullptr) strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &local);
    fprintf(log, "%s %s\n", when, message.c_str());
    fclose(log);
}

void Tell(const std::string& message) {
    fprintf(stderr, "kelmar: %s\n", message.c_str());
    Log(message);
    Notify(message);
}

// The installed applications that key names; more than one when the key is ambiguous.
std::vector<GDesktopAppInfo*> FindApps(const std::string& key) {
    std::vector<GDesktopAppInfo*> found;
    if (!IsShortKey(key)) {
        GDesktopAppInfo* app = g_desktop_app_info_new((key + ".desktop").c_str());
        if (app != nullptr) found.push_back(app);
        return found;
    }
    GList* all = g_app_info_get_all();
    for (GList* item = all; item != nullptr; item = item->next) {
        const char* id = g_app_info_get_id(G_APP_INFO(item->data));
        if (id != nullptr && G_IS_DESKTOP_APP_INFO(item->data) && KeyNames(key, id)) {
            found.push_back(G_DESKTOP_APP_INFO(g_object_ref(item->data)));
        }
    }
    g_list_free_full(all, g_object_unref);
    return found;
}

struct Launch {
    GMainLoop* loop;
    GAppInfo* app;
    GError* error;
    bool started;
};

// GIO's asynchronous launch finishes once the application has its start: a process spawned, or, for a
// D-Bus activatable application, the answer to the activation, which arrives only once the service runs.
void Launched(GObject*, GAsyncResult* result, gpointer data) {
    Launch* launch = static_cast<Launch*>(data);
    launch->started = g_app_info_launch_uris_finish(launch->app, result, &launch->error);
    g_main_loop_quit(launch->loop);
}

gboolean TooLong(gpointer data) {
    Launch* launch = static_cast<Launch*>(data);
    g_set_error(&launch->error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT,
                "no answer within %u s (is the session's D-Bus working?)", kLaunchSeconds);
    g_main_loop_quit(launch->loop);
    return G_SOURCE_REMOVE;
}

}  // namespace

int main(int argc, char** argv) {
    // Wine leaves descriptors of its own open in the programs it starts; the application needs none.
    close_range(3, ~0u, 0);
    // Nor the signal handling that kelmar-run set up for Wine's processes (SIGTERM, SIGHUP and SIGINT blocked,
    // SIGHUP ignored).
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGHUP, SIG_DFL);
    std::string record;
    const char* recordPath = getenv(kRecordVariable);
    const bool recorded = recordPath != nullptr && ReadRecord(recordPath, record);
    std::vector<std::string> session = recorded ? EntriesOfRecord(record) : WithoutWine(CurrentEnvironment());
    ReplaceEnvironment(ForApplication(session));
    if (!recorded) {
        fprintf(stderr, "kelmar: start-app has no record of the session's environment (it was not started from a "
                        "running Kelmar's bar); the application gets start-app's own, less Wine's variables\n");
    }
    if (argc != 2 || argv[1][0] == '\0') {
        Tell("start-app takes one application ID (the Parameters that kelmar --import wrote)");
        return 1;
    }
    std::string key = argv[1];
    if (key.size() > 8 && key.compare(key.size() - 8, 8, ".desktop") == 0) key.erase(key.size() - 8);
    std::vector<GDesktopAppInfo*> apps = FindApps(key);
    if (apps.size() > 1) {
        std::string ids;
        for (GDesktopAppInfo* app : apps) {
            ids += std::string(ids.empty() ? "" : ", ") + g_app_info_get_id(G_APP_INFO(app));
            g_object_unref(app);
        }
        Tell("cannot start " + key + ": it names more than one installed application (" + ids +
             "). Run kelmar --import to make the menus again.");
        return 1;
    }
    GDesktopAppInfo* app = apps.empty() ? nullptr : apps[0];
    if (app == nullptr || g_desktop_app_info_get_is_hidden(app)) {
        Tell("cannot start " + key + ": the application is no longer installed. Remove it from the menu, or run "
             "kelmar --import to make the menus again.");
        if (app != nullptr) g_object_unref(app);
        return 1;
    }
    // The desktop's menu starts an entry without a Path in the home folder.
    gchar* path = g_desktop_app_info_get_string(app, "Path");
    if (path == nullptr || path[0] == '\0') {
        const char* home = getenv("HOME");
        if (chdir(home != nullptr && home[0] != '\0' ? home : g_get_home_dir()) != 0) {
            fprintf(stderr, "kelmar: cannot enter the home folder; %s starts in %s\n",
                    g_app_info_get_name(G_APP_INFO(app)), g_get_current_dir());
        }
    }
    g_free(path);

    Launch launch = {g_main_loop_new(nullptr, FALSE), G_APP_INFO(app), nullptr, false};
    GAppLaunchContext* context = g_app_launch_context_new();
    g_app_info_launch_uris_async(launch.app, nullptr, context, nullptr, Launched, &launch);
    g_timeout_add_seconds(kLaunchSeconds, TooLong, &launch);
    g_main_loop_run(launch.loop);
    if (!launch.started) {
        Tell("cannot start " + std::string(g_app_info_get_name(launch.app)) + " (" + key +
             "): " + (launch.error != nullptr ? launch.error->message : "GIO gave no reason"));
        g_clear_error(&launch.error);
    }
    g_object_unref(context);
    g_main_loop_unref(launch.loop);
    g_object_unref(app);
    return launch.started ? 0 : 1;
}
