#include "controls/annotation.h"

#include <ole2.h>
// The oleacc GUIDs are defined here, so nothing links oleacc.dll: the annotation service is
// reached through COM alone.
#include <initguid.h>
#include <oleacc.h>

#include <cwchar>

#include "app/app_state.h"
#include "base/heap.h"
#include "voice/level_meter.h"

namespace {

// The service, made on the first call and kept for the thread that made it: the object lives
// in that thread's apartment.
IAccPropServices* g_service = nullptr;
bool g_serviceAsked = false;
DWORD g_serviceThread = 0;

IAccPropServices* Service() {
    if (!g_serviceAsked) {
        g_serviceAsked = true;
        g_serviceThread = GetCurrentThreadId();
        void* made = nullptr;
        if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IAccPropServices, &made))) {
            made = nullptr;
        }
        g_service = static_cast<IAccPropServices*>(made);
    }
    return GetCurrentThreadId() == g_serviceThread ? g_service : nullptr;
}

// A service that answers "not implemented" (Wine's answers every call so) is let go, and not
// asked again until ReleaseAnnotationService. Other failures (a property an older Windows does
// not know) concern that call only.
HRESULT Answered(HRESULT result) {
    if (result == E_NOTIMPL && g_service) {
        g_service->Release();
        g_service = nullptr;
    }
    return result;
}

HRESULT SystemSetProp(HWND window, DWORD object, DWORD child, const GUID& property,
                      const VARIANT& value) {
    IAccPropServices* service = Service();
    if (!service) {
        return E_NOINTERFACE;
    }
    return Answered(service->SetHwndProp(window, object, child, property, value));
}

HRESULT SystemSetPropString(HWND window, DWORD object, DWORD child, const GUID& property,
                            const WCHAR* text) {
    IAccPropServices* service = Service();
    if (!service) {
        return E_NOINTERFACE;
    }
    return Answered(service->SetHwndPropStr(window, object, child, property, text));
}

HRESULT SystemClearProps(HWND window, DWORD object, DWORD child, const GUID* properties,
                         int count) {
    IAccPropServices* service = Service();
    if (!service) {
        return E_NOINTERFACE;
    }
    return Answered(service->ClearHwndProps(window, object, child, properties, count));
}

constexpr DWORD kClient = static_cast<DWORD>(OBJID_CLIENT);

bool Usable(HWND window) {
    return window && IsWindow(window);
}

VARIANT Number(LONG value) {
    VARIANT variant = {};
    variant.vt = VT_I4;
    variant.lVal = value;
    return variant;
}

void SetNumber(HWND window, const GUID& property, LONG value) {
    if (Usable(window)) {
        g_annotation.setProp(window, kClient, CHILDID_SELF, property, Number(value));
    }
}

void SetString(HWND window, const GUID& property, const WCHAR* text) {
    if (Usable(window) && text) {
        g_annotation.setPropString(window, kClient, CHILDID_SELF, property, text);
    }
}

void ClearOne(HWND window, const GUID& property) {
    if (Usable(window)) {
        g_annotation.clearProps(window, kClient, CHILDID_SELF, &property, 1);
    }
}

// Room for a value: two time readouts and the words between them.
constexpr int kValueChars = 2 * kTimeReadoutChars + 16;
constexpr WCHAR kPositionValueFormat[] = L"%s of %s";
constexpr WCHAR kInputLevelValueFormat[] = L"%d dB";

}  // namespace

const AnnotationCalls kSystemAnnotation = {SystemSetProp, SystemSetPropString, SystemClearProps,
                                           NotifyWinEvent};
AnnotationCalls g_annotation = kSystemAnnotation;

// {C12BCD8E-2A8E-4950-8AE7-3625111D58EB}
const GUID kLiveSettingProperty = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};

bool AnnotationServiceAvailable() {
    return Service() != nullptr;
}

void ReleaseAnnotationService() {
    if (g_serviceAsked && GetCurrentThreadId() != g_serviceThread) {
        return;  // only its own apartment may let it go
    }
    if (g_service) {
        g_service->Release();
        g_service = nullptr;
    }
    g_serviceAsked = false;
}

void AnnotatePushButton(HWND button) {
    SetNumber(button, PROPID_ACC_ROLE, ROLE_SYSTEM_PUSHBUTTON);
}

LONG PressedButtonState(HWND button) {
    LONG state = STATE_SYSTEM_PRESSED;
    state |= IsWindowEnabled(button) ? STATE_SYSTEM_FOCUSABLE : STATE_SYSTEM_UNAVAILABLE;
    if (GetFocus() == button) {
        state |= STATE_SYSTEM_FOCUSED;
    }
    if (!IsWindowVisible(button)) {
        state |= STATE_SYSTEM_INVISIBLE;
    }
    return state;
}

void AnnotatePressed(HWND button, bool pressed) {
    if (!Usable(button)) {
        return;
    }
    if (pressed) {
        SetNumber(button, PROPID_ACC_STATE, PressedButtonState(button));
    } else {
        ClearOne(button, PROPID_ACC_STATE);
    }
    // Nothing else tells a screen reader that the state changed.
    g_annotation.notifyEvent(EVENT_OBJECT_STATECHANGE, button, OBJID_CLIENT, CHILDID_SELF);
}

void AnnotateName(HWND window, const WCHAR* name) {
    SetString(window, PROPID_ACC_NAME, name);
}

void AnnotateValue(HWND window, const WCHAR* value) {
    SetString(window, PROPID_ACC_VALUE, value);
}

void AnnotatePosition(HWND slider, DWORD seconds, DWORD totalSeconds) {
    if (!Usable(slider)) {
        return;
    }
    WCHAR position[kTimeReadoutChars];
    WCHAR total[kTimeReadoutChars];
    FormatTimeReadout(seconds, position);
    FormatTimeReadout(totalSeconds, total);
    WCHAR value[kValueChars];
    wsprintfW(value, kPositionValueFormat, position, total);
    AnnotateName(slider, kPositionName);
    AnnotateValue(slider, value);
}

void AnnotateInputLevel(HWND meter, int meterPosition) {
    if (!Usable(meter)) {
        return;
    }
    const int clamped = meterPosition < 0             ? 0
                        : meterPosition > kMeterRange ? kMeterRange
                                                      : meterPosition;
    WCHAR value[kValueChars];
    wsprintfW(value, kInputLevelValueFormat, clamped - kMeterRange);
    AnnotateName(meter, kInputLevelName);
    AnnotateValue(meter, value);
}

void MarkLiveRegion(HWND window) {
    SetNumber(window, kLiveSettingProperty, kLiveSettingPolite);
}

void AnnounceLiveRegion(HWND window) {
    if (!Usable(window)) {
        return;
    }
    g_annotation.notifyEvent(kEventLiveRegionChanged, window, OBJID_CLIENT, CHILDID_SELF);
}

namespace {

// Whether the window shows `text` (of `length` characters) now.
bool Shows(HWND window, const WCHAR* text, size_t length) {
    if (GetWindowTextLengthW(window) != static_cast<int>(length)) {
        return false;
    }
    WCHAR onStack[128];
    WCHAR* shown = onStack;
    if (length >= sizeof onStack / sizeof onStack[0]) {
        shown = static_cast<WCHAR*>(AllocateBlock((length + 1) * sizeof(WCHAR)));
        if (!shown) {
            return false;  // told once too often rather than not at all
        }
    }
    const int copied = GetWindowTextW(window, shown, static_cast<int>(length + 1));
    const bool same = copied == static_cast<int>(length) && std::wcscmp(shown, text) == 0;
    if (shown != onStack) {
        FreeBlock(shown);
    }
    return same;
}

}  // namespace

bool SetLiveRegionText(HWND window, const WCHAR* text) {
    if (!Usable(window) || !text || Shows(window, text, std::wcslen(text))) {
        return false;
    }
    if (!SetWindowTextW(window, text)) {
        return false;
    }
    AnnounceLiveRegion(window);
    return true;
}

void ClearAnnotations(HWND window) {
    if (!Usable(window)) {
        return;
    }
    // One at a time: a property the system does not know would fail the whole list.
    const GUID* annotated[] = {&PROPID_ACC_ROLE, &PROPID_ACC_STATE, &PROPID_ACC_NAME,
                               &PROPID_ACC_VALUE, &kLiveSettingProperty};
    for (const GUID* property : annotated) {
        ClearOne(window, *property);
    }
}
