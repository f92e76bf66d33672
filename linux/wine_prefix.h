// Kelmar's Wine prefix kept small. Wine writes into every prefix a copy of each of its own Windows
// libraries and language tables; each copy that is byte for byte Wine's own file becomes a symbolic link
// to it here, which leaves a few megabytes. Before Wine updates a prefix (after Wine itself was upgraded)
// the links become copies again, so that Wine's update rewrites and registers each library as in a plain
// prefix; afterwards they are links again. Also what a prefix's time stamps say about Wine's version.
#pragma once

#include <string>
#include <vector>

// The prefix that the package prepares for every user's first start to copy (kelmar-prefix), under the
// root Kelmar is installed in; the mark in it that names how it was made, which a copy must know.
constexpr const char* kSharedPrefix = "/var/cache/kelmar/wineprefix";
constexpr const char* kSharedMark = ".kelmar-shared";
constexpr long long kSharedVersion = 1;

// Where a Wine installation keeps the files that it copies into prefixes, and its wine.inf, whose time
// tells each prefix which Wine made or last updated it.
struct WineFiles {
    std::vector<std::string> folders;
    std::string inf;
};

// Debian's 64-bit Wine (and its 32-bit half, where installed) under root ("" for the system).
WineFiles DebianWine(const std::string& root = std::string());

// The Wine files by their names in lower case: what a copy in a prefix may be a copy of.
class WineFileIndex {
public:
    explicit WineFileIndex(const WineFiles& wine);
    // Wine's files of that name (any case), in the order of the folders.
    const std::vector<std::string>* Find(const std::string& name) const;
    bool Empty() const { return names_.empty(); }

private:
    std::vector<std::pair<std::string, std::vector<std::string>>> names_;  // sorted by name
};

// What a pass over a prefix did.
struct PrefixPass {
    int files = 0;          // files linked, or links made copies
    long long bytes = 0;    // their size
    int failed = 0;         // files that could not be replaced
};

// Replaces each regular file under prefix/drive_c that is byte for byte a Wine file of the same name by a
// symbolic link to that file, each written aside and moved into place.
PrefixPass LinkWineCopies(const std::string& prefix, const WineFileIndex& wine);

// Replaces each symbolic link under prefix/drive_c that points into one of Wine's folders by a copy of
// its target, written aside and moved into place. A link whose target is gone is left as it is.
PrefixPass CopyWineLinks(const std::string& prefix, const WineFiles& wine);

// Whether any symbolic link under prefix/drive_c points into one of Wine's folders.
bool HasWineLinks(const std::string& prefix, const WineFiles& wine);

// Copies a prefix folder tree: folders, files and symbolic links as they are, but with followLinks each
// link into one of Wine's folders as a copy of its target. False (with errno) on the first failure.
bool CopyPrefixTree(const std::string& from, const std::string& to, const WineFiles& wine, bool followLinks);

// Removes a folder tree (not following links); true when it is gone.
bool RemoveTree(const std::string& path);

// wine.inf's modification time in seconds, as Wine notes it in a prefix; -1 when it cannot be read.
long long WineInfTime(const WineFiles& wine);

// What a prefix's .update-timestamp says against the time of Wine's wine.inf: Wine itself updates a
// prefix (runs "wineboot -u" in it) at its next start whenever the two differ, and never when the file
// says "disable".
enum class WineUpdate { kCurrent, kDue, kDisabled };
WineUpdate PrefixUpdate(const std::string& prefix, long long infTime);

// A small file of Kelmar's own: a number on one line. Read back -1 when missing, empty, cut or garbled;
// written aside and moved into place.
long long ReadNumberFile(const std::string& path);
bool WriteNumberFile(const std::string& path, long long value);
