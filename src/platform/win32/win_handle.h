#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace vexa {

// The owners of the system's handles, one kind each; none can be copied, each lets go once.

// Owns a kernel handle and closes it. Both null and INVALID_HANDLE_VALUE count as empty, so
// the results of CreateFileW and OpenProcess can be stored as they come.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE Get() const { return handle_; }
  bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void Reset(HANDLE handle = nullptr) {
    if (Valid()) CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// Owns one handle of a kind that `Close` lets go of (the function its library gives for it);
// null is empty. The owners of the rest of the program's handles are this, named where they
// are used: a security descriptor, a shell item list, a BSTR, CNG's hashes and algorithms.
template <class Handle, void (*Close)(Handle)>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { Reset(); }
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, Handle{});
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle Get() const { return handle_; }
  // For a function that hands out a new handle: the old one goes first.
  Handle* Out() {
    Reset();
    return &handle_;
  }
  explicit operator bool() const { return handle_ != Handle{}; }
  void Reset() {
    if (handle_ != Handle{}) Close(std::exchange(handle_, Handle{}));
  }

 private:
  Handle handle_{};
};

// Memory the system hands out with LocalAlloc (a security descriptor, a SID's text).
template <class Pointer>
void FreeLocal(Pointer memory) {
  LocalFree(memory);
}
template <class Pointer>
using LocalMemory = Owned<Pointer, &FreeLocal<Pointer>>;

// The process's environment block, as GetEnvironmentStringsW hands it out.
inline void FreeEnvironment(wchar_t* strings) {
  FreeEnvironmentStringsW(strings);
}
using EnvironmentStrings = Owned<wchar_t*, &FreeEnvironment>;

// A search of a folder (FindFirstFileExW), closed with FindClose when the object goes. Names
// are visited as `for (FolderSearch search(pattern); auto* found = search.Next();)`; "." and
// ".." are among them where the pattern matches them. `limit` is the search's
// FINDEX_SEARCH_OPS (FindExSearchLimitToDirectories: a hint that Windows may ignore).
class FolderSearch {
 public:
  explicit FolderSearch(const std::wstring& pattern,
                        FINDEX_SEARCH_OPS limit = FindExSearchNameMatch)
      : handle_(FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found_, limit, nullptr, 0)) {}
  ~FolderSearch() {
    if (handle_ != INVALID_HANDLE_VALUE) FindClose(handle_);
  }
  FolderSearch(const FolderSearch&) = delete;
  FolderSearch& operator=(const FolderSearch&) = delete;

  // The next entry, or null when there is none (also when the folder could not be searched).
  const WIN32_FIND_DATAW* Next() {
    if (handle_ == INVALID_HANDLE_VALUE) return nullptr;
    if (started_ && !FindNextFileW(handle_, &found_)) return nullptr;
    started_ = true;
    return &found_;
  }

 private:
  WIN32_FIND_DATAW found_{};
  HANDLE handle_;
  bool started_ = false;
};

// Owns one reference to a COM object.
template <class Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;

  Interface* operator->() const { return pointer_; }
  Interface* Get() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  Interface** Out() {
    Reset();
    return &pointer_;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  void Reset() {
    if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
  }

 private:
  Interface* pointer_ = nullptr;
};

// A GDI object (font, bitmap, brush), deleted once.
template <class Handle>
void DeleteGdi(Handle object) {
  DeleteObject(object);
}
template <class Handle>
using GdiObject = Owned<Handle, &DeleteGdi<Handle>>;
using GdiFont = GdiObject<HFONT>;
using GdiBitmap = GdiObject<HBITMAP>;

// Selects an object into a device context for the lifetime of the guard.
class Selection {
 public:
  Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  Selection(const Selection&) = delete;
  Selection& operator=(const Selection&) = delete;
  ~Selection() { SelectObject(dc_, previous_); }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};

// A memory device context compatible with another one, deleted when done.
class MemoryDc {
 public:
  explicit MemoryDc(HDC compatibleWith) : dc_(CreateCompatibleDC(compatibleWith)) {}
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() {
    if (dc_) DeleteDC(dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

// A device context of the screen, released when done.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  ~ScreenDc() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

}  // namespace vexa
