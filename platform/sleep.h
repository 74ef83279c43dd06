#pragma once

// The blocking sleep of the start-up: the calling thread waits and processes no events.
// The program uses the real one; tests install a recorder that only notes the milliseconds.

#include <cstdint>

class ISleeper {
 public:
  virtual ~ISleeper() = default;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The installed sleeper (the real, blocking one unless a test installed another).
ISleeper& Sleeper();
// Installs a sleeper (not owned) and returns the previous one; nullptr restores the real one.
ISleeper* SetSleeper(ISleeper* sleeper);

// Blocks the calling thread for the given time through the installed sleeper.
inline void Sleep(std::uint32_t milliseconds) {
  Sleeper().Sleep(milliseconds);
}
