#pragma once

#include <QObject>

// Declared apart from the test bodies: their JSON literals confuse moc.
class TestSyncMessages : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void goldenTexts_data();
    void goldenTexts();
    void everyCaseRoundTrips_data();
    void everyCaseRoundTrips();
    void readableOddities();
    void unreadableDocuments_data();
    void unreadableDocuments();
    void pairedDeviceRecords();
    void constantsAndErrors();
    void payloadCarriesAttachmentBytes();
    void hostileAttachmentNames_data();
    void hostileAttachmentNames();
    void symlinksOutOfTheFolderAreNotFollowed();
    void snapshotBlobForm();
    void snapshotTimesKeepTheirFraction();
    void attachmentBytesBesideTheTree_data();
    void attachmentBytesBesideTheTree();
};
