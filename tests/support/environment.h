// Environment variables that CTest sets for a test.
#pragma once
#include <string>

// The variable's value, or "" when it is not set (or longer than a path).
std::string EnvironmentText(const char* name);
