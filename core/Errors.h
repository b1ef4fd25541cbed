// The program's own errors: each carries a text written for the user, in
// Chinese, that a screen shows as it is. Screens and the loader catch this
// type only; any other exception is a fault of the program and is left to
// surface.
#pragma once

#include <stdexcept>

namespace vt {

class UserError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace vt
