#include "counting.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace ordex::bench {
namespace {

// One thread is measured; the benchmark library's own threads never run while counting is on.
bool counting = false;
Counts counts;
std::uint64_t live_bytes = 0;
std::uint64_t live_bytes_at_start = 0;

void OnAllocate(void* block) {
  const std::uint64_t size = malloc_usable_size(block);
  live_bytes += size;
  if (!counting) return;
  ++counts.allocations;
  if (live_bytes > live_bytes_at_start + counts.peak_heap_bytes) {
    counts.peak_heap_bytes = live_bytes - live_bytes_at_start;
  }
}

void OnFree(void* block) {
  if (!block) return;
  const std::uint64_t size = malloc_usable_size(block);
  live_bytes -= size;
}

template <typename Function>
Function Next(const char* name) {
  static_assert(sizeof(Function) == sizeof(void*));
  void* next = ::dlsym(RTLD_NEXT, name);
  if (!next) {
    std::fprintf(stderr, "ordex_bench: no %s in the C library\n", name);
    std::abort();
  }
  return reinterpret_cast<Function>(next);
}

void CountOpen() {
  if (counting) ++counts.opens;
}

void CountStat() {
  if (counting) ++counts.stats;
}

mode_t ModeArgument(int flags, va_list arguments) {
  return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE
             ? static_cast<mode_t>(va_arg(arguments, unsigned))
             : 0;
}

}  // namespace

void StartCounting() {
  counts = Counts{};
  live_bytes_at_start = live_bytes;
  counting = true;
}

Counts StopCounting() {
  counting = false;
  return counts;
}

}  // namespace ordex::bench

// The heap, counted and passed on to the C library's allocator. Replacing malloc and its kin
// catches every allocation: operator new, strdup and the window toolkit's own calls end here.
extern "C" {

void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);

using ordex::bench::OnAllocate;
using ordex::bench::OnFree;

void* malloc(std::size_t size) {
  void* block = __libc_malloc(size);
  if (block) OnAllocate(block);
  return block;
}

void* calloc(std::size_t count, std::size_t size) {
  void* block = __libc_calloc(count, size);
  if (block) OnAllocate(block);
  return block;
}

void* realloc(void* block, std::size_t size) {
  OnFree(block);
  void* moved = __libc_realloc(block, size);
  if (moved)
    OnAllocate(moved);
  else if (block && size)
    OnAllocate(block);  // failed: the old block stays
  return moved;
}

void* memalign(std::size_t alignment, std::size_t size) {
  void* block = __libc_memalign(alignment, size);
  if (block) OnAllocate(block);
  return block;
}

void* aligned_alloc(std::size_t alignment, std::size_t size) { return memalign(alignment, size); }

int posix_memalign(void** result, std::size_t alignment, std::size_t size) {
  void* block = memalign(alignment, size);
  if (!block) return ENOMEM;
  *result = block;
  return 0;
}

void free(void* block) {
  OnFree(block);
  __libc_free(block);
}

}  // extern "C"

// The file system calls the program's code can make, counted and passed on.
extern "C" {

using ordex::bench::CountOpen;
using ordex::bench::CountStat;
using ordex::bench::ModeArgument;
using ordex::bench::Next;

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  CountOpen();
  static const auto next = Next<int (*)(const char*, int, ...)>("open");
  return next(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  CountOpen();
  static const auto next = Next<int (*)(const char*, int, ...)>("open64");
  return next(path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  CountOpen();
  static const auto next = Next<int (*)(int, const char*, int, ...)>("openat");
  return next(folder, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  const mode_t mode = ModeArgument(flags, arguments);
  va_end(arguments);
  CountOpen();
  static const auto next = Next<int (*)(int, const char*, int, ...)>("openat64");
  return next(folder, path, flags, mode);
}

DIR* opendir(const char* path) {
  CountOpen();
  static const auto next = Next<DIR* (*)(const char*)>("opendir");
  return next(path);
}

FILE* fopen(const char* path, const char* mode) {
  CountOpen();
  static const auto next = Next<FILE* (*)(const char*, const char*)>("fopen");
  return next(path, mode);
}

FILE* fopen64(const char* path, const char* mode) {
  CountOpen();
  static const auto next = Next<FILE* (*)(const char*, const char*)>("fopen64");
  return next(path, mode);
}

int stat(const char* path, struct stat* info) {
  CountStat();
  static const auto next = Next<int (*)(const char*, struct stat*)>("stat");
  return next(path, info);
}

int stat64(const char* path, struct stat64* info) {
  CountStat();
  static const auto next = Next<int (*)(const char*, struct stat64*)>("stat64");
  return next(path, info);
}

int lstat(const char* path, struct stat* info) {
  CountStat();
  static const auto next = Next<int (*)(const char*, struct stat*)>("lstat");
  return next(path, info);
}

int fstatat(int folder, const char* path, struct stat* info, int flags) {
  CountStat();
  static const auto next = Next<int (*)(int, const char*, struct stat*, int)>("fstatat");
  return next(folder, path, info, flags);
}

}  // extern "C"
