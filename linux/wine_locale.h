// The ANSI code page in which Kelmar's names must be written, known without starting Wine: Wine takes
// it from the process's locale. It names the C library's LC_CTYPE locale as Windows names locales, looks
// the name up in its own locale table (locale.nls, in the format of Windows's own) and takes that
// locale's default ANSI code page; 1252 (English, United States) when there is none. This reads the same
// table the same way. Wines differ on a name the table lacks: Wine 10 then shortens it by its last part
// until one is found ("sr-RS" as "sr", 1250), Wine 8 takes English (1252); where that gives two answers,
// only Wine itself can say which.
#pragma once

#include <string>

// The Windows name of a C library locale name: "ja_JP.UTF-8" is "ja-JP", "sr_RS@latin" is
// "sr-Latn-RS", "C" and "POSIX" are "en-US". Empty when Wine would find none (then it takes English).
// lcAll is LC_ALL's value, which Wine reads instead of the name "C".
std::string WindowsLocaleName(const std::string& unixName, const char* lcAll);

// What a locale.nls file's bytes give a Windows locale name: its default ANSI code page (65001 for a
// locale that has none but Unicode), 1252 for a name the table lacks; kAskWine when Wines differ on the
// name, 0 when the table cannot be read.
constexpr int kAskWine = -1;
int AnsiCodePageOf(const std::string& table, const std::string& windowsName);

// The code page Wine takes in this process's environment, from Wine's locale table at nlsFile; kAskWine
// or 0 as above. Sets the C library's locale from the environment, as Wine does, and leaves it so.
int WineAnsiCodePage(const std::string& nlsFile);
