#include "tests/support/scripted_annotation.h"

#include <gtest/gtest.h>
#include <oleacc.h>

#include <cstdio>

namespace {

ScriptedAnnotation* g_scriptedAnnotation = nullptr;

// UI Automation's LiveSetting property, written out here so that a wrong one in the program
// shows.
constexpr GUID kUiaLiveSetting = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};

enum class Type { kNumber, kString, kUnknown };

Type TypeOf(const GUID& property) {
    if (IsEqualGUID(property, PROPID_ACC_ROLE) || IsEqualGUID(property, PROPID_ACC_STATE) ||
        IsEqualGUID(property, kUiaLiveSetting)) {
        return Type::kNumber;
    }
    if (IsEqualGUID(property, PROPID_ACC_NAME) || IsEqualGUID(property, PROPID_ACC_VALUE)) {
        return Type::kString;
    }
    return Type::kUnknown;
}

// The failures every call can have: its window and its object.
void CheckTarget(const char* call, HWND window, LONG object, LONG child) {
    if (window == nullptr) {
        ADD_FAILURE() << call << " without a window";
    } else if (!IsWindow(window)) {
        ADD_FAILURE() << call << " on " << window << ", which is no window (destroyed?)";
    } else if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
        ADD_FAILURE() << call << " on " << window << " from a thread that does not own it";
    }
    if (object != OBJID_CLIENT || child != CHILDID_SELF) {
        ADD_FAILURE() << call << " on object " << object << " child " << child
                      << " instead of the client object itself";
    }
}

AnnotationRecord Record(AnnotationRecord::Kind kind, HWND window, LONG object, LONG child) {
    AnnotationRecord record = {};
    record.kind = kind;
    record.window = window;
    record.object = object;
    record.child = child;
    return record;
}

}  // namespace

std::string GuidText(const GUID& guid) {
    char text[64];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

ScriptedAnnotation::ScriptedAnnotation() : previous_(g_annotation) {
    if (g_scriptedAnnotation != nullptr) {
        ADD_FAILURE() << "a scripted annotation is already installed";
    }
    g_scriptedAnnotation = this;
    g_annotation = {SetProp, SetPropString, ClearProps, NotifyEvent};
}

ScriptedAnnotation::~ScriptedAnnotation() {
    g_annotation = previous_;
    g_scriptedAnnotation = nullptr;
}

HRESULT ScriptedAnnotation::SetProp(HWND window, DWORD object, DWORD child, const GUID& property,
                                    const VARIANT& value) {
    const LONG objectId = static_cast<LONG>(object);
    CheckTarget("SetHwndProp", window, objectId, static_cast<LONG>(child));
    if (TypeOf(property) != Type::kNumber) {
        ADD_FAILURE() << "SetHwndProp of " << GuidText(property)
                      << ", not a number property the program annotates";
    } else if (value.vt != VT_I4) {
        ADD_FAILURE() << "SetHwndProp of " << GuidText(property) << " with type " << value.vt
                      << " instead of VT_I4";
    }
    AnnotationRecord record =
        Record(AnnotationRecord::kSetProp, window, objectId, static_cast<LONG>(child));
    record.properties.push_back(property);
    record.type = value.vt;
    record.number = value.vt == VT_I4 ? value.lVal : 0;
    g_scriptedAnnotation->calls_.push_back(record);
    return g_scriptedAnnotation->answer;
}

HRESULT ScriptedAnnotation::SetPropString(HWND window, DWORD object, DWORD child,
                                          const GUID& property, const WCHAR* text) {
    const LONG objectId = static_cast<LONG>(object);
    CheckTarget("SetHwndPropStr", window, objectId, static_cast<LONG>(child));
    if (TypeOf(property) != Type::kString) {
        ADD_FAILURE() << "SetHwndPropStr of " << GuidText(property)
                      << ", not a string property the program annotates";
    }
    if (text == nullptr) {
        ADD_FAILURE() << "SetHwndPropStr of " << GuidText(property) << " without a string";
    }
    AnnotationRecord record =
        Record(AnnotationRecord::kSetPropString, window, objectId, static_cast<LONG>(child));
    record.properties.push_back(property);
    record.text = text != nullptr ? text : L"";
    g_scriptedAnnotation->calls_.push_back(record);
    return g_scriptedAnnotation->answer;
}

HRESULT ScriptedAnnotation::ClearProps(HWND window, DWORD object, DWORD child,
                                       const GUID* properties, int count) {
    const LONG objectId = static_cast<LONG>(object);
    CheckTarget("ClearHwndProps", window, objectId, static_cast<LONG>(child));
    AnnotationRecord record =
        Record(AnnotationRecord::kClearProps, window, objectId, static_cast<LONG>(child));
    if (properties == nullptr || count <= 0) {
        ADD_FAILURE() << "ClearHwndProps of " << count << " properties at " << properties;
    } else {
        for (int i = 0; i < count; ++i) {
            if (TypeOf(properties[i]) == Type::kUnknown) {
                ADD_FAILURE() << "ClearHwndProps of " << GuidText(properties[i])
                              << ", which the program never annotates";
            }
            record.properties.push_back(properties[i]);
        }
    }
    g_scriptedAnnotation->calls_.push_back(record);
    return g_scriptedAnnotation->answer;
}

void WINAPI ScriptedAnnotation::NotifyEvent(DWORD event, HWND window, LONG object, LONG child) {
    CheckTarget("NotifyWinEvent", window, object, child);
    AnnotationRecord record = Record(AnnotationRecord::kEvent, window, object, child);
    record.event = event;
    g_scriptedAnnotation->calls_.push_back(record);
}
