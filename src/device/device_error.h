// The device's own error kind.  A command that cannot run raises it with the
// message the device shows (code page 932 bytes); ExecuteLine catches it and
// keeps the message as the last error text.
#pragma once

#include <stdexcept>
#include <string>

namespace qmt {

class DeviceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace qmt
