// The microphone Record opens, chosen in Action, Microphone: Default (the wave mapper's own
// choice) or an input device by its name. The choice is the program's one setting, kept by
// name in HKEY_CURRENT_USER\Software\Kestrune, value Microphone (REG_SZ; absent or empty is
// Default), so that it survives the device's number changing.
#pragma once
#include <windows.h>
#include <mmsystem.h>

constexpr int kActionMenu = 1;      // position of Action in the menu bar
constexpr int kMicrophoneItem = 4;  // position of Microphone in Action

// The key under HKEY_CURRENT_USER. A seam: tests point it at a key of their own.
extern const WCHAR* g_settingsKey;

// The remembered name; empty for Default.
extern WCHAR g_microphone[MAXPNAMELEN];

// Reads the remembered choice (at start).
void LoadMicrophoneChoice();
// The device Record opens: WAVE_MAPPER for Default or for a device that is no longer there.
UINT ChosenMicrophone();
// Fills the submenu afresh, since devices come and go: Default (the template's own first item),
// then each input device, the one in use checked.
void FillMicrophoneMenu(HMENU menu);
// A command of the submenu: the choice is remembered, and written when it changed.
void ChooseMicrophone(int command);
bool IsMicrophoneCommand(int command);
