#include "tests/support/handed_over.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/file_bytes.h"
#include "tests/support/gsm_sound.h"
#include "voice/mu_law.h"
#include "voice/playable_copy.h"
#include "voice/voice_file.h"

bool WriteVoiceFile(const std::wstring& path, const std::vector<BYTE>& gsm) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    bool ok = WriteVoiceHeader(file) &&
              WriteFile(file, gsm.data(), static_cast<DWORD>(gsm.size()), &written, nullptr) &&
              written == gsm.size();
    ok = CompleteVoiceHeader(file, written) && ok;
    return CloseHandle(file) && ok;
}

std::vector<BYTE> ToneWithDeadAir(double silence, double tone) {
    std::vector<short> pcm = SinePcm(0, silence);
    const std::vector<short> sound = SinePcm(8000, tone);
    pcm.insert(pcm.end(), sound.begin(), sound.end());
    pcm.resize(pcm.size() + SinePcm(0, silence).size());
    return EncodeGsm(pcm);
}

std::vector<BYTE> PlayableCopyOf(const std::wstring& voicePath) {
    HANDLE voice = CreateFileW(voicePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    WCHAR folder[MAX_PATH];
    WCHAR target[MAX_PATH];
    LARGE_INTEGER size = {};
    if (voice == INVALID_HANDLE_VALUE || !GetFileSizeEx(voice, &size) ||
        GetTempPathW(MAX_PATH, folder) == 0 || GetTempFileNameW(folder, L"kpc", 0, target) == 0) {
        ADD_FAILURE() << "no reference conversion: error " << GetLastError();
        if (voice != INVALID_HANDLE_VALUE) {
            CloseHandle(voice);
        }
        return {};
    }
    HANDLE copy = CreateFileW(target, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const LONGLONG audio = std::max<LONGLONG>(size.QuadPart - kHeaderBytes, 0);
    const PlayableResult result =
        ConvertToPlayable(voice, WholeFrameBytes(static_cast<DWORD>(audio)), copy, nullptr);
    CloseHandle(copy);
    CloseHandle(voice);
    std::vector<BYTE> bytes;
    if (result == PlayableResult::kConverted) {
        bytes = ReadFileBytes(std::wstring(target));
    } else {
        ADD_FAILURE() << "the reference conversion failed: " << static_cast<int>(result);
    }
    DeleteFileW(target);
    return bytes;
}

std::string MuLawHeaderFault(const std::vector<BYTE>& copy) {
    if (copy.size() < kMuLawHeaderBytes) {
        return "only " + std::to_string(copy.size()) + " bytes";
    }
    const size_t samples = copy.size() - kMuLawHeaderBytes;
    // An odd count is followed by its pad byte.
    for (size_t count : {samples, samples - 1}) {
        BYTE header[kMuLawHeaderBytes];
        BuildMuLawHeader(header, static_cast<DWORD>(count));
        if ((count + count % 2 == samples) &&
            std::equal(header, header + kMuLawHeaderBytes, copy.begin())) {
            return "";
        }
    }
    return "not the µ-law header for the " + std::to_string(samples) + " bytes after it";
}
