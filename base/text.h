// The program's texts: the string table of res/lang/, in the language the resource loader chose
// from the user's Windows display language (English where there is no other).
#pragma once
#include <windows.h>

constexpr int kTextChars = 512;  // the longest box text with its filled-in parts, and room

struct Text {
    WCHAR chars[kTextChars];
};

// The text `id`; empty when the table has none.
Text LoadText(UINT id);

// `pattern` with each %1 replaced by `first` and each %2 by `second` (empty when null), cut at
// kTextChars - 1 characters. Any other % stays as it is.
Text FillText(const WCHAR* pattern, const WCHAR* first, const WCHAR* second = nullptr);

// LoadText, then FillText.
Text FormatText(UINT id, const WCHAR* first, const WCHAR* second = nullptr);
