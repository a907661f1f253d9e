#include <windows.h>

#include "app/run_form1.h"
#include "platform/process_win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before anything can touch a file: no system dialog may ever hold the hidden program.
  ordex::KeepSystemDialogsAway();
  ordex::RegisterRestartAfterUpdate();
  return ordex::RunForm1();
}
