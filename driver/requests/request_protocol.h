// The text protocol of the requests a client sends a device through the runtime
// ("halvex/1 <verb> [argument]") and the rules its answers follow: JSON, cut to
// the caller's buffer and always NUL terminated.
#pragma once

#include <cstdint>
#include <string>

namespace halvex::requests {

// The version every request names and every answer repeats.
extern const char* const kProtocolName;

enum class eRequestKind { Status, RecordStart, RecordStop, Reload, Invalid };

struct sParsedRequest {
    eRequestKind kind = eRequestKind::Invalid;
    std::string verb;   // as written, for the answer; empty when unreadable
    std::string error;  // why it is Invalid
};

// Null, empty, another protocol or version, an unknown verb, or a word too many: Invalid.
sParsedRequest ParseRequest(const char* text);

// {"protocol":"halvex/1","ok":false,"request":verb,"error":message}
std::string ErrorAnswer(const std::string& verb, const std::string& message);

// Copies as much of `answer` as fits with its NUL (never splitting a UTF-8 sequence)
// into `buffer`; nothing is written when the buffer is null or of size 0.
// Returns the bytes written, the NUL included.
uint32_t WriteAnswer(const std::string& answer, char* buffer, uint32_t bufferSize);

}  // namespace halvex::requests
