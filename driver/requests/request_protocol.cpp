#include "requests/request_protocol.h"

#include "requests/json_text.h"

#include <cstring>
#include <sstream>
#include <vector>

namespace halvex::requests {

const char* const kProtocolName = "halvex/1";

namespace {

// Longer requests are not ours; reading them whole would cost the runtime's thread.
constexpr size_t kLongestRequest = 256;

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

sParsedRequest ParseRequest(const char* text) {
    sParsedRequest parsed;
    if (!text) {
        parsed.error = "no request";
        return parsed;
    }
    const size_t length = strnlen(text, kLongestRequest + 1);
    if (length > kLongestRequest) {
        parsed.error = "request too long";
        return parsed;
    }
    std::istringstream stream(std::string(text, length));
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    if (words.empty()) {
        parsed.error = "empty request";
        return parsed;
    }
    if (words[0] != kProtocolName) {
        parsed.error = words[0].rfind("halvex/", 0) == 0 ? "unsupported protocol version \"" + words[0] + "\""
                                                          : std::string("requests start with \"") + kProtocolName + "\"";
        return parsed;
    }
    if (words.size() < 2) {
        parsed.error = "no request after the protocol";
        return parsed;
    }
    parsed.verb = words[1];
    const size_t arguments = words.size() - 2;
    if (words[1] == "status" && arguments == 0) {
        parsed.kind = eRequestKind::Status;
    } else if (words[1] == "reload" && arguments == 0) {
        parsed.kind = eRequestKind::Reload;
    } else if (words[1] == "record" && arguments == 1 && (words[2] == "start" || words[2] == "stop")) {
        parsed.kind = words[2] == "start" ? eRequestKind::RecordStart : eRequestKind::RecordStop;
    } else if (words[1] == "record") {
        parsed.error = "\"record\" takes \"start\" or \"stop\"";
    } else if (words[1] == "status" || words[1] == "reload") {
        parsed.error = "\"" + words[1] + "\" takes no argument";
    } else {
        parsed.error = "unknown request \"" + words[1] + "\"";
    }
    return parsed;
}

std::string ErrorAnswer(const std::string& verb, const std::string& message) {
    cJsonObject answer;
    answer.Text("protocol", kProtocolName);
    answer.Bool("ok", false);
    answer.Text("request", verb);
    answer.Text("error", message);
    return answer.Finish();
}

uint32_t WriteAnswer(const std::string& answer, char* buffer, uint32_t bufferSize) {
    if (!buffer || bufferSize == 0) return 0;
    size_t length = answer.size();
    if (length > bufferSize - 1) {
        length = bufferSize - 1;
        while (length > 0 && IsUtf8Continuation(answer[length])) --length;
    }
    std::memcpy(buffer, answer.data(), length);
    buffer[length] = '\0';
    return static_cast<uint32_t>(length + 1);
}

}  // namespace halvex::requests
