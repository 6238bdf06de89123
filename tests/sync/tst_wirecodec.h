#pragma once

#include <QObject>

// Declared apart from the test bodies, whose byte literals confuse moc.
class TestWireCodec : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void healthFrameBytes();
    void receiveOutcomes_data();
    void receiveOutcomes();
    void largestFrameIsReadInFull();
    void twoFramesInOneSegment();
    void sendCompletesOverLoopback();
};
