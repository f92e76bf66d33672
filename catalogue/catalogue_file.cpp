// Reading and writing "apps.dat", and the default catalogue.
#include "catalogue/catalogue_file.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/host.h"
#include "core/text.h"

namespace {

constexpr const char* kCorruptFile = "Corrupt .DAT file. Please\r\ndelete it and restart Kelmar.";
constexpr const char* kNoMemoryToLoad = "Not enough memory to load APPS.DAT.";
constexpr const char* kCannotWrite = "Could not open APPS.DAT for write.\r\nPlease check the file.";

// Field offsets of the two record images.
constexpr size_t kMenuName = 0, kMenuAppCount = 32, kMenuNext = 36, kMenuPrev = 40, kMenuApps = 44;
constexpr size_t kAppPath = 0, kAppWorkDir = 80, kAppParams = 160, kAppName = 190, kAppNext = 220, kAppPrev = 224;

// Text up to its NUL, the rest of the field zero, so no stale bytes reach the file.
void PutText(unsigned char* image, const char* field, size_t size) {
    size_t length = WholeCharsLength(field, size - 1);
    memcpy(image, field, length);
    memset(image + length, 0, size - length);
}

// A field from the file may lack its NUL, or end in half a character (a lead byte before the NUL): it is
// cut after its last whole character within the field less one byte.
void GetText(char* field, const unsigned char* image, size_t size) {
    memcpy(field, image, size);
    field[WholeCharsLength(field, size - 1)] = '\0';
}

void PutInt32(unsigned char* image, int32_t value) {
    uint32_t bits = static_cast<uint32_t>(value);
    image[0] = static_cast<unsigned char>(bits);
    image[1] = static_cast<unsigned char>(bits >> 8);
    image[2] = static_cast<unsigned char>(bits >> 16);
    image[3] = static_cast<unsigned char>(bits >> 24);
}

int32_t GetInt32(const unsigned char* image) {
    uint32_t bits = static_cast<uint32_t>(image[0]) | static_cast<uint32_t>(image[1]) << 8 |
                    static_cast<uint32_t>(image[2]) << 16 | static_cast<uint32_t>(image[3]) << 24;
    return static_cast<int32_t>(bits);
}

// Hands out the file's record images from a block buffer of its own: one fread per block, not per record.
class ImageReader {
public:
    explicit ImageReader(FILE* file) : file_(file) {}

    // The next size bytes, or nullptr when fewer remain in the file.
    const unsigned char* Next(size_t size) {
        if (length_ - position_ < size) {
            const size_t left = length_ - position_;
            memmove(buffer_, buffer_ + position_, left);
            position_ = 0;
            length_ = left + fread(buffer_ + left, 1, sizeof buffer_ - left, file_);
            if (length_ < size) return nullptr;
        }
        const unsigned char* image = buffer_ + position_;
        position_ += size;
        return image;
    }

private:
    FILE* file_;
    size_t position_ = 0;
    size_t length_ = 0;
    unsigned char buffer_[16384];
};

// The writer's block lives here, not on the stack.
unsigned char gWriteBlock[65536];

// Gathers record images into blocks, so that a save makes one fwrite per block.
class ImageWriter {
public:
    explicit ImageWriter(FILE* file) : file_(file) {}

    // Room for the next image of size bytes (at most a block).
    unsigned char* Reserve(size_t size) {
        if (sizeof gWriteBlock - length_ < size) Flush();
        unsigned char* room = gWriteBlock + length_;
        length_ += size;
        return room;
    }

    // Writes what is gathered; false once any write has failed.
    bool Flush() {
        if (length_ > 0 && fwrite(gWriteBlock, 1, length_, file_) != length_) failed_ = true;
        length_ = 0;
        return !failed_;
    }

private:
    FILE* file_;
    size_t length_ = 0;
    bool failed_ = false;
};

// The stream ReadCatalogue is reading. On a damaged file the loader leaves through FatalError, which
// after its box closes this stream and releases what was linked so far; the file is not saved over.
FILE* gReading = nullptr;

bool AddDefaultApp(UserMenu& menu, const char* name, const char* path) {
    AppEntry* app = NewRecord<AppEntry>();
    if (app == nullptr) return false;
    CopyText(app->name, sizeof app->name, name);
    CopyText(app->path, sizeof app->path, path);
    LinkAppAfter(menu, LastApp(menu), app);
    return true;
}

UserMenu* AddDefaultMenu(Catalogue& catalogue, const char* name) {
    UserMenu* menu = NewRecord<UserMenu>();
    if (menu == nullptr) return nullptr;
    CopyText(menu->name, sizeof menu->name, name);
    LinkMenuAfter(catalogue, LastMenu(catalogue), menu);
    return menu;
}

bool WriteCatalogue(FILE* file, const Catalogue& catalogue) {
    ImageWriter writer(file);
    for (const UserMenu* menu = catalogue.head; menu != nullptr; menu = menu->next) {
        EncodeMenu(*menu, writer.Reserve(kMenuImageSize));
        for (const AppEntry* app = menu->apps; app != nullptr; app = app->next) {
            EncodeApp(*app, writer.Reserve(kAppImageSize));
        }
    }
    return writer.Flush();
}

}  // namespace

void EncodeMenu(const UserMenu& menu, unsigned char image[kMenuImageSize]) {
    PutText(image + kMenuName, menu.name, sizeof menu.name);
    PutInt32(image + kMenuAppCount, menu.appCount);
    PutInt32(image + kMenuNext, 0);
    PutInt32(image + kMenuPrev, 0);
    PutInt32(image + kMenuApps, 0);
}

void DecodeMenu(const unsigned char image[kMenuImageSize], UserMenu& menu) {
    GetText(menu.name, image + kMenuName, sizeof menu.name);
    menu.appCount = GetInt32(image + kMenuAppCount);
}

void EncodeApp(const AppEntry& app, unsigned char image[kAppImageSize]) {
    PutText(image + kAppPath, app.path, sizeof app.path);
    PutText(image + kAppWorkDir, app.workDir, sizeof app.workDir);
    PutText(image + kAppParams, app.params, sizeof app.params);
    PutText(image + kAppName, app.name, sizeof app.name);
    PutInt32(image + kAppNext, 0);
    PutInt32(image + kAppPrev, 0);
}

void DecodeApp(const unsigned char image[kAppImageSize], AppEntry& app) {
    GetText(app.path, image + kAppPath, sizeof app.path);
    GetText(app.workDir, image + kAppWorkDir, sizeof app.workDir);
    GetText(app.params, image + kAppParams, sizeof app.params);
    GetText(app.name, image + kAppName, sizeof app.name);
}

bool LoadCatalogue(Catalogue& catalogue) {
    FILE* file = fopen(kCatalogueFile, "rb");
    long length = 0;
    if (file != nullptr && fseek(file, 0, SEEK_END) == 0) {
        length = ftell(file);
        if (fseek(file, 0, SEEK_SET) != 0) length = 0;
    }
    if (file == nullptr || length <= 0) {
        if (file != nullptr) fclose(file);
        BuildDefaultCatalogue(catalogue);
        return true;
    }

    ReadCatalogue(catalogue, file);
    fclose(file);
    return true;
}

void CloseCatalogueStream() {
    if (gReading != nullptr) fclose(gReading);
    gReading = nullptr;
}

void ReadCatalogue(Catalogue& catalogue, FILE* file) {
    gReading = file;
    ImageReader reader(file);
    UserMenu* lastMenu = LastMenu(catalogue);
    // A trailing fragment shorter than a menu image ends the file silently.
    while (const unsigned char* menuImage = reader.Next(kMenuImageSize)) {
        UserMenu* menu = NewRecord<UserMenu>();
        if (menu == nullptr) FatalError(kNoMemoryToLoad);
        DecodeMenu(menuImage, *menu);
        const int32_t count = menu->appCount;
        menu->appCount = 0;  // counted up again as the apps are linked
        // Linked at once, so that everything read so far is reachable from the head.
        LinkMenuAfter(catalogue, lastMenu, menu);
        lastMenu = menu;

        AppEntry* lastApp = nullptr;
        for (int32_t i = 0; i < count; ++i) {
            const unsigned char* appImage = reader.Next(kAppImageSize);
            if (appImage == nullptr) FatalError(kCorruptFile);
            AppEntry* app = NewRecord<AppEntry>();
            if (app == nullptr) FatalError(kNoMemoryToLoad);
            DecodeApp(appImage, *app);
            LinkAppAfter(*menu, lastApp, app);
            lastApp = app;
        }
    }
    gReading = nullptr;
}

void BuildDefaultCatalogue(Catalogue& catalogue) {
    char windowsDir[kMaxPath];
    if (!GetWindowsDir(windowsDir, sizeof windowsDir)) windowsDir[0] = '\0';
    char path[sizeof AppEntry::path];

    UserMenu* apps = AddDefaultMenu(catalogue, "&Apps");
    if (apps == nullptr) return;
    if (!AddDefaultApp(*apps, "Visual &C++ v2.0", "c:\\vc20\\bin\\msvc.exe")) return;
    if (!AddDefaultApp(*apps, "Visual &Basic v3.0", "c:\\vb3\\vb.exe")) return;

    UserMenu* games = AddDefaultMenu(catalogue, "&Games");
    if (games == nullptr) return;
    CopyText(path, sizeof path, windowsDir);
    AppendText(path, sizeof path, "\\winmine.exe");
    if (!AddDefaultApp(*games, "&Minesweeper", path)) return;
    CopyText(path, sizeof path, windowsDir);
    AppendText(path, sizeof path, "\\sol.exe");
    AddDefaultApp(*games, "&Solitaire", path);
}

void SaveCatalogue(const Catalogue& catalogue) {
    if (catalogue.head == nullptr) return;  // an empty catalogue never replaces the file

    char tempPath[kMaxPath];
    if (!MakeTempFileIn(".", tempPath, sizeof tempPath)) {
        WarnBox(kCannotWrite);
        return;
    }
    FILE* file = fopen(tempPath, "wb");
    bool saved = file != nullptr && WriteCatalogue(file, catalogue);
    if (file != nullptr) {
        saved = saved && fflush(file) == 0 && CommitFile(file);
        saved = fclose(file) == 0 && saved;
    }
    const ReplaceResult replaced = saved ? ReplaceFileWith(tempPath, kCatalogueFile) : ReplaceResult::kFailed;
    if (replaced != ReplaceResult::kReplaced) {
        // Once the old file could not be put back, the temporary file may hold the only new copy.
        if (replaced == ReplaceResult::kFailed) remove(tempPath);
        WarnBox(kCannotWrite);
    }
}
