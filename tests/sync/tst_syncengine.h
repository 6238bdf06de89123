#pragma once

#include <QObject>

// Declared apart from the test bodies, whose JSON literals confuse moc.
class TestSyncEngine : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void oneConnectionServesRequestsInOrder();
    void refusalsAreAnsweredAndClosed_data();
    void refusalsAreAnsweredAndClosed();
    void pullSinceZeroGivesTheOldest500();
    void pullStaysWithinTheFrameLimit();
    void pushStoresOnceAndNotifies();
    void deleteRequests();
    void pairingWithPin();
    void startWhileRunningChangesNothing();
    void peersAreSortedAndRenamed();
    void idleAndSurplusConnectionsAreClosed();
    void listenerThatCannotBindIsReported();
    void avahiWithoutDaemonIsReported();
};
