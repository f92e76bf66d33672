# Writes the licence for the setup's licence page: each paragraph on one line, so that the page wraps
# it to its own width instead of breaking lines where the file's 80 columns did.
# Usage: cmake -DIN=LICENSE -DOUT=licence-page.txt -P licence_page.cmake
file(READ ${IN} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(STRIP "${text}" text)
string(REGEX REPLACE "\n[ \t]*\n" "@PARAGRAPH@" text "${text}")
string(REPLACE "\n" " " text "${text}")
string(REPLACE "@PARAGRAPH@" "\r\n\r\n" text "${text}")
file(WRITE ${OUT} "${text}\r\n")
