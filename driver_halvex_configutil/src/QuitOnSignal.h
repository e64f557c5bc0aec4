// SIGINT and SIGTERM end the utility as its window's close does: through the event
// loop, so that it lets go of the runtime first. (Signals cannot call into Qt; the
// handler only writes a byte that the event loop reads.) Nothing on Windows.
#pragma once

class QCoreApplication;

void QuitOnTerminationSignals(QCoreApplication* application);
