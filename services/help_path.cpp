#include "services/help_path.h"

#include <strsafe.h>

bool HelpPathFromExePath(const WCHAR* exePath, const WCHAR* language, WCHAR (&helpPath)[MAX_PATH]) {
    const WCHAR* lastBackslash = nullptr;
    for (const WCHAR* c = exePath; *c != L'\0'; ++c) {
        if (*c == L'\\') {
            lastBackslash = c;
        }
    }
    if (lastBackslash == nullptr) {
        return false;
    }
    const int folderLength = static_cast<int>(lastBackslash - exePath);
    // A cut-off path would name some other file.
    const HRESULT written =
        language[0] == L'\0'
            ? StringCchPrintfW(helpPath, MAX_PATH, L"%.*s\\help\\help.htm", folderLength, exePath)
            : StringCchPrintfW(helpPath, MAX_PATH, L"%.*s\\help\\%s\\help.htm", folderLength,
                               exePath, language);
    return SUCCEEDED(written);
}
