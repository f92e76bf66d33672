// Catalogue I/O beside its floor: loading and saving a catalogue of 65 menus of 100 applications,
// against reading and writing the same bytes with one fread or fwrite call.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue/catalogue_file.h"
#include "core/host.h"
#include "core/text.h"

void WarnBox(const char* text) {
    fprintf(stderr, "warning: %s\n", text);
}
void FatalError(const char* text) {
    fprintf(stderr, "fatal: %s\n", text);
    exit(1);
}
bool GetWindowsDir(char* out, size_t size) {
    CopyText(out, size, "C:\\WINDOWS");
    return true;
}
size_t CharBytes(const char* text, size_t available) {
    return available > 0 && text[0] != '\0' ? 1 : 0;
}
bool MakeTempFileIn(const char* dir, char* out, size_t size) {
    snprintf(out, size, "%s/kelXXXXXX", dir);
    const int fd = mkstemp(out);
    if (fd < 0) return false;
    close(fd);
    return true;
}
bool CommitFile(FILE*) { return true; }  // both sides skip the flush to disk: the figures compare the code
ReplaceResult ReplaceFileWith(const char* source, const char* target) {
    return rename(source, target) == 0 ? ReplaceResult::kReplaced : ReplaceResult::kFailed;
}

namespace {

void MakeCatalogue(Catalogue& catalogue) {
    UserMenu* lastMenu = nullptr;
    for (int m = 0; m < 65; ++m) {
        UserMenu* menu = NewRecord<UserMenu>();
        snprintf(menu->name, sizeof menu->name, "Menu %d", m);
        LinkMenuAfter(catalogue, lastMenu, menu);
        lastMenu = menu;
        AppEntry* lastApp = nullptr;
        for (int a = 0; a < 100; ++a) {
            AppEntry* app = NewRecord<AppEntry>();
            snprintf(app->path, sizeof app->path, "c:\\apps\\tool%d.exe", a);
            snprintf(app->name, sizeof app->name, "App %d.%d", m, a);
            LinkAppAfter(*menu, lastApp, app);
            lastApp = app;
        }
    }
}

struct Folder {
    Folder() {
        char pattern[] = "/tmp/kelmar-bench-XXXXXX";
        path = mkdtemp(pattern);
        if (chdir(path.c_str()) != 0) abort();
        Catalogue catalogue;
        MakeCatalogue(catalogue);
        SaveCatalogue(catalogue);
        FreeCatalogue(catalogue);
        FILE* file = fopen("apps.dat", "rb");
        bytes.resize(65 * 48 + 6500 * 228);
        if (fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) abort();
        fclose(file);
    }
    std::string path;
    std::vector<char> bytes;
};

Folder& TheFolder() {
    static Folder folder;
    return folder;
}

void BM_LoadCatalogue(benchmark::State& state) {
    TheFolder();
    for (auto _ : state) {
        Catalogue catalogue;
        LoadCatalogue(catalogue);
        benchmark::DoNotOptimize(catalogue.head);
        state.PauseTiming();  // releasing the catalogue is not part of loading it
        FreeCatalogue(catalogue);
        state.ResumeTiming();
    }
}

void BM_ReadSameBytes(benchmark::State& state) {
    std::vector<char> buffer(TheFolder().bytes.size());
    for (auto _ : state) {
        FILE* file = fopen("apps.dat", "rb");
        benchmark::DoNotOptimize(fread(buffer.data(), 1, buffer.size(), file));
        fclose(file);
    }
}

void BM_SaveCatalogue(benchmark::State& state) {
    TheFolder();
    Catalogue catalogue;
    MakeCatalogue(catalogue);
    for (auto _ : state) SaveCatalogue(catalogue);
    FreeCatalogue(catalogue);
}

void BM_WriteSameBytes(benchmark::State& state) {
    const std::vector<char>& bytes = TheFolder().bytes;
    for (auto _ : state) {
        // The same steps as a save: a new file beside apps.dat, written whole, then put in its place.
        char temp[64];
        MakeTempFileIn(".", temp, sizeof temp);
        FILE* file = fopen(temp, "wb");
        fwrite(bytes.data(), 1, bytes.size(), file);
        fclose(file);
        rename(temp, "apps.dat");
    }
}

BENCHMARK(BM_LoadCatalogue)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadSameBytes)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SaveCatalogue)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteSameBytes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
