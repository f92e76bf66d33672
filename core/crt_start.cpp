// The one piece of the C runtime's start-up code that KELMAR32.EXE provides itself, so that its imports
// stay within what msvcrt.dll has exported since Windows 95 (KELMENUS.EXE links it too, for the same
// imports with every MinGW-w64).
//
// From MinGW-w64 12 on, the code that calls WinMain finds the end of the program's name in the command
// line with _ismbblead, to step over the second byte of a double-byte character; imported, that would
// be one more msvcrt.dll function. A second byte is never a blank, a quote or NUL in any Windows
// double-byte code page (they lie at 0x40 and above), so stepping over it one byte at a time finds the
// same end; Kelmar reads nothing of its command line either. Nothing else in the program calls this.
extern "C" int __cdecl _ismbblead(unsigned int) {
    return 0;
}
