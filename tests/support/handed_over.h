// What Send, Copy and Save As must hand over, for the tests that check them: voice files made
// from known sound, and the µ-law copy that ConvertToPlayable alone makes of one.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

// A voice file as Kestrune records it, of these GSM 6.10 bytes; false when it was not written.
bool WriteVoiceFile(const std::wstring& path, const std::vector<BYTE>& gsm);
// A sine with dead air before and after it, through the system's codec: `silence` seconds of
// nothing, `tone` seconds of sound, `silence` seconds of nothing.
std::vector<BYTE> ToneWithDeadAir(double silence, double tone);
// The copy that ConvertToPlayable makes of the whole frames in the voice file at `voicePath`,
// read back; empty, with a test failure, when it failed.
std::vector<BYTE> PlayableCopyOf(const std::wstring& voicePath);
// "" when `copy` starts with the µ-law header for the samples it holds; else what is wrong.
std::string MuLawHeaderFault(const std::vector<BYTE>& copy);
