// kelmar-import [--first-run] [--codepage N]: makes apps.dat in the current folder (Kelmar's data folder)
// from the applications that the desktop's menus show, as GIO lists them by the freedesktop rules. With
// --first-run it writes only where no apps.dat is, and quietly gives way to a running Kelmar; otherwise it
// keeps the old file as apps.dat.bak (the earlier backups as apps.dat.bak.1 to .9) and refuses while a
// Kelmar of this folder runs. N is the bar's ANSI code page; without it names are written in ASCII. Names
// are sorted by the locale's collation and the menus titled in the user's language where the desktop has
// the titles. Says what it did on standard output. It notes the code page beside apps.dat
// (apps.dat.codepage).
// kelmar-import --convert [--codepage N], before each start: converts apps.dat's texts to code page N when
// they were written in another (the previous file kept as a backup, as by an import). Without N it only
// looks whether the locale changed since apps.dat was written: exit code 2 says the code page is needed.
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "catalogue/catalogue_file.h"
#include "core/host.h"
#include "linux/catalogue_codepage.h"
#include "linux/data_lock.h"
#include "linux/desktop_menus.h"

extern bool gHostWarned;
extern int gHostCodePage;

namespace {

constexpr const char* kBackupFile = "apps.dat.bak";
constexpr int kOlderBackups = 9;  // apps.dat.bak.1, the newest of them, to apps.dat.bak.9
// Kelmar's own entry: on its own bar it would only start a second bar over the first.
constexpr const char* kOwnEntry = "kelmar.desktop";
// kelmar-import --convert without a code page: the locale changed, so the code page must be asked.
constexpr int kCodePageNeeded = 2;

int Fail(const std::string& message) {
    fprintf(stderr, "kelmar: %s\n", message.c_str());
    return 1;
}

std::string Folder() {
    char* here = g_get_current_dir();
    std::string folder = here;
    g_free(here);
    return folder;
}

// start-app, installed beside this program.
std::string HelperPath() {
    gchar* self = g_file_read_link("/proc/self/exe", nullptr);
    if (self == nullptr) return std::string();
    gchar* dir = g_path_get_dirname(self);
    std::string path = std::string(dir) + "/start-app";
    g_free(dir);
    g_free(self);
    return path;
}

// Every *.desktop file under an applications folder, by desktop-file ID ("kde4/a.desktop" is "kde4-a.desktop").
void ListEntries(const std::string& folder, const std::string& idPrefix, std::map<std::string, std::string>& found) {
    GDir* dir = g_dir_open(folder.c_str(), 0, nullptr);
    if (dir == nullptr) return;
    while (const char* name = g_dir_read_name(dir)) {
        const std::string path = folder + "/" + name;
        if (g_file_test(path.c_str(), G_FILE_TEST_IS_DIR)) {
            ListEntries(path, idPrefix + name + "-", found);
        } else if (g_str_has_suffix(name, ".desktop")) {
            found.emplace(idPrefix + name, path);  // the first folder's file wins, as in GIO
        }
    }
    g_dir_close(dir);
}

// The desktop's entries that GIO did not list as applications, each with the reason.
std::vector<LeftOut> UnlistedEntries(const std::set<std::string>& listed) {
    std::map<std::string, std::string> found;
    std::vector<std::string> folders = {g_get_user_data_dir()};
    for (const gchar* const* dir = g_get_system_data_dirs(); *dir != nullptr; ++dir) folders.emplace_back(*dir);
    for (const std::string& folder : folders) {
        std::map<std::string, std::string> here;
        ListEntries(folder + "/applications", "", here);
        for (const auto& entry : here) found.insert(entry);
    }
    std::vector<LeftOut> left;
    for (const auto& entry : found) {
        if (listed.count(entry.first) != 0 || entry.first == kOwnEntry) continue;
        GDesktopAppInfo* info = g_desktop_app_info_new_from_filename(entry.second.c_str());
        left.push_back({entry.first, info != nullptr ? "Hidden"
                                                     : "unreadable, no application, or its TryExec program is missing"});
        if (info != nullptr) g_object_unref(info);
    }
    return left;
}

std::string Text(char* owned) {
    std::string text = owned != nullptr ? owned : "";
    g_free(owned);
    return text;
}

std::string BackupName(int number) {
    return number == 0 ? std::string(kBackupFile) : std::string(kBackupFile) + "." + std::to_string(number);
}

bool SameBytes(const char* path, const gchar* bytes, gsize length) {
    gchar* other = nullptr;
    gsize otherLength = 0;
    if (!g_file_get_contents(path, &other, &otherLength, nullptr)) return false;
    const bool same = otherLength == length && memcmp(other, bytes, length) == 0;
    g_free(other);
    return same;
}

// A copy of apps.dat as apps.dat.bak, written aside and moved into place, the earlier backups each moved
// one number on and the tenth dropped; nothing moves when apps.dat is the same as apps.dat.bak.
bool KeepBackup() {
    gchar* bytes = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(kCatalogueFile, &bytes, &length, nullptr)) return false;
    if (SameBytes(kBackupFile, bytes, length)) {
        g_free(bytes);
        return true;
    }
    char temp[] = "./.apps.dat.bak.XXXXXX";
    const int fd = mkstemp(temp);
    bool kept = fd >= 0;
    if (kept) {
        fchmod(fd, 0644);
        kept = write(fd, bytes, length) == static_cast<ssize_t>(length) && fsync(fd) == 0;
        kept = close(fd) == 0 && kept;
        // Oldest first, so that no backup is ever written over before it has moved on.
        for (int number = kOlderBackups - 1; kept && number >= 0; --number) {
            if (access(BackupName(number).c_str(), F_OK) != 0) continue;
            kept = rename(BackupName(number).c_str(), BackupName(number + 1).c_str()) == 0;
        }
        kept = kept && rename(temp, kBackupFile) == 0;
        if (!kept) unlink(temp);
    }
    g_free(bytes);
    return kept;
}

// The code page apps.dat is written in, as noted beside it; false when the note is missing or damaged.
bool ReadCodePage(CodePageRecord& record) {
    gchar* text = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(kCodePageRecordFile, &text, &length, nullptr)) return false;
    const bool known = ParseCodePageRecord(std::string(text, length), record);
    g_free(text);
    return known;
}

// The note beside apps.dat, written aside and moved into place.
bool WriteCodePage(const CodePageRecord& record) {
    const std::string text = CodePageRecordText(record);
    return g_file_set_contents_full(kCodePageRecordFile, text.data(), static_cast<gssize>(text.size()),
                                    G_FILE_SET_CONTENTS_CONSISTENT, 0644, nullptr);
}

// Notes this start's code page and locale beside apps.dat; 0 (names in ASCII) removes the note, as any
// code page reads ASCII.
void NoteCodePage(int codePage) {
    if (codePage == 0) {
        unlink(kCodePageRecordFile);
    } else if (!WriteCodePage({codePage, CodePageLocale()})) {
        fprintf(stderr, "kelmar: cannot note the menus' code page in %s; a later change of language may show their "
                        "names wrongly\n", kCodePageRecordFile);
    }
}

bool HasCatalogue() {
    struct stat existing;
    return stat(kCatalogueFile, &existing) == 0 && existing.st_size > 0;
}

// The desktop's applications, listed once when a name needs them: by key, their names as the import took them.
class InstalledNames {
public:
    std::vector<std::string> operator()(const std::string& key) {
        if (!listed_) {
            listed_ = true;
            GList* all = g_app_info_get_all();
            for (GList* item = all; item != nullptr; item = item->next) {
                if (!G_IS_DESKTOP_APP_INFO(item->data) || g_app_info_get_id(G_APP_INFO(item->data)) == nullptr) continue;
                GDesktopAppInfo* desktop = G_DESKTOP_APP_INFO(item->data);
                apps_.push_back({g_app_info_get_id(G_APP_INFO(item->data)), g_app_info_get_name(G_APP_INFO(item->data)),
                                 Text(g_desktop_app_info_get_string(desktop, "Name")), ""});
            }
            g_list_free_full(all, g_object_unref);
        }
        std::vector<std::string> names;
        int found = 0;
        for (const DesktopApp& app : apps_) {
            if (!KeyNames(key, app.id)) continue;
            names = {app.name, app.plainName};
            ++found;
        }
        return found == 1 ? names : std::vector<std::string>();  // a key that names two names neither
    }

private:
    bool listed_ = false;
    std::vector<DesktopApp> apps_;
};

int ConvertToCodePage(const std::string& folder, bool haveCodePage, int codePage) {
    CodePageRecord written;
    const bool known = ReadCodePage(written);
    if (!haveCodePage) {
        // Wine takes the code page from the locale: the same locale, the same code page.
        return !HasCatalogue() || (known && written.locale == CodePageLocale()) ? 0 : kCodePageNeeded;
    }
    if (codePage <= 0) return 0;  // unknown: nothing to go by
    const int lock = OpenDataLock(".");
    if (lock < 0) return Fail("cannot open " + folder + "/" + kLockFile + ": " + strerror(errno));
    if (!TryLockAlone(lock)) {
        if (known && written.codePage != codePage) {
            fprintf(stderr, "kelmar: the menus are written in code page %d and this start's is %d, but another Kelmar "
                            "of %s is running: their names are converted at a start when none is\n",
                    written.codePage, codePage, folder.c_str());
        }
        return 0;
    }
    // Without a note, apps.dat is taken to be in this start's code page, as Kelmar then writes it.
    if (!HasCatalogue() || !known || written.codePage == codePage) {
        NoteCodePage(codePage);
        return 0;
    }
    AnsiEncoder from(written.codePage);
    AnsiEncoder to(codePage);
    if (!from.Ready() || !to.Ready()) {
        return Fail("no converter between code pages " + std::to_string(written.codePage) + " and " +
                    std::to_string(codePage) + "; the menus' names may show wrongly");
    }
    gchar* contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(kCatalogueFile, &contents, &length, nullptr)) {
        return Fail("cannot read " + folder + "/" + kCatalogueFile + "; the menus' names may show wrongly");
    }
    const std::string bytes(contents, length);
    g_free(contents);

    std::vector<std::string> dataDirs = {g_get_user_data_dir()};
    for (const gchar* const* dir = g_get_system_data_dirs(); *dir != nullptr; ++dir) dataDirs.emplace_back(*dir);
    DesktopNames desktop;
    desktop.titleTranslations = MenuTitleTranslations(dataDirs);
    desktop.titles = MenuTitles(dataDirs);
    InstalledNames installed;
    desktop.appNames = [&installed](const std::string& key) { return installed(key); };
    CatalogueConversion conversion;
    const std::string converted = ConvertCatalogue(bytes, from, to, desktop, conversion);
    if (!conversion.readable) return 0;  // Kelmar says what is wrong with it; left as it is
    if (conversion.changed) {
        const std::string left = "; apps.dat is left in code page " + std::to_string(written.codePage) +
                                 ", so its names may show wrongly";
        if (!KeepBackup()) return Fail("cannot keep the menus as " + folder + "/" + kBackupFile + left);
        // The note is away while apps.dat is replaced: a start after a crash between the two takes apps.dat
        // to be in its own code page, and never converts it twice.
        if (unlink(kCodePageRecordFile) != 0) return Fail("cannot replace " + folder + "/" + kCodePageRecordFile + left);
        if (!g_file_set_contents_full(kCatalogueFile, converted.data(), static_cast<gssize>(converted.size()),
                                      G_FILE_SET_CONTENTS_CONSISTENT, 0644, nullptr)) {
            WriteCodePage(written);
            return Fail("cannot write " + folder + "/apps.dat" + left);
        }
        printf("The menus were written in code page %d; their names are now in code page %d, this language's (the "
               "menus as they were are in %s/%s).\n", written.codePage, codePage, folder.c_str(), kBackupFile);
        if (!conversion.madeReadable.empty()) printf("Names that code page %d cannot show, made readable:\n", codePage);
        for (const std::string& line : conversion.madeReadable) printf("  %s\n", line.c_str());
        for (const std::string& what : conversion.keptAsTheyWere) {
            fprintf(stderr, "kelmar: %s cannot be written exactly in code page %d; it is left as it was\n", what.c_str(),
                    codePage);
        }
    }
    NoteCodePage(codePage);
    return 0;
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    setlocale(LC_ALL, "");  // names sorted as the user's language sorts them
    bool firstRun = false;
    bool convert = false;
    bool haveCodePage = false;
    int codePage = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--first-run") == 0) {
            firstRun = true;
        } else if (strcmp(argv[i], "--convert") == 0) {
            convert = true;
        } else if (strcmp(argv[i], "--codepage") == 0 && i + 1 < argc) {
            codePage = atoi(argv[++i]);
            haveCodePage = true;
        } else {
            return Fail(std::string("kelmar-import: unknown argument '") + argv[i] + "'");
        }
    }
    const std::string folder = Folder();
    if (convert) return ConvertToCodePage(folder, haveCodePage, codePage);

    const int lock = OpenDataLock(".");
    if (lock < 0) return Fail("cannot open " + folder + "/" + kLockFile + ": " + strerror(errno));
    if (!TryLockAlone(lock)) {
        if (firstRun) return 0;  // another kelmar of this folder is starting or running: it made the menus
        return Fail("Kelmar is running with the data folder " + folder +
                    "; choose Exit Kelmar there first (it would save its own menus over the new ones when it "
                    "ends), then run kelmar --import again");
    }
    struct stat existing;
    const bool hadCatalogue = stat(kCatalogueFile, &existing) == 0 && existing.st_size > 0;
    if (firstRun && hadCatalogue) return 0;

    AnsiEncoder encoder(codePage);
    if (!encoder.Ready()) {
        fprintf(stderr, "kelmar: no converter for code page %d; names are written in ASCII\n", codePage);
    }
    AnsiEncoder ascii(0);
    const AnsiEncoder& names = encoder.Ready() ? encoder : ascii;
    gHostCodePage = names.CodePage();  // texts cut to a field end on a whole character of it

    std::vector<DesktopApp> apps;
    std::set<std::string> listed;
    std::vector<std::string> notShown;
    GList* all = g_app_info_get_all();
    for (GList* item = all; item != nullptr; item = item->next) {
        if (!G_IS_DESKTOP_APP_INFO(item->data)) continue;
        GAppInfo* info = G_APP_INFO(item->data);
        GDesktopAppInfo* desktop = G_DESKTOP_APP_INFO(item->data);
        const char* id = g_app_info_get_id(info);
        if (id == nullptr) continue;
        listed.insert(id);
        if (strcmp(id, kOwnEntry) == 0) continue;
        if (!g_app_info_should_show(info)) {
            notShown.emplace_back(id);
            continue;
        }
        const char* categories = g_desktop_app_info_get_categories(desktop);
        apps.push_back({id, g_app_info_get_name(info), Text(g_desktop_app_info_get_string(desktop, "Name")),
                        categories != nullptr ? categories : ""});
    }
    g_list_free_full(all, g_object_unref);
    std::sort(notShown.begin(), notShown.end());

    if (apps.empty()) {
        if (firstRun) {
            printf("No applications in the desktop's menus: Kelmar starts with its sample menus.\n");
            return 0;
        }
        return Fail("found no applications in the desktop's menus (in $XDG_DATA_HOME/applications and each "
                    "$XDG_DATA_DIRS/applications); " + folder + "/apps.dat is left as it was");
    }

    const std::string unixHelper = HelperPath();
    const std::string helper = WinePath(unixHelper, names);
    if (helper.empty()) {
        return Fail("the path of start-app, " + unixHelper + ", cannot be written in code page " +
                    std::to_string(names.CodePage()) + "; " + folder + "/apps.dat is left as it was");
    }
    Catalogue catalogue;
    ImportSummary summary;
    std::vector<std::string> dataDirs = {g_get_user_data_dir()};
    for (const gchar* const* dir = g_get_system_data_dirs(); *dir != nullptr; ++dir) dataDirs.emplace_back(*dir);
    if (!BuildImportedCatalogue(apps, names, helper, catalogue, summary, MenuTitles(dataDirs))) {
        FreeCatalogue(catalogue);
        return Fail(helper.size() >= sizeof AppEntry::path
                        ? "the path of start-app, " + helper + ", is longer than the 79 characters of Path/filename"
                        : std::string("not enough memory for the menus"));
    }
    const bool backedUp = !firstRun && hadCatalogue;
    if (backedUp && !KeepBackup()) {
        FreeCatalogue(catalogue);
        return Fail("cannot keep the previous menus as " + folder + "/" + kBackupFile + "; apps.dat is left as it was");
    }
    SaveCatalogue(catalogue);
    FreeCatalogue(catalogue);
    if (gHostWarned) return Fail("the menus were not written; " + folder + "/apps.dat is left as it was");
    NoteCodePage(encoder.Ready() ? codePage : 0);

    printf("Made %d menus of %d applications from the desktop's menus in %s/apps.dat (code page %s):\n",
           summary.menus, summary.apps, folder.c_str(),
           encoder.Ready() && codePage != 0 ? std::to_string(codePage).c_str() : "ASCII");
    for (const std::string& line : summary.menuLines) printf("  %s\n", line.c_str());
    if (backedUp) {
        int older = 0;
        while (older < kOlderBackups && access(BackupName(older + 1).c_str(), F_OK) == 0) ++older;
        printf("The previous menus are in %s/%s", folder.c_str(), kBackupFile);
        if (older == 1) printf("; the menus before them in %s", BackupName(1).c_str());
        if (older > 1) {
            printf("; earlier ones in %s to %s, newest first", BackupName(1).c_str(), BackupName(older).c_str());
        }
        printf(".\n");
    }
    if (!notShown.empty()) {
        printf("Left out, not in this desktop's menus (NoDisplay, OnlyShowIn, NotShowIn): %s\n", Joined(notShown).c_str());
    }
    std::map<std::string, std::vector<std::string>> byReason;
    for (const LeftOut& left : summary.leftOut) byReason[left.reason].push_back(left.id);
    for (const LeftOut& left : UnlistedEntries(listed)) byReason[left.reason].push_back(left.id);
    for (const auto& reason : byReason) printf("Left out, %s: %s\n", reason.first.c_str(), Joined(reason.second).c_str());
    return 0;
}
