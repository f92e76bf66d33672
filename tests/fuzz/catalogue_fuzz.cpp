// libFuzzer target for the apps.dat reader: any bytes either load into a sound catalogue or end in the
// damaged-file path, never a crash, a leak or a read past a record. A loaded catalogue must also come
// back the same after being written and read again.
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "catalogue/catalogue_file.h"
#include "core/host.h"
#include "core/text.h"

namespace {

jmp_buf gFatal;

[[noreturn]] void Fail(const char* why) {
    fprintf(stderr, "catalogue fuzz: %s\n", why);
    __builtin_trap();
}

// Every text ends inside its field, after a whole character.
bool Whole(const char* field, size_t size) {
    const char* end = static_cast<const char*>(memchr(field, 0, size));
    return end != nullptr && WholeCharsLength(field, size) == static_cast<size_t>(end - field);
}

// Both chains doubly linked with open ends, counts equal to lengths, every text ending inside its field
// on a whole character.
void CheckSound(const Catalogue& catalogue) {
    const UserMenu* previousMenu = nullptr;
    for (const UserMenu* menu = catalogue.head; menu != nullptr; menu = menu->next) {
        if (menu->prev != previousMenu) Fail("menu prev link");
        if (!Whole(menu->name, sizeof menu->name)) Fail("menu name without NUL or ending in half a character");
        int32_t count = 0;
        const AppEntry* previousApp = nullptr;
        for (const AppEntry* app = menu->apps; app != nullptr; app = app->next, ++count) {
            if (app->prev != previousApp) Fail("app prev link");
            if (!Whole(app->path, sizeof app->path) || !Whole(app->workDir, sizeof app->workDir) ||
                !Whole(app->params, sizeof app->params) || !Whole(app->name, sizeof app->name)) {
                Fail("app text without NUL or ending in half a character");
            }
            previousApp = app;
        }
        if (count != menu->appCount) Fail("appCount differs from the chain");
        previousMenu = menu;
    }
}

std::string Describe(const Catalogue& catalogue) {
    std::string out;
    for (const UserMenu* menu = catalogue.head; menu != nullptr; menu = menu->next) {
        out += std::string(menu->name) + '\1' + std::to_string(menu->appCount) + '\1';
        for (const AppEntry* app = menu->apps; app != nullptr; app = app->next) {
            out += std::string(app->path) + '\2' + app->workDir + '\2' + app->params + '\2' + app->name + '\3';
        }
    }
    return out;
}

std::string Images(const Catalogue& catalogue) {
    std::string bytes;
    unsigned char menuImage[kMenuImageSize];
    unsigned char appImage[kAppImageSize];
    for (const UserMenu* menu = catalogue.head; menu != nullptr; menu = menu->next) {
        EncodeMenu(*menu, menuImage);
        bytes.append(reinterpret_cast<char*>(menuImage), sizeof menuImage);
        for (const AppEntry* app = menu->apps; app != nullptr; app = app->next) {
            EncodeApp(*app, appImage);
            bytes.append(reinterpret_cast<char*>(appImage), sizeof appImage);
        }
    }
    return bytes;
}

// Loads bytes; false when the reader took the damaged-file way out.
bool Load(Catalogue& catalogue, const void* data, size_t size) {
    FILE* file = fmemopen(const_cast<void*>(data), size, "rb");
    if (file == nullptr) return true;  // zero bytes: nothing to read
    if (setjmp(gFatal) != 0) {  // the reader gave up, leaving its stream to the fatal path
        CloseCatalogueStream();
        return false;
    }
    ReadCatalogue(catalogue, file);
    fclose(file);
    return true;
}

}  // namespace

void WarnBox(const char*) {}
void FatalError(const char*) { longjmp(gFatal, 1); }
bool GetWindowsDir(char* out, size_t size) { return snprintf(out, size, "C:\\WINDOWS") < static_cast<int>(size); }
// A double-byte code page of the fuzzer's own, every byte from 0x81 a lead byte, so that the cuts after
// whole characters are fuzzed too.
size_t CharBytes(const char* text, size_t available) {
    if (available == 0 || text[0] == '\0') return 0;
    if (static_cast<unsigned char>(text[0]) < 0x81) return 1;
    return available >= 2 && text[1] != '\0' ? 2 : 0;
}
bool MakeTempFileIn(const char*, char*, size_t) { return false; }
bool CommitFile(FILE*) { return false; }
ReplaceResult ReplaceFileWith(const char*, const char*) { return ReplaceResult::kFailed; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Catalogue catalogue;
    const bool loaded = Load(catalogue, data, size);
    CheckSound(catalogue);
    if (loaded) {
        const std::string written = Images(catalogue);
        Catalogue again;
        if (!Load(again, written.data(), written.size())) Fail("written catalogue does not load");
        if (Describe(again) != Describe(catalogue)) Fail("round trip changed the catalogue");
        FreeCatalogue(again);
    }
    FreeCatalogue(catalogue);
    return 0;
}
