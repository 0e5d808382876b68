// Message boxes of another process, as a user sees them: finding one,
// reading what it says and offers, and clicking one of its buttons.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct SeenBox {
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // left to right, as IDYES, IDNO, IDOK, ...
    int defaultButton = 0;
    bool hasIcon = false;
    bool topmost = false;
    bool owned = false;
    double seenAtMs = 0;       // on the rig's clock
};

// A visible message box of that process other than skip, if it shows one.
HWND FindBoxOf(DWORD processId, HWND skip = nullptr);

std::wstring WindowText(HWND window);

SeenBox ReadBox(HWND box);

// Clicks as a user would; a box without that button gets its first one (so
// IDOK reaches an MB_OK box whose button is IDCANCEL, as on Windows).
void AnswerBox(HWND box, int button);
