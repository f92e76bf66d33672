// The autostart entry, through GLib's key files and checked by GIO.
#include "linux/autostart.h"

#include <gio/gdesktopappinfo.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

int Refuse(const std::string& message) {
    fprintf(stderr, "kelmar: %s\n", message.c_str());
    return 1;
}

std::string EntryFolder() {
    return std::string(g_get_user_config_dir()) + "/autostart";
}

// The entry's text; false when GLib cannot make it.
bool EntryText(const std::string& command, std::string& text) {
    GKeyFile* entry = g_key_file_new();
    const char* group = G_KEY_FILE_DESKTOP_GROUP;
    g_key_file_set_string(entry, group, G_KEY_FILE_DESKTOP_KEY_TYPE, G_KEY_FILE_DESKTOP_TYPE_APPLICATION);
    g_key_file_set_string(entry, group, G_KEY_FILE_DESKTOP_KEY_NAME, "Kelmar");
    g_key_file_set_string(entry, group, G_KEY_FILE_DESKTOP_KEY_COMMENT, "Start the Kelmar bar with the session");
    // The session passes over the entry once Kelmar is removed.
    g_key_file_set_string(entry, group, G_KEY_FILE_DESKTOP_KEY_TRY_EXEC, command.c_str());
    g_key_file_set_string(entry, group, G_KEY_FILE_DESKTOP_KEY_EXEC, ExecFor(command).c_str());
    g_key_file_set_string(entry, group, G_KEY_FILE_DESKTOP_KEY_ICON, "kelmar");
    g_key_file_set_boolean(entry, group, G_KEY_FILE_DESKTOP_KEY_TERMINAL, FALSE);
    gsize size = 0;
    gchar* data = g_key_file_to_data(entry, &size, nullptr);
    g_key_file_free(entry);
    if (data == nullptr) return false;
    text.assign(data, size);
    g_free(data);
    return true;
}

}  // namespace

std::string ExecFor(const std::string& program) {
    std::string quoted = "\"";
    bool percent = false;
    for (char c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        if (c == '%') {
            quoted += '%';
            percent = true;
        }
        quoted += c;
    }
    quoted += '"';
    return percent ? "env " + quoted : quoted;
}

int Autostart(const std::string& mode, const std::string& command) {
    const std::string folder = EntryFolder();
    const std::string entry = folder + "/kelmar.desktop";
    if (mode == "off") {
        if (!g_file_test(entry.c_str(), G_FILE_TEST_EXISTS) && !g_file_test(entry.c_str(), G_FILE_TEST_IS_SYMLINK)) {
            printf("Kelmar was not set to start with your desktop session (%s does not exist).\n", entry.c_str());
            return 0;
        }
        if (g_unlink(entry.c_str()) != 0) return Refuse("cannot remove " + entry);
        printf("Kelmar will no longer start with your desktop session (%s removed).\n", entry.c_str());
        return 0;
    }
    if (mode != "on") return Refuse("--autostart takes on or off; see kelmar --help");

    std::string text;
    if (!EntryText(command, text)) return Refuse("cannot write " + entry);
    if (g_mkdir_with_parents(folder.c_str(), 0755) != 0) return Refuse("cannot make the folder " + folder);
    std::string aside = folder + "/.kelmar.XXXXXX";
    const int fd = g_mkstemp(&aside[0]);
    if (fd < 0) return Refuse("cannot write in " + folder);
    bool written = fchmod(fd, 0644) == 0;
    for (size_t done = 0; written && done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        written = n > 0;
        if (written) done += static_cast<size_t>(n);
    }
    written = close(fd) == 0 && written;
    // Read back as the session will read it: GIO must find the program it names.
    GDesktopAppInfo* loaded = written ? g_desktop_app_info_new_from_filename(aside.c_str()) : nullptr;
    if (loaded != nullptr) g_object_unref(loaded);
    if (loaded == nullptr || rename(aside.c_str(), entry.c_str()) != 0) {
        g_unlink(aside.c_str());
        if (written && loaded == nullptr) {
            return Refuse("cannot write an autostart entry that the desktop can start for " + command +
                          ": GIO does not accept it; start Kelmar from another folder");
        }
        return Refuse("cannot write " + entry);
    }
    printf("Kelmar will start with your desktop session (%s written).\n", entry.c_str());
    return 0;
}
