#pragma once
// Waiting without the runtime lock.
namespace ui::detail {

// Gives up the runtime lock while the calling thread waits (in the event
// loop or for a dialog) and takes it back afterwards; a thread that did not
// hold it is left as it was.
class Unlocked {
 public:
  Unlocked();
  ~Unlocked();
  Unlocked(const Unlocked&) = delete;
  Unlocked& operator=(const Unlocked&) = delete;

 private:
  bool held_;
};

}  // namespace ui::detail
