#pragma once
// Binds the calling thread to one processor for the life of the object, so
// code that splits its work across processors takes its one-thread way,
// and puts the old binding back afterwards.

#include <sched.h>

namespace ov::test {

class OneProcessor {
public:
  OneProcessor() {
    if (::sched_getaffinity(0, sizeof old_, &old_) != 0) return;
    cpu_set_t one;
    CPU_ZERO(&one);
    for (int c = 0; c < CPU_SETSIZE; ++c) {
      if (CPU_ISSET(c, &old_)) {
        CPU_SET(c, &one);
        break;
      }
    }
    bound_ = ::sched_setaffinity(0, sizeof one, &one) == 0;
  }
  OneProcessor(const OneProcessor&) = delete;
  OneProcessor& operator=(const OneProcessor&) = delete;
  ~OneProcessor() {
    if (bound_) ::sched_setaffinity(0, sizeof old_, &old_);
  }
  bool bound() const { return bound_; }

private:
  cpu_set_t old_{};
  bool bound_ = false;
};

}  // namespace ov::test
