// Characters of an ANSI code page through GLib's iconv.
#include "linux/ansi_chars.h"

#include <glib.h>

#include <cerrno>
#include <string>

namespace {

constexpr int kUtf8 = 65001;
constexpr size_t kLongestChar = 4;  // UTF-8's longest; the double-byte code pages' is 2
const GIConv kNoConverter = reinterpret_cast<GIConv>(-1);

// The converter from the code page to UTF-8, kept open for the last code page asked for.
GIConv Decoder(int codePage) {
    static int openFor = 0;
    static GIConv decoder = kNoConverter;
    if (codePage != openFor) {
        if (decoder != kNoConverter) g_iconv_close(decoder);
        const std::string name = codePage == kUtf8 ? "UTF-8" : "CP" + std::to_string(codePage);
        decoder = g_iconv_open("UTF-8", name.c_str());
        openFor = codePage;
    }
    return decoder;
}

}  // namespace

size_t AnsiCharBytes(int codePage, const char* text, size_t available) {
    if (available == 0 || text[0] == '\0') return 0;
    const GIConv decoder = codePage != 0 ? Decoder(codePage) : kNoConverter;
    if (decoder == kNoConverter) return 1;
    for (size_t bytes = 1; bytes <= kLongestChar && bytes <= available; ++bytes) {
        if (text[bytes - 1] == '\0') return 0;
        g_iconv(decoder, nullptr, nullptr, nullptr, nullptr);  // a fresh start for each try
        gchar* in = const_cast<gchar*>(text);
        gsize inLeft = bytes;
        gchar out[16];
        gchar* outAt = out;
        gsize outLeft = sizeof out;
        const gsize done = g_iconv(decoder, &in, &inLeft, &outAt, &outLeft);
        if (done != static_cast<gsize>(-1) && inLeft == 0) return bytes;
        // Not a character: the bytes tried stand as one, as Windows takes a lead byte with whatever follows.
        if (errno != EINVAL) return bytes;
    }
    return available >= kLongestChar ? 1 : 0;
}
