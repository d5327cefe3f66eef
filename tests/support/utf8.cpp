#include "tests/support/utf8.h"

std::string Utf8(const WCHAR* text) {
    if (text == nullptr) {
        return "";
    }
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) {
        return "";
    }
    std::string result(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], bytes, nullptr, nullptr);
    result.resize(static_cast<size_t>(bytes) - 1);
    return result;
}

std::wstring Wide(const std::string& text) {
    const int chars = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    if (chars <= 1) {
        return L"";
    }
    std::wstring result(static_cast<size_t>(chars), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &result[0], chars);
    result.resize(static_cast<size_t>(chars) - 1);
    return result;
}

void CopyWide(WCHAR (&to)[MAX_PATH], const std::string& from) {
    lstrcpynW(to, Wide(from).c_str(), MAX_PATH);
}
