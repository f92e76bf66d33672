// What the kelmar command does before Kelmar runs, in kelmar-run: its options; the refusals (no display,
// no Wine); the data folder, ${XDG_DATA_HOME:-~/.local/share}/kelmar, with Kelmar's menus (apps.dat) and
// a Wine prefix of its own; the menus made from the desktop's applications on the first run and on
// request; the prefix made by copying the one the package prepared for every user (or by Wine where there
// is none), brought up to the Wine installed, kept small, and given the session's language and screen.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "linux/wine_prefix.h"

// Starts a program (argv, ended by a null) as Kelmar is started, so that a Wine server it starts can serve
// Kelmar too; its process id, or -1.
using StartProgram = std::function<pid_t(char** argv)>;

struct Launch {
    bool active = false;
    std::string lib;       // the folder of Kelmar's programs
    std::string command;   // the kelmar command's own path
    std::string data;      // the data folder
    std::string prefix;    // its Wine prefix
    std::string loader;    // Wine's 64-bit loader and server
    std::string server;
    WineFiles wine;        // Wine's own files, where Kelmar may link to them (Debian's Wine)
    std::string shared;    // the prefix the package prepared for every user's first start
    bool madePrefix = false;  // made by this start: no Wine server can have it yet
    // The session's look, when this start gives it to Wine: begun early (at once in a prefix just made)
    // and not yet waited for; the INF file, where it was written for Wine, and the Wine command taking it.
    bool lookEarly = false;
    bool lookPending = false;
    std::string lookInf;
    std::string lookFile;
    pid_t lookPid = -1;
    // The session's DPI differs from the one the prefix had: a Wine server started before it was given
    // keeps the old one (Wine 10's desktop does), so Kelmar starts in a new server.
    bool dpiChanged = false;

    // The variables Wine's commands get: kelmar-run notes the session's environment before it sets them,
    // so that the programs Kelmar starts get the session's back.
    std::vector<std::string> WineSettings() const;
};

// kelmar-run's own value for "go on and run Kelmar".
constexpr int kRunKelmar = -1;

// Everything up to the locks: the options (args: the kelmar command's path, its library folder, then the
// user's arguments), the checks, the data folder, the prefix where there is none, the first menus. An exit
// status to end with (help, version, --autostart, --import, a refusal), or kRunKelmar with launch filled.
int PrepareLaunch(const std::vector<std::string>& args, const StartProgram& start, Launch& launch);

// With the data folder's lock held: the prefix brought up to the Wine installed (only when alone, no
// other Kelmar of the folder running), small again, and given the session's look. Never stops Kelmar
// from starting; says on standard error what it could not do.
void PreparePrefix(Launch& launch, bool alone, const StartProgram& start);

// Waits for a started program; its exit status, or -1.
int WaitFor(pid_t pid);
