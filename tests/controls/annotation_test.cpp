// What the annotations tell assistive technology: through the scripted stand-in, each call's
// window, object, property, type and value; through the system's own service where it works,
// that the annotations arrive (and under Wine, that nothing breaks without them).
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <ole2.h>
#include <oleacc.h>

#include <functional>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "controls/annotation.h"
#include "tests/support/message_pump.h"
#include "tests/support/scripted_annotation.h"

namespace {

constexpr wchar_t kWindowClass[] = L"KestruneAnnotatedTestWindow";
constexpr GUID kLiveSetting = {
    0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};

// A window class with no accessible object of its own, as the picture buttons are.
void RegisterWindowClassOnce() {
    static bool registered = false;
    if (registered) {
        return;
    }
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kWindowClass;
    ASSERT_TRUE(RegisterClassW(&windowClass));
    registered = true;
}

class AnnotationTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterWindowClassOnce();
        parent = CreateWindowExW(0, kWindowClass, L"Kestrune test", WS_OVERLAPPEDWINDOW, 0, 0, 400,
                                 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        ASSERT_NE(parent, nullptr);
        ShowWindow(parent, SW_SHOW);
        button = Child(kWindowClass, L"Play");
        status = Child(L"STATIC", L"");
    }
    void TearDown() override { DestroyWindow(parent); }

    HWND Child(const wchar_t* windowClass, const wchar_t* text) {
        HWND child =
            CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP, 10, 10, 42,
                            42, parent, nullptr, GetModuleHandleW(nullptr), nullptr);
        EXPECT_NE(child, nullptr);
        return child;
    }

    // The one call recorded since the last Forget.
    static const AnnotationRecord& OnlyCall(const ScriptedAnnotation& scripted) {
        EXPECT_EQ(scripted.Calls().size(), 1u);
        return scripted.Calls().back();
    }

    HWND parent = nullptr;
    HWND button = nullptr;
    HWND status = nullptr;
};

void ExpectOnClient(const AnnotationRecord& call, HWND window) {
    EXPECT_EQ(call.window, window);
    EXPECT_EQ(call.object, OBJID_CLIENT);
    EXPECT_EQ(call.child, CHILDID_SELF);
}

// A call of that kind on the window's client object about that one property.
void ExpectCall(const AnnotationRecord& call, AnnotationRecord::Kind kind, HWND window,
                const GUID& property) {
    EXPECT_EQ(call.kind, kind);
    ExpectOnClient(call, window);
    ASSERT_EQ(call.properties.size(), 1u);
    EXPECT_TRUE(IsEqualGUID(call.properties[0], property))
        << GuidText(call.properties[0]) << " instead of " << GuidText(property);
}

void ExpectNumber(const AnnotationRecord& call, HWND window, const GUID& property, LONG value) {
    ExpectCall(call, AnnotationRecord::kSetProp, window, property);
    EXPECT_EQ(call.type, VT_I4);
    EXPECT_EQ(call.number, value);
}

void ExpectString(const AnnotationRecord& call, HWND window, const GUID& property,
                  const std::wstring& text) {
    ExpectCall(call, AnnotationRecord::kSetPropString, window, property);
    EXPECT_EQ(call.text, text);
}

struct LiveEvent {
    HWND window;
    LONG object;
    LONG child;
};
std::vector<LiveEvent> g_liveEvents;

void CALLBACK RecordLiveEvent(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD,
                              DWORD) {
    g_liveEvents.push_back({window, object, child});
}

}  // namespace

// Every combination of latched, enabled, shown and focused: pressed is annotated together with
// what the window itself says, so a disabled button still reads as unavailable; released, the
// annotation is cleared.
TEST_F(AnnotationTest, PressedStateCarriesTheWindowsOwnState) {
    ScriptedAnnotation scripted;
    AnnotatePushButton(button);
    ExpectNumber(OnlyCall(scripted), button, PROPID_ACC_ROLE, ROLE_SYSTEM_PUSHBUTTON);
    for (int flags = 0; flags < 16; ++flags) {
        const bool pressed = flags & 1;
        const bool enabled = flags & 2;
        const bool shown = flags & 4;
        const bool focused = (flags & 8) && enabled && shown;
        SCOPED_TRACE(testing::Message() << "pressed " << pressed << " enabled " << enabled
                                        << " shown " << shown << " focused " << focused);
        EnableWindow(button, enabled);
        ShowWindow(button, shown ? SW_SHOWNA : SW_HIDE);
        SetFocus(focused ? button : parent);
        ASSERT_EQ(GetFocus() == button, focused);
        scripted.Forget();
        AnnotatePressed(button, pressed);
        ASSERT_EQ(scripted.Calls().size(), 2u);
        const AnnotationRecord& call = scripted.Calls()[0];
        if (pressed) {
            const LONG expected = STATE_SYSTEM_PRESSED |
                                  (enabled ? STATE_SYSTEM_FOCUSABLE : STATE_SYSTEM_UNAVAILABLE) |
                                  (focused ? STATE_SYSTEM_FOCUSED : 0) |
                                  (shown ? 0 : STATE_SYSTEM_INVISIBLE);
            ExpectNumber(call, button, PROPID_ACC_STATE, expected);
        } else {
            ExpectCall(call, AnnotationRecord::kClearProps, button, PROPID_ACC_STATE);
        }
        // Then the news of it.
        const AnnotationRecord& told = scripted.Calls()[1];
        EXPECT_EQ(told.kind, AnnotationRecord::kEvent);
        EXPECT_EQ(told.event, static_cast<DWORD>(EVENT_OBJECT_STATECHANGE));
        ExpectOnClient(told, button);
    }
}

// Names and values are the caller's texts, whatever their language, each its own property.
TEST_F(AnnotationTest, NamesAndValuesAreTheCallersTexts) {
    ScriptedAnnotation scripted;
    HWND slider = Child(L"STATIC", L"");
    AnnotateName(slider, L"Позиция");
    AnnotateValue(slider, L"0:05 из 0:12");
    ASSERT_EQ(scripted.Calls().size(), 2u);
    ExpectString(scripted.Calls()[0], slider, PROPID_ACC_NAME, L"Позиция");
    ExpectString(scripted.Calls()[1], slider, PROPID_ACC_VALUE, L"0:05 из 0:12");
}

// A storm of status texts: each change, and only a change, sets the text and raises one
// live-region event on the status line's client object.
TEST_F(AnnotationTest, LiveRegionTellsEachChangeOnce) {
    ScriptedAnnotation scripted;
    MarkLiveRegion(status);
    ExpectNumber(OnlyCall(scripted), status, kLiveSetting, 1);

    const std::wstring texts[] = {L"",
                                  L"Recording",
                                  L"Recording: no sound from the microphone",
                                  L"Playing",
                                  L"Playing / Paused",
                                  std::wstring(300, L'x'),
                                  std::wstring(300, L'y')};
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE(testing::Message() << "seed " << seed);
    std::mt19937 random(seed);
    std::wstring shown;
    for (int step = 0; step < 300; ++step) {
        const std::wstring& text = texts[random() % (sizeof texts / sizeof texts[0])];
        scripted.Forget();
        const bool changed = SetLiveRegionText(status, text.c_str());
        EXPECT_EQ(changed, text != shown) << "step " << step;
        shown = text;
        wchar_t now[512] = {};
        GetWindowTextW(status, now, 512);
        ASSERT_EQ(std::wstring(now), text) << "step " << step;
        ASSERT_EQ(scripted.Calls().size(), changed ? 1u : 0u) << "step " << step;
        if (changed) {
            const AnnotationRecord& call = scripted.Calls()[0];
            EXPECT_EQ(call.kind, AnnotationRecord::kEvent);
            EXPECT_EQ(call.event, 0x8019u);  // EVENT_OBJECT_LIVEREGIONCHANGED
            ExpectOnClient(call, status);
        }
    }
}

TEST_F(AnnotationTest, ClearingTakesEveryAnnotationOffAndMissingWindowsGetNone) {
    ScriptedAnnotation scripted;
    ClearAnnotations(button);
    const GUID expected[] = {PROPID_ACC_ROLE, PROPID_ACC_STATE, PROPID_ACC_NAME, PROPID_ACC_VALUE,
                             kLiveSetting};
    ASSERT_EQ(scripted.Calls().size(), sizeof expected / sizeof expected[0]);
    for (size_t i = 0; i < scripted.Calls().size(); ++i) {
        ExpectCall(scripted.Calls()[i], AnnotationRecord::kClearProps, button, expected[i]);
    }

    HWND gone = Child(kWindowClass, L"Gone");
    DestroyWindow(gone);
    for (HWND missing : {static_cast<HWND>(nullptr), gone}) {
        scripted.Forget();
        AnnotatePushButton(missing);
        AnnotatePressed(missing, true);
        AnnotatePressed(missing, false);
        AnnotateName(missing, L"Position");
        AnnotateValue(missing, L"0:01 of 0:02");
        MarkLiveRegion(missing);
        AnnounceLiveRegion(missing);
        EXPECT_FALSE(SetLiveRegionText(missing, L"Ready"));
        ClearAnnotations(missing);
        EXPECT_TRUE(scripted.Calls().empty()) << scripted.Calls().size() << " calls on " << missing;
    }
    // Nor a missing string.
    scripted.Forget();
    AnnotateName(status, nullptr);
    AnnotateValue(status, nullptr);
    EXPECT_FALSE(SetLiveRegionText(status, nullptr));
    EXPECT_TRUE(scripted.Calls().empty());
}

// The stand-in fails a test on what the system's service would refuse or misread.
TEST_F(AnnotationTest, StandInFailsOnMisuse) {
    ScriptedAnnotation scripted;
    HWND gone = Child(kWindowClass, L"Gone");
    DestroyWindow(gone);
    VARIANT number = {};
    number.vt = VT_I4;
    number.lVal = ROLE_SYSTEM_PUSHBUTTON;
    const DWORD client = static_cast<DWORD>(OBJID_CLIENT);
    const DWORD window = static_cast<DWORD>(OBJID_WINDOW);
    struct Misuse {
        std::function<void()> call;
        const char* complaint;
    };
    const Misuse misuses[] = {
        {[&] { g_annotation.setProp(nullptr, client, CHILDID_SELF, PROPID_ACC_ROLE, number); },
         "without a window"},
        {[&] { g_annotation.setProp(gone, client, CHILDID_SELF, PROPID_ACC_ROLE, number); },
         "no window"},
        {[&] { g_annotation.setPropString(nullptr, client, CHILDID_SELF, PROPID_ACC_VALUE, L"1"); },
         "without a window"},
        {[&] { g_annotation.setProp(button, window, CHILDID_SELF, PROPID_ACC_ROLE, number); },
         "instead of the client object"},
        {[&] { g_annotation.setProp(button, client, CHILDID_SELF, PROPID_ACC_NAME, number); },
         "not a number property"},
        {[&] {
             g_annotation.setPropString(button, client, CHILDID_SELF, PROPID_ACC_NAME, nullptr);
         },
         "without a string"},
        {[&] { g_annotation.clearProps(button, client, CHILDID_SELF, nullptr, 0); },
         "ClearHwndProps of 0"},
        {[&] { g_annotation.notifyEvent(0x8019, nullptr, OBJID_CLIENT, CHILDID_SELF); },
         "without a window"},
    };
    for (const Misuse& misuse : misuses) {
        SCOPED_TRACE(misuse.complaint);
        testing::TestPartResultArray failures;
        {
            testing::ScopedFakeTestPartResultReporter reporter(
                testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD,
                &failures);
            misuse.call();
        }
        ASSERT_EQ(failures.size(), 1);
        EXPECT_TRUE(failures.GetTestPartResult(0).nonfatally_failed());
        EXPECT_NE(std::string(failures.GetTestPartResult(0).message()).find(misuse.complaint),
                  std::string::npos)
            << failures.GetTestPartResult(0).message();
    }
}

// The system's own service on real windows. Where it annotates, the system's accessible objects
// answer with the annotations; where it cannot (Wine 8 answers E_NOTIMPL), the program says it
// is unavailable and the objects answer as before. The live-region event arrives either way.
TEST_F(AnnotationTest, SystemServiceAnnotatesWhereItCan) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ASSERT_TRUE(SUCCEEDED(com)) << std::hex << com;
    ReleaseAnnotationService();
    ASSERT_EQ(g_annotation.setProp, kSystemAnnotation.setProp);
    ASSERT_EQ(g_annotation.notifyEvent, kSystemAnnotation.notifyEvent);

    HWND slider = Child(kWindowClass, L"");
    AnnotatePushButton(button);
    AnnotatePressed(button, true);
    AnnotateName(slider, L"Position");
    MarkLiveRegion(status);
    const bool available = AnnotationServiceAvailable();
    std::cout << "Dynamic Annotation is " << (available ? "available" : "not available")
              << " here\n";

    IAccessible* accessible = nullptr;
    ASSERT_EQ(AccessibleObjectFromWindow(button, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                         reinterpret_cast<void**>(&accessible)),
              S_OK);
    VARIANT self = {};
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    VARIANT role = {};
    VARIANT state = {};
    EXPECT_EQ(accessible->get_accRole(self, &role), S_OK);
    EXPECT_EQ(accessible->get_accState(self, &state), S_OK);
    accessible->Release();
    IAccessible* sliderObject = nullptr;
    ASSERT_EQ(AccessibleObjectFromWindow(slider, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                         reinterpret_cast<void**>(&sliderObject)),
              S_OK);
    BSTR name = nullptr;
    sliderObject->get_accName(self, &name);
    const std::wstring sliderName = name ? name : L"";
    SysFreeString(name);
    sliderObject->Release();

    ASSERT_EQ(role.vt, VT_I4);
    ASSERT_EQ(state.vt, VT_I4);
    if (available) {
        EXPECT_EQ(role.lVal, ROLE_SYSTEM_PUSHBUTTON);
        EXPECT_EQ(state.lVal, PressedButtonState(button));
        EXPECT_EQ(sliderName, L"Position");
    } else {
        // A window of a class of its own is a plain client area, unnamed, not pressed.
        EXPECT_EQ(role.lVal, ROLE_SYSTEM_CLIENT);
        EXPECT_EQ(state.lVal & STATE_SYSTEM_PRESSED, 0);
        EXPECT_EQ(sliderName, L"");
    }

    // The live-region event, seen as a screen reader would see it.
    g_liveEvents.clear();
    HWINEVENTHOOK hook = SetWinEventHook(0x8019, 0x8019, nullptr, RecordLiveEvent,
                                         GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
    ASSERT_NE(hook, nullptr);
    EXPECT_TRUE(SetLiveRegionText(status, L"Recording"));
    const DWORD start = GetTickCount();
    while (g_liveEvents.empty() && GetTickCount() - start < 5000) {
        PumpMessages();
        Sleep(10);
    }
    UnhookWinEvent(hook);
    ASSERT_EQ(g_liveEvents.size(), 1u);
    EXPECT_EQ(g_liveEvents[0].window, status);
    EXPECT_EQ(g_liveEvents[0].object, OBJID_CLIENT);
    EXPECT_EQ(g_liveEvents[0].child, CHILDID_SELF);

    ClearAnnotations(button);
    ClearAnnotations(slider);
    ClearAnnotations(status);
    ReleaseAnnotationService();
    CoUninitialize();
}
