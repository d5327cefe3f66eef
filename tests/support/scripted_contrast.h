// A high-contrast stand-in on g_highContrastOn and g_systemColour for the life of the object:
// the theme is on or off as scripted (Wine's is always off), and the system colours that the
// high-contrast look uses answer with distinct colours, none of them magenta. Asking for any
// other system colour fails the test.
#pragma once
#include <windows.h>

#include <map>

#include "controls/contrast_look.h"

class ScriptedContrast {
  public:
    explicit ScriptedContrast(bool on);
    ~ScriptedContrast();
    ScriptedContrast(const ScriptedContrast&) = delete;
    ScriptedContrast& operator=(const ScriptedContrast&) = delete;

    void Set(bool on) { on_ = on; }
    // What the scripted system answers for a COLOR_ index (magenta for one it does not know).
    COLORREF Colour(int index) const;
    int Questions() const { return questions_; }

  private:
    static bool Answer();
    static DWORD WINAPI SystemColour(int index);

    HighContrastFn previousOn_;
    SystemColourFn previousColour_;
    bool on_;
    int questions_ = 0;
    std::map<int, COLORREF> colours_;
};
