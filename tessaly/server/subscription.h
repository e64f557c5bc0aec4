// The data subscription of one client and the commands that change it.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace tessaly::server {

class cSubscription {
public:
    enum class eOutcome { Done, Failed, UnknownCommand };
    static constexpr size_t kMaxIds = 1024;

    explicit cSubscription(bool everything = true) : mEverything(everything) {}

    // "SubscribeToData" clears the filter (everything is sent);
    // "SubscribeToData,AllTypes,None" unsubscribes everything;
    // "SubscribeByID,RigidBody,<id>" adds one rigid body to the filter.
    eOutcome Execute(const std::string& command);

    bool Wants(int32_t rigidBodyId) const { return mEverything || mIds.count(rigidBodyId) != 0; }
    bool Everything() const { return mEverything; }
    std::vector<int32_t> Ids() const { return {mIds.begin(), mIds.end()}; }

private:
    bool mEverything;
    std::set<int32_t> mIds;
};

// Decimal int32 with optional minus sign, nothing else.
bool ParseRigidBodyId(const std::string& text, int32_t* id);

}  // namespace tessaly::server
