// A MAPI32.DLL without MAPISendMail. Its one export tells the tests that it is this library.
#include <windows.h>

extern "C" __declspec(dllexport) int KestruneMapiWithoutSendMail() {
    return 1;
}
