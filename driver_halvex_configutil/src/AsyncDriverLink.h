// Requests to the driver off the Qt main thread: a request waits on the runtime's
// loopback connection (a second at worst), and the window must not freeze meanwhile.
// The answer comes back on the main thread. The link is swapped only once no
// request is in flight, so the runtime connection it uses outlives every call.
#pragma once

#include "DriverLink.h"

#include <QFuture>
#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

class cAsyncDriverLink : public QObject {
    Q_OBJECT

public:
    explicit cAsyncDriverLink(QObject* parent = nullptr);
    ~cAsyncDriverLink() override;

    // Null: no runtime; requests then answer RuntimeGone at once. Waits for the
    // requests in flight first.
    void SetLink(std::shared_ptr<cDriverLink> link);
    // `done` runs on the main thread, unless `context` was destroyed by then.
    void Ask(const std::string& request, QObject* context, std::function<void(const sDriverAnswer&)> done);
    bool Busy() const;
    // Blocks until every request in flight has its answer (their callbacks run later).
    void WaitForIdle();

private:
    std::shared_ptr<cDriverLink> mLink;
    std::map<uint64_t, QFuture<sDriverAnswer>> mInFlight;
    uint64_t mNextId = 0;
};
