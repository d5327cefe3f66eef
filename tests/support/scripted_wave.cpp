#include "tests/support/scripted_wave.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "tests/support/message_pump.h"
#include "tests/support/utf8.h"

static_assert(sizeof(GSM610WAVEFORMAT) == 20, "the voice format record is 20 bytes");

namespace {

constexpr DWORD kBufferBytes = 130;  // every buffer of the program holds two GSM frames

ScriptedWaveIn* g_scriptedIn = nullptr;
ScriptedWaveOut* g_scriptedOut = nullptr;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Shared machinery

ScriptedWaveDevice::ScriptedWaveDevice(const char* prefix, UINT openMessage, UINT doneMessage,
                                       UINT closeMessage, std::uintptr_t handleBase)
    : prefix_(prefix),
      openMessage_(openMessage),
      doneMessage_(doneMessage),
      closeMessage_(closeMessage),
      handleBase_(handleBase) {}

ScriptedWaveDevice::~ScriptedWaveDevice() {
    if (open_ || !prepared_.empty()) {
        ADD_FAILURE() << prefix_
                      << " device at the end of the test: " << (open_ ? "left open, " : "closed, ")
                      << queue_.size() << " buffer(s) queued, " << prepared_.size()
                      << " header(s) left prepared";
    }
}

void ScriptedWaveDevice::FailOpen(MMRESULT result) {
    failOpen_ = result;
}

void ScriptedWaveDevice::FailPrepare(int k, MMRESULT result) {
    failPrepare_[k] = result;
}

void ScriptedWaveDevice::FailQueue(int k, MMRESULT result) {
    failQueue_[k] = result;
}

void ScriptedWaveDevice::FailClose(int k, MMRESULT result) {
    failClose_[k] = result;
}

void ScriptedWaveDevice::SetWineClose(bool on) {
    wineClose_ = on;
}

void ScriptedWaveDevice::FailNextClose(MMRESULT result) {
    failClose_[closeCalls_ + 1] = result;
}

std::string ScriptedWaveDevice::CallsText() const {
    std::string text;
    for (const std::string& call : calls_) {
        if (!text.empty()) {
            text += ' ';
        }
        text += call;
    }
    return text;
}

int ScriptedWaveDevice::CallCount(const std::string& name) const {
    return static_cast<int>(std::count(calls_.begin(), calls_.end(), name));
}

std::vector<WAVEHDR*> ScriptedWaveDevice::Queued() const {
    return std::vector<WAVEHDR*>(queue_.begin(), queue_.end());
}

bool ScriptedWaveDevice::IsPrepared(const WAVEHDR* header) const {
    return prepared_.count(header) != 0;
}

int ScriptedWaveDevice::TimesQueued(const WAVEHDR* header) const {
    auto it = timesQueued_.find(header);
    return it == timesQueued_.end() ? 0 : it->second;
}

bool ScriptedWaveDevice::Holds(const void* block) const {
    if (!open_ || block == nullptr) {
        return false;
    }
    for (const auto& entry : prepared_) {
        if (entry.first == block || entry.second.data == block) {
            return true;
        }
    }
    return false;
}

std::string ScriptedWaveDevice::Name(const char* call) const {
    std::string name = prefix_ + call;
    name[prefix_.size()] = static_cast<char>(std::toupper(static_cast<unsigned char>(call[0])));
    return name;
}

void ScriptedWaveDevice::Log(const char* call) {
    calls_.emplace_back(call);
}

bool ScriptedWaveDevice::CheckHandle(const char* call, const void* handle) {
    if (open_ && handle == handle_) {
        return true;
    }
    if (handle == nullptr) {
        ADD_FAILURE() << Name(call) << ": null device handle";
    } else if (closedHandles_.count(handle) != 0) {
        ADD_FAILURE() << Name(call) << ": device handle used after it was closed";
    } else {
        ADD_FAILURE() << Name(call) << ": unknown device handle " << handle;
    }
    return false;
}

bool ScriptedWaveDevice::CheckHeader(const char* call, const WAVEHDR* header, UINT size) {
    if (header == nullptr) {
        ADD_FAILURE() << Name(call) << ": null header";
        return false;
    }
    if (size != sizeof(WAVEHDR)) {
        ADD_FAILURE() << Name(call) << ": header size " << size << ", expected " << sizeof(WAVEHDR);
        return false;
    }
    if (header->lpData == nullptr) {
        ADD_FAILURE() << Name(call) << ": header " << header << " has no data block";
        return false;
    }
    if (header->dwBufferLength != kBufferBytes) {
        ADD_FAILURE() << Name(call) << ": header " << header << " has dwBufferLength "
                      << header->dwBufferLength << ", expected " << kBufferBytes;
        return false;
    }
    return true;
}

MMRESULT ScriptedWaveDevice::Open(const char* call, void** handle, UINT device,
                                  LPCWAVEFORMATEX format, DWORD_PTR callback, DWORD flags,
                                  UINT deviceCount) {
    Log(call);
    ++openCount_;
    if (handle == nullptr || format == nullptr) {
        ADD_FAILURE() << Name(call) << ": null handle or format pointer";
        return MMSYSERR_INVALPARAM;
    }
    // A device of its own goes through the mapper, so that the system still converts to GSM.
    const bool mapped = (flags & WAVE_MAPPED) != 0;
    if (device == WAVE_MAPPER ? mapped : (device >= deviceCount || !mapped)) {
        ADD_FAILURE() << Name(call) << ": device " << device << " with flags 0x" << std::hex
                      << flags << ", expected WAVE_MAPPER, or one of " << std::dec << deviceCount
                      << " devices with WAVE_MAPPED";
        return MMSYSERR_BADDEVICEID;
    }
    openedDevice_ = device;
    if ((flags & CALLBACK_TYPEMASK) != CALLBACK_WINDOW || (flags & WAVE_FORMAT_QUERY) != 0) {
        ADD_FAILURE() << Name(call) << ": flags 0x" << std::hex << flags
                      << ", expected CALLBACK_WINDOW";
        return MMSYSERR_INVALFLAG;
    }
    HWND window = reinterpret_cast<HWND>(callback);
    if (!IsWindow(window)) {
        ADD_FAILURE() << Name(call) << ": callback " << window << " is not a window";
        return MMSYSERR_INVALPARAM;
    }
    if (open_) {
        ADD_FAILURE() << Name(call) << ": opened again while open (the first handle is lost)";
        return MMSYSERR_ALLOCATED;
    }
    format_ = GSM610WAVEFORMAT{};
    std::memcpy(&format_, format,
                std::min<std::size_t>(sizeof(format_), sizeof(WAVEFORMATEX) + format->cbSize));
    window_ = window;
    if (failOpen_ != MMSYSERR_NOERROR) {
        return failOpen_;
    }
    open_ = true;
    handle_ = reinterpret_cast<void*>(handleBase_ + 0x10 * openCount_);
    *handle = handle_;
    Post(openMessage_, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT ScriptedWaveDevice::Prepare(const char* call, const void* handle, WAVEHDR* header,
                                     UINT size) {
    Log(call);
    if (!CheckHandle(call, handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!CheckHeader(call, header, size)) {
        return MMSYSERR_INVALPARAM;
    }
    if (prepared_.count(header) != 0) {
        ADD_FAILURE() << Name(call) << ": header " << header << " is already prepared";
        return MMSYSERR_NOERROR;
    }
    auto failure = failPrepare_.find(++prepareCalls_);
    if (failure != failPrepare_.end()) {
        return failure->second;
    }
    header->dwFlags |= WHDR_PREPARED;
    prepared_[header] = Prepared{header->lpData, header->dwBufferLength};
    return MMSYSERR_NOERROR;
}

MMRESULT ScriptedWaveDevice::Queue(const char* call, const void* handle, WAVEHDR* header,
                                   UINT size) {
    Log(call);
    if (!CheckHandle(call, handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!CheckHeader(call, header, size)) {
        return MMSYSERR_INVALPARAM;
    }
    auto prepared = prepared_.find(header);
    if (prepared == prepared_.end()) {
        ADD_FAILURE() << Name(call) << ": header " << header << " is not prepared";
        return WAVERR_UNPREPARED;
    }
    if (std::find(queue_.begin(), queue_.end(), header) != queue_.end()) {
        ADD_FAILURE() << Name(call) << ": header " << header << " is already queued";
        return WAVERR_STILLPLAYING;
    }
    if (prepared->second.data != header->lpData) {
        ADD_FAILURE() << Name(call) << ": header " << header
                      << " points at another data block than when it was prepared";
        return MMSYSERR_INVALPARAM;
    }
    auto failure = failQueue_.find(++queueCalls_);
    if (failure != failQueue_.end()) {
        return failure->second;
    }
    header->dwFlags = (header->dwFlags | WHDR_INQUEUE) & ~WHDR_DONE;
    queue_.push_back(header);
    ++timesQueued_[header];
    return MMSYSERR_NOERROR;
}

MMRESULT ScriptedWaveDevice::Unprepare(const char* call, const void* handle, WAVEHDR* header,
                                       UINT size) {
    Log(call);
    if (!CheckHandle(call, handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || size != sizeof(WAVEHDR)) {
        ADD_FAILURE() << Name(call) << ": null header or wrong header size " << size;
        return MMSYSERR_INVALPARAM;
    }
    if (std::find(queue_.begin(), queue_.end(), header) != queue_.end()) {
        ADD_FAILURE() << Name(call) << ": header " << header << " is still queued";
        return WAVERR_STILLPLAYING;
    }
    if (prepared_.count(header) == 0) {
        ADD_FAILURE() << Name(call) << ": header " << header << " is not prepared";
        return MMSYSERR_NOERROR;
    }
    prepared_.erase(header);
    header->dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT ScriptedWaveDevice::Close(const char* call, const void* handle) {
    Log(call);
    if (!CheckHandle(call, handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    auto failure = failClose_.find(++closeCalls_);
    if (failure != failClose_.end()) {
        return failure->second;
    }
    if (!queue_.empty()) {
        if (!wineClose_) {
            return WAVERR_STILLPLAYING;
        }
        ADD_FAILURE() << Name(call) << ": closed with " << queue_.size()
                      << " buffer(s) queued; Wine drops them and their data is lost";
        for (WAVEHDR* header : queue_) {
            prepared_.erase(header);
        }
        queue_.clear();
    }
    if (!prepared_.empty()) {
        ADD_FAILURE() << Name(call) << ": closed with " << prepared_.size()
                      << " header(s) still prepared; they can no longer be unprepared";
        prepared_.clear();
    }
    open_ = false;
    closedHandles_.insert(handle_);
    Post(closeMessage_, 0);
    handle_ = nullptr;
    return MMSYSERR_NOERROR;
}

void ScriptedWaveDevice::CompleteHead() {
    WAVEHDR* header = queue_.front();
    queue_.pop_front();
    header->dwFlags = (header->dwFlags | WHDR_DONE) & ~WHDR_INQUEUE;
    Post(doneMessage_, reinterpret_cast<LPARAM>(header));
}

void ScriptedWaveDevice::Post(UINT message, LPARAM lParam) {
    if (holdNotifications_) {
        held_.push_back(Held{window_, message, reinterpret_cast<WPARAM>(handle_), lParam});
        return;
    }
    if (!PostMessageA(window_, message, reinterpret_cast<WPARAM>(handle_), lParam)) {
        ADD_FAILURE() << prefix_ << " device: cannot post notification 0x" << std::hex << message
                      << " to window " << window_;
    }
}

int ScriptedWaveDevice::DispatchHeld() {
    int count = 0;
    while (!held_.empty()) {
        Held next = held_.front();
        held_.pop_front();
        doneDispatched_ += next.message == doneMessage_;
        SendMessageA(next.window, next.message, next.handle, next.lParam);
        ++count;
    }
    return count;
}

void ScriptedWaveDevice::PumpAll() {
    PumpMessages();
    DispatchHeld();
}

const char* ScriptedDeviceHolding(const void* block) {
    if (g_scriptedIn != nullptr && g_scriptedIn->Holds(block)) {
        return "input";
    }
    if (g_scriptedOut != nullptr && g_scriptedOut->Holds(block)) {
        return "output";
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Input

struct ScriptedWaveInCalls {
    static MMRESULT WINAPI Open(LPHWAVEIN handle, UINT device, LPCWAVEFORMATEX format,
                                DWORD_PTR callback, DWORD_PTR, DWORD flags) {
        ScriptedWaveIn* in = g_scriptedIn;
        return in->ScriptedWaveDevice::Open("open", reinterpret_cast<void**>(handle), device,
                                            format, callback, flags,
                                            static_cast<UINT>(in->devices_.size()));
    }
    static UINT WINAPI GetNumDevs() { return static_cast<UINT>(g_scriptedIn->devices_.size()); }
    static MMRESULT WINAPI GetDevCaps(UINT_PTR id, LPWAVEINCAPSW caps, UINT size) {
        const std::vector<std::string>& devices = g_scriptedIn->devices_;
        if (caps == nullptr || size < sizeof(WAVEINCAPSW)) {
            ADD_FAILURE() << "waveInGetDevCaps: no room for the capabilities";
            return MMSYSERR_INVALPARAM;
        }
        if (id >= devices.size()) {
            return MMSYSERR_BADDEVICEID;
        }
        *caps = WAVEINCAPSW{};
        lstrcpynW(caps->szPname, Wide(devices[id]).c_str(), MAXPNAMELEN);
        return MMSYSERR_NOERROR;
    }
    static MMRESULT WINAPI Reset(HWAVEIN handle) { return g_scriptedIn->Reset(handle); }
    static MMRESULT WINAPI PrepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT size) {
        return g_scriptedIn->Prepare("prepareHeader", handle, header, size);
    }
    static MMRESULT WINAPI AddBuffer(HWAVEIN handle, LPWAVEHDR header, UINT size) {
        ScriptedWaveIn* device = g_scriptedIn;
        MMRESULT result = device->Queue("addBuffer", handle, header, size);
        if (result == MMSYSERR_NOERROR) {
            header->dwBytesRecorded = 0;
        }
        return result;
    }
    static MMRESULT WINAPI Start(HWAVEIN handle) { return g_scriptedIn->Start(handle); }
    static MMRESULT WINAPI Stop(HWAVEIN handle) { return g_scriptedIn->Stop(handle); }
    static MMRESULT WINAPI UnprepareHeader(HWAVEIN handle, LPWAVEHDR header, UINT size) {
        return g_scriptedIn->Unprepare("unprepareHeader", handle, header, size);
    }
    static MMRESULT WINAPI Close(HWAVEIN handle) {
        ScriptedWaveIn* device = g_scriptedIn;
        MMRESULT result = device->ScriptedWaveDevice::Close("close", handle);
        if (result == MMSYSERR_NOERROR) {
            device->started_ = false;
        }
        return result;
    }
};

namespace {
const WaveInApi kScriptedWaveIn = {ScriptedWaveInCalls::Open,
                                   ScriptedWaveInCalls::Reset,
                                   ScriptedWaveInCalls::PrepareHeader,
                                   ScriptedWaveInCalls::AddBuffer,
                                   ScriptedWaveInCalls::Start,
                                   ScriptedWaveInCalls::Stop,
                                   ScriptedWaveInCalls::UnprepareHeader,
                                   ScriptedWaveInCalls::Close,
                                   ScriptedWaveInCalls::GetNumDevs,
                                   ScriptedWaveInCalls::GetDevCaps};
}  // namespace

ScriptedWaveIn::ScriptedWaveIn()
    : ScriptedWaveDevice("waveIn", MM_WIM_OPEN, MM_WIM_DATA, MM_WIM_CLOSE, 0x7100000),
      previous_(g_waveIn) {
    if (g_scriptedIn != nullptr) {
        ADD_FAILURE() << "a scripted input device is already installed";
    }
    g_scriptedIn = this;
    g_waveIn = &kScriptedWaveIn;
}

ScriptedWaveIn::~ScriptedWaveIn() {
    g_waveIn = previous_;
    g_scriptedIn = nullptr;
}

void ScriptedWaveIn::FailStart(MMRESULT result) {
    failStart_ = result;
}

void ScriptedWaveIn::SetWineStop(bool on) {
    wineStop_ = on;
}

std::vector<BYTE> ScriptedWaveIn::PatternBytes(std::uint64_t first, std::size_t count) {
    std::vector<BYTE> bytes(count);
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = PatternByte(first + i);
    }
    return bytes;
}

void ScriptedWaveIn::FillHead(DWORD bytes) {
    WAVEHDR* header = queue_.front();
    BYTE* data = reinterpret_cast<BYTE*>(header->lpData);
    for (DWORD i = 0; i < bytes; ++i) {
        data[header->dwBytesRecorded + i] = sound_.empty()
                                                ? PatternByte(streamPosition_)
                                                : sound_[soundPosition_++ % sound_.size()];
        ++streamPosition_;
    }
    header->dwBytesRecorded += bytes;
    if (header->dwBytesRecorded == header->dwBufferLength) {
        CompleteHead();
    }
}

std::size_t ScriptedWaveIn::Deliver(std::size_t bytes) {
    std::size_t captured = 0;
    while (captured < bytes && open_ && started_ && !queue_.empty()) {
        WAVEHDR* header = queue_.front();
        DWORD room = header->dwBufferLength - header->dwBytesRecorded;
        DWORD count = static_cast<DWORD>(std::min<std::size_t>(room, bytes - captured));
        FillHead(count);
        captured += count;
    }
    return captured;
}

std::size_t ScriptedWaveIn::DeliverAndPump(std::size_t bytes) {
    std::size_t captured = 0;
    while (captured < bytes && open_ && started_ && !queue_.empty()) {
        WAVEHDR* header = queue_.front();
        DWORD room = header->dwBufferLength - header->dwBytesRecorded;
        captured += Deliver(std::min<std::size_t>(room, bytes - captured));
        PumpAll();
    }
    PumpAll();
    return captured;
}

MMRESULT ScriptedWaveIn::Reset(HWAVEIN handle) {
    Log("reset");
    if (!CheckHandle("reset", handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    started_ = false;
    while (!queue_.empty()) {
        CompleteHead();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT ScriptedWaveIn::Start(HWAVEIN handle) {
    Log("start");
    if (!CheckHandle("start", handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (failStart_ != MMSYSERR_NOERROR) {
        return failStart_;
    }
    started_ = true;
    return MMSYSERR_NOERROR;
}

MMRESULT ScriptedWaveIn::Stop(HWAVEIN handle) {
    Log("stop");
    if (!CheckHandle("stop", handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (started_ && !queue_.empty() && (!wineStop_ || queue_.front()->dwBytesRecorded > 0)) {
        CompleteHead();
    }
    started_ = false;
    return MMSYSERR_NOERROR;
}

// ---------------------------------------------------------------------------------------------
// Output

struct ScriptedWaveOutCalls {
    static MMRESULT WINAPI Open(LPHWAVEOUT handle, UINT device, LPCWAVEFORMATEX format,
                                DWORD_PTR callback, DWORD_PTR, DWORD flags) {
        ScriptedWaveOut* out = g_scriptedOut;
        MMRESULT result = out->ScriptedWaveDevice::Open("open", reinterpret_cast<void**>(handle),
                                                        device, format, callback, flags);
        if (result == MMSYSERR_NOERROR) {
            out->paused_ = false;
        }
        return result;
    }
    static MMRESULT WINAPI PrepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
        return g_scriptedOut->Prepare("prepareHeader", handle, header, size);
    }
    static MMRESULT WINAPI Write(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
        return g_scriptedOut->Write(handle, header, size);
    }
    static MMRESULT WINAPI Pause(HWAVEOUT handle) { return g_scriptedOut->Pause(handle); }
    static MMRESULT WINAPI Restart(HWAVEOUT handle) { return g_scriptedOut->Restart(handle); }
    static MMRESULT WINAPI UnprepareHeader(HWAVEOUT handle, LPWAVEHDR header, UINT size) {
        return g_scriptedOut->Unprepare("unprepareHeader", handle, header, size);
    }
    static MMRESULT WINAPI Close(HWAVEOUT handle) {
        ScriptedWaveOut* out = g_scriptedOut;
        MMRESULT result = out->ScriptedWaveDevice::Close("close", handle);
        if (result == MMSYSERR_NOERROR) {
            out->paused_ = false;
        }
        return result;
    }
    static MMRESULT WINAPI Reset(HWAVEOUT handle) { return g_scriptedOut->Reset(handle); }
};

namespace {
const WaveOutApi kScriptedWaveOut = {
    ScriptedWaveOutCalls::Open,    ScriptedWaveOutCalls::PrepareHeader,
    ScriptedWaveOutCalls::Write,   ScriptedWaveOutCalls::Pause,
    ScriptedWaveOutCalls::Restart, ScriptedWaveOutCalls::UnprepareHeader,
    ScriptedWaveOutCalls::Close,   ScriptedWaveOutCalls::Reset};
}  // namespace

ScriptedWaveOut::ScriptedWaveOut()
    : ScriptedWaveDevice("waveOut", MM_WOM_OPEN, MM_WOM_DONE, MM_WOM_CLOSE, 0x7200000),
      previous_(g_waveOut) {
    if (g_scriptedOut != nullptr) {
        ADD_FAILURE() << "a scripted output device is already installed";
    }
    g_scriptedOut = this;
    g_waveOut = &kScriptedWaveOut;
}

ScriptedWaveOut::~ScriptedWaveOut() {
    g_waveOut = previous_;
    g_scriptedOut = nullptr;
}

MMRESULT ScriptedWaveOut::Write(HWAVEOUT handle, WAVEHDR* header, UINT size) {
    return Queue("write", handle, header, size);
}

MMRESULT ScriptedWaveOut::Pause(HWAVEOUT handle) {
    Log("pause");
    if (!CheckHandle("pause", handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    paused_ = true;
    return MMSYSERR_NOERROR;
}

MMRESULT ScriptedWaveOut::Restart(HWAVEOUT handle) {
    Log("restart");
    if (!CheckHandle("restart", handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    paused_ = false;
    return MMSYSERR_NOERROR;
}

// As waveOutReset: playing stops, every queued buffer is handed back at once, and the
// device is no longer paused.
MMRESULT ScriptedWaveOut::Reset(HWAVEOUT handle) {
    Log("reset");
    if (!CheckHandle("reset", handle)) {
        return MMSYSERR_INVALHANDLE;
    }
    paused_ = false;
    while (!queue_.empty()) {
        CompleteHead();
    }
    return MMSYSERR_NOERROR;
}

bool ScriptedWaveOut::PlayNext() {
    if (!open_ || paused_ || queue_.empty()) {
        return false;
    }
    const WAVEHDR* header = queue_.front();
    played_.insert(played_.end(), header->lpData, header->lpData + header->dwBufferLength);
    ++playedCount_;
    CompleteHead();
    return true;
}

int ScriptedWaveOut::PlayAll() {
    int count = 0;
    while (PlayNext()) {
        ++count;
    }
    return count;
}

int ScriptedWaveOut::PlayAndPump() {
    int count = 0;
    while (PlayNext()) {
        ++count;
        PumpAll();
    }
    PumpAll();
    return count;
}
