// A message for the user as a desktop notification, through the freedesktop notification service on the
// session bus (GIO's D-Bus), so that it is seen whether or not Kelmar was started from a terminal.
#pragma once

#include <string>

// Sends the notification when the session names its bus and a notification service answers on it within
// a few seconds; nothing otherwise.
void Notify(const std::string& message);
