#pragma once

#include <windows.h>

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

// The window's thread's single-threaded COM apartment, entered on first need (the shell's
// calls and the taskbar button need it; the window shows sooner without it) and left when
// this object goes. One for the thread: every user of COM on it asks this one.
class ComApartment {
 public:
  ComApartment() = default;
  ~ComApartment();
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  // Whether COM is ready on the calling thread (the window's); tried once.
  bool Enter();

 private:
  bool tried_ = false;
  bool ready_ = false;
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
