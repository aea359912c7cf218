// Installs a test double into one of the platform's seams for the life of the object, then puts
// back what was there. A seam's setter (SetMessageBoxService, SetSoundSink...) takes the new
// implementation and returns the previous one, null standing for the default.
#pragma once

#include <memory>
#include <utility>

namespace zuvo::platform {

template <class Double, class Service, std::shared_ptr<Service> (*Install)(std::shared_ptr<Service>)>
class ScopedDouble {
 public:
  ScopedDouble() : double_(std::make_shared<Double>()), previous_(Install(double_)) {}
  ~ScopedDouble() { Install(std::move(previous_)); }
  ScopedDouble(const ScopedDouble&) = delete;
  ScopedDouble& operator=(const ScopedDouble&) = delete;
  Double& operator*() { return *double_; }
  Double* operator->() { return double_.get(); }

 private:
  std::shared_ptr<Double> double_;
  std::shared_ptr<Service> previous_;
};

}  // namespace zuvo::platform
