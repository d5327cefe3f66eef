#include "base/message_box.h"

MessageBoxFn g_messageBox = MessageBoxW;
