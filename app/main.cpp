// Asks whether to put the Quorvel shortcut on the desktop, does it on Yes,
// and reports the outcome. The answer to the last box is the exit code.
#include <windows.h>

#include "app/dll_search.h"
#include "install/installer.h"
#include "install/names.h"

namespace {

WCHAR const QuestionText[] = L"在桌面创建Quorvel的快捷方式么？";
WCHAR const CreatedText[] = L"创建Quorvel桌面快捷方式成功";
WCHAR const NotCreatedText[] = L"未创建Quorvel桌面快捷方式";

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    RestrictDllSearchToSystem();
    int const answer = MessageBoxW(nullptr, QuestionText, AppCaption, MB_YESNO);
    if (answer != IDYES)
        return answer;

    InstallResult const result = InstallShortcut();
    PCWSTR const outcome = result == InstallCreated ? CreatedText : NotCreatedText;
    return MessageBoxW(nullptr, outcome, AppCaption, MB_OK);
}
