// Room controls/: the bitmap button and the button bar that holds five of them.
//
// What assistive technology reads of windows that have no accessible objects of their own: the
// picture buttons' role and latched state, other controls' names and values, and a status line
// as a polite live region. Every text is the caller's, in the user's language. The system's
// standard objects for these windows are annotated through Dynamic Annotation (oleacc's
// IAccPropServices), always on the window's client object (OBJID_CLIENT, CHILDID_SELF).
//
// The program initialises COM on its window thread before the first window is made
// (CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)), calls these only on that thread, and at
// the end, once its windows are gone, calls ReleaseAnnotationService() and then CoUninitialize().
#pragma once
#include <windows.h>
#include <oaidl.h>

// The calls the annotations go through. A seam: in the program they reach oleacc and user32;
// tests record them and fail on misuse.
using SetPropFn = HRESULT (*)(HWND window, DWORD object, DWORD child, const GUID& property,
                              const VARIANT& value);
using SetPropStringFn = HRESULT (*)(HWND window, DWORD object, DWORD child, const GUID& property,
                                    const WCHAR* text);
using ClearPropsFn = HRESULT (*)(HWND window, DWORD object, DWORD child, const GUID* properties,
                                 int count);
using NotifyEventFn = void(WINAPI*)(DWORD event, HWND window, LONG object, LONG child);

struct AnnotationCalls {
    SetPropFn setProp;              // IAccPropServices::SetHwndProp
    SetPropStringFn setPropString;  // IAccPropServices::SetHwndPropStr
    ClearPropsFn clearProps;        // IAccPropServices::ClearHwndProps
    NotifyEventFn notifyEvent;      // NotifyWinEvent
};

// IAccPropServices, made on first use on the calling thread and kept; when it cannot be made, or
// answers that it cannot annotate at all (Wine), every call does nothing and fails quietly.
extern const AnnotationCalls kSystemAnnotation;
extern AnnotationCalls g_annotation;  // kSystemAnnotation in the program

// Whether the system's annotation service is there and has not refused to annotate; makes it
// when nothing has asked yet.
bool AnnotationServiceAvailable();
// Lets the service go (on the thread that made it); the next annotation makes it again.
void ReleaseAnnotationService();

// UI Automation's LiveSetting property, annotated by its GUID (Windows 10 1709 and later honour
// it), and its polite value.
extern const GUID kLiveSettingProperty;
constexpr LONG kLiveSettingPolite = 1;
// EVENT_OBJECT_LIVEREGIONCHANGED, which the WINVER 0x0601 headers leave out.
constexpr DWORD kEventLiveRegionChanged = 0x8019;

// Every function below does nothing for a null or destroyed window.

// A picture button is read as a push button (its name is its window text).
void AnnotatePushButton(HWND button);
// While `pressed` (Play or Record latched) the state is annotated as pressed, together with what
// the system's object reports from the window itself (unavailable when disabled, focusable,
// focused, invisible), since an annotated state replaces that whole; when not pressed the
// annotation is cleared and the system's object answers alone. Either way it tells of a state
// change (EVENT_OBJECT_STATECHANGE). Called again whenever the window is enabled or disabled,
// gains or loses the focus, or is shown or hidden while pressed.
void AnnotatePressed(HWND button, bool pressed);
// The state AnnotatePressed annotates for a pressed button, as the window is now.
LONG PressedButtonState(HWND button);

void AnnotateName(HWND window, const WCHAR* name);
// Not among the properties documented for direct annotation: a system that refuses it leaves
// the control's own value.
void AnnotateValue(HWND window, const WCHAR* value);

// Marks the window as a polite live region: a screen reader reads its new text when told.
void MarkLiveRegion(HWND window);
// Tells that the live region's text changed.
void AnnounceLiveRegion(HWND window);
// Sets the live region's text and tells, when it differs from what the window shows; returns
// whether it did.
bool SetLiveRegionText(HWND window, const WCHAR* text);

// Clears all of the above from the window, for its WM_DESTROY.
void ClearAnnotations(HWND window);
