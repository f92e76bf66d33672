// Starting Kelmar with the desktop session: the XDG autostart entry, ~/.config/autostart/kelmar.desktop,
// written with GLib's key file functions and checked with GIO's desktop entry loader, which the desktops'
// session managers use, so that an entry is written only when the session can start it.
#pragma once

#include <string>

// The Exec value that starts a program by its absolute path whatever the path holds (spaces, quotes,
// "$", "%"): the path in double quotes with ", `, $ and \ escaped and "%" doubled, as the Desktop Entry
// rules ask. GIO looks for an Exec's program before it turns "%%" back into "%", so a path with "%" is
// given to env(1), which GIO finds.
std::string ExecFor(const std::string& program);

// "on": writes the entry to start command (the kelmar command's absolute path), aside and moved into
// place; "off": removes it. Says what it did on standard output, or why not on standard error; 0 or 1.
int Autostart(const std::string& mode, const std::string& command);
