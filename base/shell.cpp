#include "base/shell.h"

#include <shellapi.h>

ShellExecuteFn g_shellExecute = ShellExecuteW;
