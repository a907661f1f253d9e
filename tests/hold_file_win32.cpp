// Holds a file the way other Windows programs on the controller PC do, for the Windows test
// script: "none" opens it for reading and writing and shares nothing (a program saving it),
// "read" opens it for reading and shares reading only (a collector reading it). Prints "held"
// once it has the file, keeps it for the given seconds, and exits with 0 (2 when it cannot open
// the file).
//
// hold_file_win32 PATH none|read SECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: hold_file_win32 PATH none|read SECONDS\n");
    return 1;
  }
  const bool share_read = std::strcmp(argv[2], "read") == 0;
  const DWORD access = share_read ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
  const HANDLE file = ::CreateFileA(argv[1], access, share_read ? FILE_SHARE_READ : 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "cannot open %s: error %lu\n", argv[1], ::GetLastError());
    return 2;
  }
  std::printf("held\n");
  std::fflush(stdout);
  ::Sleep(static_cast<DWORD>(std::atof(argv[3]) * 1000));
  ::CloseHandle(file);
  return 0;
}
