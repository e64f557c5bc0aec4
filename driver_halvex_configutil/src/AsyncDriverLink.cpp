#include "AsyncDriverLink.h"

#include <QFutureWatcher>
#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

cAsyncDriverLink::cAsyncDriverLink(QObject* parent) : QObject(parent) {}

cAsyncDriverLink::~cAsyncDriverLink() { WaitForIdle(); }

void cAsyncDriverLink::SetLink(std::shared_ptr<cDriverLink> link) {
    WaitForIdle();
    mLink = std::move(link);
}

void cAsyncDriverLink::Ask(const std::string& request, QObject* context,
                           std::function<void(const sDriverAnswer&)> done) {
    std::shared_ptr<cDriverLink> link = mLink ? mLink : std::make_shared<cDriverLink>(nullptr, nullptr);
    QFuture<sDriverAnswer> future = QtConcurrent::run([link, request] { return link->Ask(request); });
    const uint64_t id = mNextId++;
    mInFlight.emplace(id, future);
    auto* watcher = new QFutureWatcher<sDriverAnswer>(this);
    QPointer<QObject> guard(context);
    connect(watcher, &QFutureWatcher<sDriverAnswer>::finished, this, [this, watcher, guard, done, future, id] {
        mInFlight.erase(id);
        watcher->deleteLater();
        if (guard) done(future.result());
    });
    watcher->setFuture(future);
}

bool cAsyncDriverLink::Busy() const {
    for (const auto& entry : mInFlight)
        if (!entry.second.isFinished()) return true;
    return false;
}

void cAsyncDriverLink::WaitForIdle() {
    for (auto& entry : mInFlight) entry.second.waitForFinished();
}
