// The lock for the few places where two threads share data: the fill buffer, the simulated machine and the
// tests' records of what the program showed.
//
// The same thread may take it again while it holds it. It has lock() and unlock(), so std::lock_guard works with
// it. Windows builds use a critical section, which every Windows version the program runs on has (the compilers'
// own std::mutex there needs a thread runtime that imports calls Windows 2000 and XP lack); other hosts use
// std::recursive_mutex. The header needs no windows.h.
#pragma once

class SysLock {
 public:
  SysLock();
  ~SysLock();
  SysLock(const SysLock&) = delete;
  SysLock& operator=(const SysLock&) = delete;

  void lock();
  void unlock();

 private:
  // Room for the host's lock object, built in place: a CRITICAL_SECTION (24 or 40 bytes) or a
  // std::recursive_mutex (40 bytes on glibc); lock.cpp checks that it fits.
  alignas(8) unsigned char storage_[64];
};
