#include "subscription.h"

namespace tessaly::server {

bool ParseRigidBodyId(const std::string& text, int32_t* id) {
    size_t pos = 0;
    const bool negative = !text.empty() && text[0] == '-';
    if (negative) pos = 1;
    if (pos == text.size() || text.size() - pos > 10) return false;
    int64_t value = 0;
    for (; pos < text.size(); ++pos) {
        if (text[pos] < '0' || text[pos] > '9') return false;
        value = value * 10 + (text[pos] - '0');
    }
    if (negative) value = -value;
    if (value < INT32_MIN || value > INT32_MAX) return false;
    *id = static_cast<int32_t>(value);
    return true;
}

cSubscription::eOutcome cSubscription::Execute(const std::string& command) {
    static const std::string kById = "SubscribeByID,RigidBody,";
    if (command == "SubscribeToData") {
        mEverything = true;
        mIds.clear();
        return eOutcome::Done;
    }
    if (command == "SubscribeToData,AllTypes,None") {
        mEverything = false;
        mIds.clear();
        return eOutcome::Done;
    }
    if (command.compare(0, kById.size(), kById) == 0) {
        int32_t id = 0;
        if (!ParseRigidBodyId(command.substr(kById.size()), &id)) return eOutcome::Failed;
        if (mIds.size() >= kMaxIds && mIds.count(id) == 0) return eOutcome::Failed;
        mEverything = false;
        mIds.insert(id);
        return eOutcome::Done;
    }
    return eOutcome::UnknownCommand;
}

}  // namespace tessaly::server
