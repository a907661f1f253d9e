// Holds a file the way other Windows programs on the controller PC do, for the Windows test
// script: "none" opens it for reading and writing and shares nothing (a program saving it),
// "read" opens it for reading and shares reading only (a collector reading it). Prints "held"
// once it has the file, keeps it for the given seconds, and exits with 0 (2 when it cannot open
// the file). "mutex" takes the named mutex NAME instead, as another session's ORDEX holds its
// collector's claim, and gives it back when it exits.
//
// hold_file_win32 PATH none|read SECONDS
// hold_file_win32 NAME mutex SECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: hold_file_win32 PATH none|read|mutex SECONDS\n");
    return 1;
  }
  const DWORD hold_ms = static_cast<DWORD>(std::atof(argv[3]) * 1000);
  if (std::strcmp(argv[2], "mutex") == 0) {
    const HANDLE mutex = ::CreateMutexA(nullptr, FALSE, argv[1]);
    if (mutex == nullptr || ::WaitForSingleObject(mutex, 0) != WAIT_OBJECT_0) {
      std::fprintf(stderr, "cannot take %s: error %lu\n", argv[1], ::GetLastError());
      return 2;
    }
    std::printf("held\n");
    std::fflush(stdout);
    ::Sleep(hold_ms);
    ::ReleaseMutex(mutex);
    ::CloseHandle(mutex);
    return 0;
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
  ::Sleep(hold_ms);
  ::CloseHandle(file);
  return 0;
}
