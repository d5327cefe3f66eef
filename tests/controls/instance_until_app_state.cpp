// g_instance is defined with the state record in app/app_state.cpp; until that file is in the
// core library, the control tests define it here. Delete this file once it is.
#include "app/app_state.h"

HINSTANCE g_instance = nullptr;
