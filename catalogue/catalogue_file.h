// The catalogue file "apps.dat": fixed-size little-endian record images with no header, one 48-byte
// menu image followed by its appCount 228-byte app images, menu after menu; and the default catalogue
// used when the file is missing or empty. Portable: no platform headers.
#pragma once

#include <cstddef>
#include <cstdio>

#include "catalogue/records.h"

constexpr const char* kCatalogueFile = "apps.dat";
constexpr size_t kMenuImageSize = 48;
constexpr size_t kAppImageSize = 228;

// Record images. Link values are written as zero and never trusted on reading; a text read back always
// ends with a NUL inside its field, after its last whole character (a field with none has its last byte
// cut, and half a character goes with it).
void EncodeMenu(const UserMenu& menu, unsigned char image[kMenuImageSize]);
void DecodeMenu(const unsigned char image[kMenuImageSize], UserMenu& menu);
void EncodeApp(const AppEntry& app, unsigned char image[kAppImageSize]);
void DecodeApp(const unsigned char image[kAppImageSize], AppEntry& app);

// Loads "apps.dat" from the current directory into an empty catalogue, or builds the default catalogue
// when the file is missing or empty. A group cut short inside its app images is fatal. Always true.
bool LoadCatalogue(Catalogue& catalogue);

// Reads menu groups from an open stream until it ends, appending them to the catalogue. On a group cut
// short inside its app images the run ends through FatalError, which closes the stream after its box
// through CloseCatalogueStream.
void ReadCatalogue(Catalogue& catalogue, FILE* file);

// Closes the stream that ReadCatalogue was reading when it gave up; nothing when none is open.
void CloseCatalogueStream();

// "&Apps" and "&Games", two apps each; appended to the (empty) catalogue.
void BuildDefaultCatalogue(Catalogue& catalogue);

// Writes the catalogue to "apps.dat" through a temporary file in the same folder, replacing the old file
// only once the new one is whole on disk. An empty catalogue leaves the file alone. Warns on failure.
void SaveCatalogue(const Catalogue& catalogue);
