// fusion_replay's input: CSV event lines, fed to the filter as the tool does.
#include "fusion_replay.h"
#include "fuzz_target.h"

#include <sstream>
#include <string>

namespace {

int FuzzReplayLines(const uint8_t* data, size_t size) {
    std::istringstream events(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream output, errors;
    const int status = halvex::RunFusionReplay(events, output, errors);
    if (status != 0 && errors.str().empty()) halvex::fuzz::Fail("replay_lines", "a refused stream without a reason");
    return 0;
}

}  // namespace

HALVEX_FUZZ_TARGET(replay_lines, FuzzReplayLines);
