// What the desktop offers the program: the temporary folder and the program that opens web pages.
#pragma once

#include <string>

namespace morven {

// The program's folder: $MORVEN_APPDIR when set, else the folder of the running executable; without a
// trailing "/".
std::string ApplicationFolder();

// $TMPDIR when it names a folder, else "/tmp"; always ending in "/".
std::string TempDirectory();

// The full path of the desktop's default program for HTML pages: the desktop entry that
// `xdg-mime query default text/html` names, looked up in the XDG application folders, and the first word of
// its Exec line found on PATH. Empty when there is none (no xdg-mime, no association, no such program).
// `code` is 0 when a program was found, 1 when the desktop named none, 2 when xdg-mime could not be run.
std::string FindDefaultBrowser(int& code);

}  // namespace morven
