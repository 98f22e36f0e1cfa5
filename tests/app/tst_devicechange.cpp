// SPDX-License-Identifier: MIT
// How device changes reach the window: the Windows message classification,
// and the Linux descriptor path end to end, for boards plugged in and out
// and for another program's changes to a board (kousb run as a process).
#include "devicechangemessage.h"
#include "devicechangewatch.h"
#include "firmwarefiles.h"
#include "mainform.h"
#include "KoUSBLib.h"
#include "simboards.h"
#include "toolprocess.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QStatusBar>
#include <QtTest>

namespace {

// kousb, run as another program on the same boards.
void runKousb(const QStringList& args)
{
    const ToolResult r = runTool(QString::fromLocal8Bit(qgetenv("KOUSB_TOOL")), args);
    QVERIFY2(r.exitCode == 0, qPrintable(args.join(' ') + ": " + r.err));
}

QString rowName(MainForm& form, int row)
{
    const QTreeWidgetItem* item = form.devListTree->topLevelItem(row);
    return item ? item->text(1) : QString();
}

}  // namespace

class TestDeviceChange : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;

    // One board, ID 1, in slot 0, known to the library.
    void onlyBoard(const std::string& name)
    {
        boards.unplugAll();
        boards.plug(0, 1, name);
        SimBoards::sync();
    }

    // The window with the watch the application object gives it.
    struct Watched {
        MainForm form;
        int calls = 0;
        DeviceChangeWatch watch{GetDeviceChangeDescriptor(), [this] {
                                    ++calls;
                                    form.handleDeviceChange();
                                }};
    };

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

    // Another program's change to the current board shows without a click,
    // as a plug does: list row, identification fields, status bar, Info page.
    void anotherProgramsChangeShows_data()
    {
        QTest::addColumn<QStringList>("command");  // kousb's, on board 1
        QTest::addColumn<QString>("name");         // the board's name afterwards
        QTest::addColumn<QString>("info");         // a text the Info page then shows

        const QString bit = firmwarefiles::writeFile(files.filePath("lab.bit"),
                                                     firmwarefiles::bitFile("3s500efg320", 64, "lab_blinky.ncd"));
        const QString bix = firmwarefiles::writeFile(files.filePath("tiny_loader.bix"), QByteArray(64, '\x02'));
        QTest::newRow("set-id") << QStringList{"set-id", "--name", "Renamed by shell"} << "Renamed by shell"
                                << "";
        QTest::newRow("load-fpga") << QStringList{"load-fpga", bit} << "Demo"
                                   << "lab_blinky";
        QTest::newRow("load-controller") << QStringList{"load-controller", bix} << "Demo"
                                         << "tiny_loader.bix";
    }

    void anotherProgramsChangeShows()
    {
        QFETCH(QStringList, command);
        QFETCH(QString, name);
        QFETCH(QString, info);
        onlyBoard("Demo");
        Watched w;
        QVERIFY(w.watch.isWatching());
        w.form.statusbar->showMessage(QStringLiteral("Benchmark finished."));

        runKousb(QStringList{"--board", "1"} + command);
        if (!info.isEmpty())
            QTRY_VERIFY2(w.form.infoWindow->toPlainText().contains(info), qPrintable(w.form.infoWindow->toPlainText()));
        QTRY_COMPARE(rowName(w.form, 0), name);
        QCOMPARE(w.form.nameLineEdit->text(), name);
        QCOMPARE(w.form.devListTree->topLevelItemCount(), 1);
        QVERIFY(w.form.devListTree->topLevelItem(0)->isSelected());
        // The status bar names the board anew only when its name changed.
        QCOMPARE(w.form.statusbar->currentMessage(),
                 name == "Demo" ? QStringLiteral("Benchmark finished.") : "Current device: " + name + " with ID 1");
    }

    // What the user is typing stays; the rest follows the other program.
    void typingIsKept()
    {
        onlyBoard("Demo");
        Watched w;
        w.form.show();
        w.form.deviceTab->setCurrentWidget(w.form.miscTab);
        QVERIFY(QTest::qWaitForWindowExposed(&w.form));
        w.form.nameLineEdit->setFocus();
        w.form.nameLineEdit->selectAll();
        QTest::keyClicks(w.form.nameLineEdit, "Typed here");

        runKousb({"--board", "1", "set-id", "--name", "Renamed by shell", "--class", "5"});
        QTRY_COMPARE(rowName(w.form, 0), QStringLiteral("Renamed by shell"));
        QCOMPARE(w.form.classLineEdit->text(), QStringLiteral("5"));
        QCOMPARE(w.form.nameLineEdit->text(), QStringLiteral("Typed here"));
        QCOMPARE(w.form.statusbar->currentMessage(), QStringLiteral("Current device: Renamed by shell with ID 1"));
    }

    // The window's own write rebuilds the list once; the events it raises
    // wake the watch but bring no second rebuild. Another program's change
    // then rebuilds it once more.
    void ownChangesRebuildOnce()
    {
        onlyBoard("Demo");
        Watched w;
        QSignalSpy rebuilds(w.form.devListTree->model(), &QAbstractItemModel::modelReset);
        w.form.nameLineEdit->setText(QStringLiteral("Own name"));
        QTest::mouseClick(w.form.updateIdBtn, Qt::LeftButton);
        QCOMPARE(rowName(w.form, 0), QStringLiteral("Own name"));
        QTRY_VERIFY(w.calls > 0);  // the write's events, all raised before, handled at once
        QCOMPARE(rebuilds.count(), 1);

        runKousb({"--board", "1", "set-id", "--name", "Marker"});
        QTRY_COMPARE(rowName(w.form, 0), QStringLiteral("Marker"));
        QCOMPARE(rebuilds.count(), 2);
    }
};

QTEST_MAIN(TestDeviceChange)
#include "tst_devicechange.moc"
