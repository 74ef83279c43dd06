#include "platform/sleep.h"

#include <chrono>
#include <thread>

namespace {

class BlockingSleeper : public ISleeper {
 public:
  void Sleep(std::uint32_t milliseconds) override {
    // sleep_for resumes after signals until the whole time has passed.
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

BlockingSleeper blocking_sleeper;
ISleeper* installed_sleeper = nullptr;

}  // namespace

ISleeper& Sleeper() {
  return installed_sleeper ? *installed_sleeper : static_cast<ISleeper&>(blocking_sleeper);
}

ISleeper* SetSleeper(ISleeper* sleeper) {
  ISleeper* previous = installed_sleeper;
  installed_sleeper = sleeper;
  return previous;
}
