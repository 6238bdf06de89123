#pragma once

#include <QObject>

// Declared apart from the test bodies, whose literals confuse moc.
class TestSyncClient : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void automaticSyncIsDebounced();
    void forcedPullsSkipSyncsUnderWay();
    void ownServiceIsDetectedAndSkipped();
    void pushesGoToEveryOtherPeer();
    void pinModeReachesPairedDevicesOnly();
    void pairingSucceedsAndPulls();
    void pairingFailures_data();
    void pairingFailures();
    void stalledPeerDoesNotBlockSyncForever();
    void pulledClipsAreStoredOnce();
};
