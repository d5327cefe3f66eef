#include "base/text.h"

#include "base/instance.h"

namespace {

// Appends `from` at `at`, as far as it fits before the terminator's place.
int Append(Text* text, int at, const WCHAR* from) {
    for (; from != nullptr && *from != L'\0' && at < kTextChars - 1; ++from) {
        text->chars[at++] = *from;
    }
    return at;
}

}  // namespace

Text LoadText(UINT id) {
    Text text;
    // A zero buffer size asks for the resource's own read-only characters, which are not
    // terminated; copying them bounds the length here.
    const WCHAR* resource = nullptr;
    const int length = LoadStringW(g_instance, id, reinterpret_cast<LPWSTR>(&resource), 0);
    int at = 0;
    for (; resource != nullptr && at < length && at < kTextChars - 1; ++at) {
        text.chars[at] = resource[at];
    }
    text.chars[at] = L'\0';
    return text;
}

Text FillText(const WCHAR* pattern, const WCHAR* first, const WCHAR* second) {
    Text text;
    int at = 0;
    for (const WCHAR* c = pattern; c != nullptr && *c != L'\0' && at < kTextChars - 1; ++c) {
        if (c[0] == L'%' && (c[1] == L'1' || c[1] == L'2')) {
            at = Append(&text, at, c[1] == L'1' ? first : second);
            ++c;
        } else {
            text.chars[at++] = *c;
        }
    }
    text.chars[at] = L'\0';
    return text;
}

Text FormatText(UINT id, const WCHAR* first, const WCHAR* second) {
    const Text pattern = LoadText(id);
    return FillText(pattern.chars, first, second);
}
