// The one error type of vrhost: bad input (options, manifest, library, settings file).
// Its message is a complete one-line explanation for the user.
#pragma once

#include <stdexcept>
#include <string>

namespace vrhost {

class cHostError : public std::runtime_error {
public:
    explicit cHostError(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace vrhost
