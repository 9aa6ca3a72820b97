// Stand-ins for the desktop programs that SDL starts (zenity for the file dialog, xdg-open for
// opening things), put first on PATH for the whole test program, so no test ever shows a real
// dialog or opens a real browser.
#pragma once

#include <string>
#include <vector>

// The folder the stand-ins work in:
//   zenity-answer  what the dialog prints as the chosen file (absent: nothing)
//   zenity-status  the dialog's exit code (absent: 1, a cancel)
//   zenity-args    written by the dialog: its arguments, one a line
//   opened         appended by xdg-open: each address it was given, one a line
const std::string& fakeDesktopDir();

// What the dialog stand-in prints and its exit code for the next dialogs; forgets the last
// question.
void setDialogAnswer(const std::string& printed, int status);
// The arguments the dialog was last started with, one per entry (empty when it did not run).
std::vector<std::string> lastDialogArgs();
