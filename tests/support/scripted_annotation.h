// An annotation stand-in on g_annotation for the life of the object: records every call and
// answers `answer`. A call fails the test when its window is null, destroyed or another
// thread's, when it is not on the client object itself (the program annotates nothing else),
// when a property is not one the program annotates or comes with the wrong type (role, state
// and live setting are VT_I4 numbers; name and value strings), when a string is null, or when a
// clear names no properties.
#pragma once
#include <windows.h>
#include <oaidl.h>

#include <string>
#include <vector>

#include "controls/annotation.h"

struct AnnotationRecord {
    enum Kind { kSetProp, kSetPropString, kClearProps, kEvent } kind;
    HWND window;
    LONG object;
    LONG child;
    std::vector<GUID> properties;  // the one set, or those cleared
    VARTYPE type;                  // of a kSetProp value
    LONG number;                   // a kSetProp VT_I4 value
    std::wstring text;             // a kSetPropString value
    DWORD event;                   // of a kEvent
};

class ScriptedAnnotation {
  public:
    ScriptedAnnotation();
    ~ScriptedAnnotation();
    ScriptedAnnotation(const ScriptedAnnotation&) = delete;
    ScriptedAnnotation& operator=(const ScriptedAnnotation&) = delete;

    HRESULT answer = S_OK;  // what every annotation call answers

    const std::vector<AnnotationRecord>& Calls() const { return calls_; }
    void Forget() { calls_.clear(); }

  private:
    static HRESULT SetProp(HWND window, DWORD object, DWORD child, const GUID& property,
                           const VARIANT& value);
    static HRESULT SetPropString(HWND window, DWORD object, DWORD child, const GUID& property,
                                 const WCHAR* text);
    static HRESULT ClearProps(HWND window, DWORD object, DWORD child, const GUID* properties,
                              int count);
    static void WINAPI NotifyEvent(DWORD event, HWND window, LONG object, LONG child);

    AnnotationCalls previous_;
    std::vector<AnnotationRecord> calls_;
};

// The GUID as {XXXXXXXX-XXXX-...}, for messages.
std::string GuidText(const GUID& guid);
