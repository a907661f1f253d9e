#include <windows.h>

#include "platform/run_form1.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return ordex::RunForm1(); }
