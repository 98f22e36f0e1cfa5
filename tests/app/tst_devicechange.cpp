// How device changes reach the window: the Windows message classification,
// and the Linux descriptor path end to end.
#include "devicechangemessage.h"
#include "devicechangewatch.h"
#include "mainform.h"
#include "KoUSBLib.h"
#include "simboards.h"

#include <QElapsedTimer>
#include <QStatusBar>
#include <QtTest>

class TestDeviceChange : public QObject {
    Q_OBJECT

    SimBoards boards;

private slots:
    void classification_data()
    {
        QTest::addColumn<uint>("message");
        QTest::addColumn<qulonglong>("wParam");
        QTest::addColumn<bool>("handled");
        using namespace devicechange;
        QTest::newRow("arrival") << kWmDeviceChange << qulonglong(kDeviceArrival) << true;
        QTest::newRow("removal complete") << kWmDeviceChange << qulonglong(kDeviceRemoveComplete) << true;
        QTest::newRow("nodes changed") << kWmDeviceChange << qulonglong(kDevNodesChanged) << false;
        QTest::newRow("query remove") << kWmDeviceChange << qulonglong(kDeviceQueryRemove) << false;
        QTest::newRow("remove pending") << kWmDeviceChange << qulonglong(kDeviceRemovePending) << false;
        QTest::newRow("arrival code in another message") << 0x0218u << qulonglong(kDeviceArrival) << false;
    }

    void classification()
    {
        QFETCH(uint, message);
        QFETCH(qulonglong, wParam);
        QFETCH(bool, handled);
        QCOMPARE(devicechange::isArrivalOrRemoval(message, wParam), handled);
    }

    void boardFilesReachTheListThroughTheDescriptor()
    {
        boards.plug(0, 1, "first");
        MainForm form;
        int calls = 0;
        DeviceChangeWatch watch(GetDeviceChangeDescriptor(), [&]() {
            ++calls;
            form.handleDeviceChange();
        });
        QVERIFY(watch.isWatching());
        QCOMPARE(form.devListTree->topLevelItemCount(), 1);

        QElapsedTimer followed;
        followed.start();
        boards.plug(1, 2, "second");
        QTRY_COMPARE(form.devListTree->topLevelItemCount(), 2);
        qInfo("the list followed a plug in %.2f ms", followed.nsecsElapsed() / 1e6);
        QCOMPARE(form.devListTree->topLevelItem(1)->text(1), QStringLiteral("second"));

        boards.unplug(0);
        QTRY_COMPARE(form.devListTree->topLevelItemCount(), 1);
        QTRY_COMPARE(form.statusbar->currentMessage(), QStringLiteral("Current device: second with ID 2"));

        boards.unplug(1);
        QTRY_COMPARE(form.devListTree->topLevelItemCount(), 0);
        QTRY_COMPARE(form.statusbar->currentMessage(), QStringLiteral("No USB device found or selected."));
        QVERIFY(calls >= 3);

        // A drained descriptor stays quiet: no further calls without a change.
        const int settled = calls;
        QTest::qWait(100);
        QCOMPARE(calls, settled);
    }
};

QTEST_MAIN(TestDeviceChange)
#include "tst_devicechange.moc"
