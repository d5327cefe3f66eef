// Wide texts as UTF-8 for the tests, which compare and print std::string.
#pragma once
#include <windows.h>

#include <string>

// `text` in UTF-8; "" for null.
std::string Utf8(const WCHAR* text);
// `text` (UTF-8) as UTF-16.
std::wstring Wide(const std::string& text);

// Copies the UTF-8 `from` into a wide path buffer, cut to fit.
void CopyWide(WCHAR (&to)[MAX_PATH], const std::string& from);
