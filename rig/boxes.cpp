#include "boxes.h"

#include <algorithm>
#include <utility>

#include "clock.h"

namespace {

// Where a message box keeps its text and, when it has one, its icon: the
// icon's control is 0x14 in Windows' box and 0x440 (IDC_MSGBOX_ICON) in
// Wine's own dialog template, so both are looked for.
int const MessageTextId = 0xFFFF;
int const IconIdsToTry[] = {0x0014, 0x0440};
int const ButtonIds[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, IDTRYAGAIN, IDCONTINUE, IDHELP};

std::vector<int> ButtonsLeftToRight(HWND box)
{
    std::vector<std::pair<LONG, int>> placed;
    for (int id : ButtonIds) {
        HWND button = GetDlgItem(box, id);
        if (button && IsWindowVisible(button)) {
            RECT rect{};
            GetWindowRect(button, &rect);
            placed.emplace_back(rect.left, id);
        }
    }
    std::sort(placed.begin(), placed.end());
    std::vector<int> buttons;
    for (auto const& [left, id] : placed)
        buttons.push_back(id);
    return buttons;
}

} // namespace

HWND FindBoxOf(DWORD processId, HWND skip)
{
    HWND window = nullptr;
    while ((window = FindWindowExW(nullptr, window, L"#32770", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && window != skip && IsWindowVisible(window))
            return window;
    }
    return nullptr;
}

std::wstring WindowText(HWND window)
{
    WCHAR text[1024]{};
    GetWindowTextW(window, text, ARRAYSIZE(text));
    return text;
}

SeenBox ReadBox(HWND box)
{
    SeenBox seen;
    seen.seenAtMs = RigNowMs();
    seen.caption = WindowText(box);
    seen.text = WindowText(GetDlgItem(box, MessageTextId));
    seen.buttons = ButtonsLeftToRight(box);
    // The default button is the one drawn as such, whatever DM_GETDEFID says.
    for (int id : seen.buttons)
        if ((GetWindowLongW(GetDlgItem(box, id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            seen.defaultButton = id;
    // Windows gives an MB_OK box's lone button the id IDCANCEL, so that Esc
    // closes it, and MessageBoxW still returns IDOK for it; Wine gives it IDOK.
    // https://learn.microsoft.com/windows/win32/api/winuser/nf-winuser-messageboxw (Return value)
    if (seen.buttons == std::vector<int>{IDCANCEL}) {
        seen.buttons = {IDOK};
        seen.defaultButton = seen.defaultButton == IDCANCEL ? IDOK : seen.defaultButton;
    }
    for (int id : IconIdsToTry) {
        HWND icon = GetDlgItem(box, id);
        if (icon && IsWindowVisible(icon) && SendMessageW(icon, STM_GETICON, 0, 0))
            seen.hasIcon = true;
    }
    seen.topmost = (GetWindowLongW(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    seen.owned = GetWindow(box, GW_OWNER) != nullptr;
    return seen;
}

void AnswerBox(HWND box, int button)
{
    if (!GetDlgItem(box, button)) {
        std::vector<int> const buttons = ButtonsLeftToRight(box);
        if (!buttons.empty())
            button = buttons.front();
    }
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, button)));
}
