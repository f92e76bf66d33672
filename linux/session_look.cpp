// The session's font and DPI through fontconfig and libX11, and the INF file that hands them to Wine.
#include "linux/session_look.h"

#include <X11/Xlib.h>
#include <fontconfig/fontconfig.h>
#include <glib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kLowestDpi = 96;
constexpr int kHighestDpi = 480;

// A value between double quotes in an INF file: quotes doubled, and "%" doubled, which would otherwise
// begin the name of a string to put in its place.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '%') quoted += c;
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

std::string FontLanguage(const std::string& locale) {
    const std::string name = locale.substr(0, locale.find_first_of(".@"));
    if (name.empty() || name == "C" || name == "POSIX") return "en";
    if (name.compare(0, 3, "zh_") == 0) {
        std::string chinese = name;
        for (char& c : chinese) c = c == '_' ? '-' : static_cast<char>(g_ascii_tolower(c));
        return chinese;
    }
    return name.substr(0, name.find('_'));
}

SessionFont FontFor(const std::string& language) {
    SessionFont font;
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) return font;
    FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>(language.c_str()));
    // Family names in English first, as Wine names the fonts it finds.
    FcPatternAddString(pattern, FC_FAMILYLANG, reinterpret_cast<const FcChar8*>("en"));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) return font;
    FcChar8* file = nullptr;
    FcChar8* family = nullptr;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch &&
        FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch) {
        const std::string path = reinterpret_cast<const char*>(file);
        font.file = path.substr(path.rfind('/') + 1);
        font.family = reinterpret_cast<const char*>(family);
    }
    FcPatternDestroy(match);
    return font;
}

int DpiOfResources(const std::string& resources) {
    static const char kKey[] = "Xft.dpi:";
    for (size_t line = 0; line < resources.size();) {
        size_t end = resources.find('\n', line);
        if (end == std::string::npos) end = resources.size();
        if (resources.compare(line, sizeof kKey - 1, kKey) == 0) {
            const std::string value = resources.substr(line + sizeof kKey - 1, end - line - (sizeof kKey - 1));
            char* rest = nullptr;
            const double dpi = strtod(value.c_str(), &rest);
            while (rest != nullptr && (*rest == ' ' || *rest == '\t')) ++rest;
            if (rest != value.c_str() && rest != nullptr && *rest == '\0' && dpi >= 1 && dpi < 100000) {
                return static_cast<int>(std::nearbyint(dpi));
            }
            return 0;
        }
        line = end + 1;
    }
    return 0;
}

int DpiOfScale(const char* gdkScale) {
    if (gdkScale == nullptr || gdkScale[0] < '1' || gdkScale[0] > '9' || gdkScale[1] != '\0') return 0;
    return kLowestDpi * (gdkScale[0] - '0');
}

int DpiOfScreen(int pixels, int millimetres) {
    if (pixels <= 0 || millimetres <= 0) return 0;
    // A physical size is rarely exact: to the nearest of Windows's scales, 100 %, 125 %, 150 %, ...
    const int measured = static_cast<int>(pixels * 25.4 / millimetres + 0.5);
    return (measured + 12) / 24 * 24;
}

int SessionDpi(const char* display, const char* gdkScale) {
    int dpi = 0, screen = 0;
    if (display != nullptr && display[0] != '\0') {
        if (Display* x = XOpenDisplay(display)) {
            if (const char* resources = XResourceManagerString(x)) dpi = DpiOfResources(resources);
            const int number = DefaultScreen(x);
            screen = DpiOfScreen(DisplayHeight(x, number), DisplayHeightMM(x, number));
            XCloseDisplay(x);
        }
    }
    if (dpi == 0) dpi = DpiOfScale(gdkScale);
    if (dpi == 0) dpi = screen;
    if (dpi < kLowestDpi) return kLowestDpi;
    return dpi > kHighestDpi ? kHighestDpi : dpi;
}

std::string SettingsInf(int dpi, const SessionFont& font) {
    const std::string pixels = std::to_string(dpi);
    std::string inf =
        "; Kelmar's settings for its Wine prefix, written at each start where they changed.\r\n"
        "[Version]\r\nSignature=\"$Chicago$\"\r\n\r\n"
        "[DefaultInstall]\r\nAddReg=Kelmar.Settings\r\nRegisterDlls=Kelmar.Profile\r\n\r\n"
        "[Kelmar.Settings]\r\n"
        // Wine draws the bar's frame itself: asked of the window manager, GNOME's kept the bar hidden.
        // For KELMAR32.EXE alone; the programs Kelmar starts keep their desktop's frames.
        "HKCU,\"Software\\Wine\\AppDefaults\\KELMAR32.EXE\\X11 Driver\",\"Decorated\",,\"N\"\r\n"
        "HKCU,\"Control Panel\\Desktop\",\"LogPixels\",0x10001," + pixels + "\r\n"
        "HKLM,\"System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts\",\"LogPixels\",0x10001," +
        pixels + "\r\n"
        // The user's profile, as Wine notes it when it makes a prefix; Wine's user has this one id.
        "HKLM,\"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000\",\"Flags\",0x10001,0\r\n"
        "HKLM,\"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-21-0-0-0-1000\","
        "\"ProfileImagePath\",,\"%53%\"\r\n";
    if (!font.file.empty() && !font.family.empty() && g_utf8_validate(font.file.c_str(), -1, nullptr) &&
        g_utf8_validate(font.family.c_str(), -1, nullptr)) {
        const std::string link = Quoted(font.file + "," + font.family);
        for (const char* face : {"Tahoma", "Microsoft Sans Serif", "MS Sans Serif"}) {
            inf += "HKLM,\"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink\",\"" + std::string(face) +
                   "\",0x10000," + link + "\r\n";
        }
    }
    // shell32's registration makes the user's folders, Desktop and Documents among them links into the
    // home folder's, as in a prefix Wine makes for the user.
    inf += "\r\n[Kelmar.Profile]\r\n11,,shell32.dll,1\r\n";
    return inf;
}

std::string Utf16WithMark(const std::string& utf8) {
    glong units = 0;
    gunichar2* text = g_utf8_to_utf16(utf8.c_str(), static_cast<glong>(utf8.size()), nullptr, &units, nullptr);
    if (text == nullptr) return std::string();
    std::string bytes = "\xff\xfe";
    for (glong i = 0; i < units; ++i) {
        bytes += static_cast<char>(text[i] & 0xff);
        bytes += static_cast<char>(text[i] >> 8);
    }
    g_free(text);
    return bytes;
}
