#include "app/message_box.h"

MessageBoxFn g_messageBox = MessageBoxA;
