// What the stand-in MAPI32.DLL (fake_mapi32.cpp) wrote down: one record per call.
#pragma once
#include <windows.h>

#include <map>
#include <string>
#include <vector>

// key=value, as the stand-in wrote each line ("entry", "file.pathName" ...).
using MapiRecord = std::map<std::string, std::string>;

// Every record of the log at `path`, in the order of the calls; none when there is no log.
std::vector<MapiRecord> ReadMapiLog(const std::wstring& path);
