#include <windows.h>

#include "app/run_form1.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return ordex::RunForm1(); }
