// SPDX-License-Identifier: MIT
// kousb-sim run as a user runs it: output, exit codes, and the files it leaves.
#include "eepromlayout.h"
#include "simboards.h"
#include "toolprocess.h"

#include <QtTest>

class TestKousbSim : public QObject {
    Q_OBJECT

    SimBoards boards;

    using Result = ToolResult;

    Result run(const QStringList& args)
    {
        return runTool(QString::fromLocal8Bit(qgetenv("KOUSB_SIM_TOOL")),
                       QStringList{"--dir", QString::fromStdString(boards.dir())} + args);
    }

private slots:
    void cleanup() { boards.unplugAll(); }

    void plugPrintsSlotAndWritesIdentity()
    {
        Result r = run({"plug", "--id", "-4", "--name", "Grüße", "--class", "9", "--fw", "300", "--rate", "8"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("0\n"));
        const auto state = boards.read(0);
        const auto identity = kousb::eeprom::readIdentity(state.eeprom);
        QCOMPARE(identity.id, -4);
        QCOMPARE(QString::fromLatin1(identity.name.c_str()), QStringLiteral("Grüße"));
        QCOMPARE(int(identity.deviceClass), 9);
        QCOMPARE(identity.firmwareVersion, 300);
        QCOMPARE(state.bulkRateMBps, 8.0);

        r = run({"plug"});
        QCOMPARE(r.out, QStringLiteral("1\n"));
        r = run({"plug", "--slot", "7"});
        QCOMPARE(r.out, QStringLiteral("7\n"));
        r = run({"plug", "--slot", "7"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("slot 7 is taken"));
    }

    void listAndShow()
    {
        run({"demo"});
        Result r = run({"list"});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[1], QStringLiteral("0\t1\tDemo board A\t1\t3"));
        QCOMPARE(lines[2], QStringLiteral("1\t2\tDemo board B\t2\t3"));
        r = run({"show", "1"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("name: Demo board B"));
        QVERIFY(r.out.contains("last writes: none"));
        QVERIFY(r.out.contains("3f00: 4b 4f 49 44"));
    }

    void unplugAndReplugKeepTheEeprom()
    {
        run({"plug", "--slot", "3", "--id", "33"});
        const auto before = boards.read(3);
        QCOMPARE(run({"unplug", "3"}).exitCode, 0);
        QVERIFY(!QFile::exists(QString::fromStdString(boards.path(3))));
        Result r = run({"unplug", "3"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("no board in slot 3"));
        QCOMPARE(run({"show", "3"}).exitCode, 1);
        QCOMPARE(run({"list"}).out.count('\n'), 1);  // the shelf is not a slot

        QCOMPARE(run({"replug", "3"}).exitCode, 0);
        const auto after = boards.read(3);
        QVERIFY(after.eeprom == before.eeprom);
        QVERIFY(after.instance != before.instance);  // a new arrival for the library
        r = run({"replug", "3"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("no board was unplugged from slot 3"));
    }

    void replugIntoTakenSlotKeepsTheShelvedBoard()
    {
        run({"plug", "--slot", "2", "--id", "1"});
        run({"unplug", "2"});
        run({"plug", "--slot", "2", "--id", "2"});
        Result r = run({"replug", "2"});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("slot 2 is taken"));
        run({"unplug", "2"});  // the second board now takes the shelf place
        QCOMPARE(run({"replug", "2"}).exitCode, 0);
        QCOMPARE(kousb::eeprom::readIdentity(boards.read(2).eeprom).id, 2);
    }

    void badArgumentsExitWithTwoAndTouchNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        QTest::newRow("no command") << QStringList{} << "no command";
        QTest::newRow("unknown command") << QStringList{"frobnicate"} << "unknown command";
        QTest::newRow("class too big") << QStringList{"plug", "--class", "256"} << "--class takes";
        QTest::newRow("id not a number") << QStringList{"plug", "--id", "12abc"} << "--id takes";
        QTest::newRow("id beyond 32 bits") << QStringList{"plug", "--id", "2147483648"} << "--id takes";
        QTest::newRow("name too long") << QStringList{"plug", "--name", QString(32, 'x')} << "at most 31";
        QTest::newRow("name not latin-1") << QStringList{"plug", "--name", "Ωmega"} << "Latin-1";
        QTest::newRow("rate zero") << QStringList{"plug", "--rate", "0"} << "--rate takes";
        QTest::newRow("missing value") << QStringList{"plug", "--slot"} << "needs a value";
        QTest::newRow("unknown option") << QStringList{"plug", "--colour", "red"} << "unknown option";
        QTest::newRow("unplug without slot") << QStringList{"unplug"} << "needs a slot";
        QTest::newRow("slot negative") << QStringList{"show", "-1"} << "SLOT takes";
        QTest::newRow("extra argument") << QStringList{"list", "x"} << "unexpected argument";
    }

    void badArgumentsExitWithTwoAndTouchNothing()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        Result r = run(args);
        QCOMPARE(r.exitCode, 2);
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        QVERIFY(r.err.contains("usage:"));
        QVERIFY(QDir(QString::fromStdString(boards.dir())).entryList(QDir::Files | QDir::Hidden).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestKousbSim)
#include "tst_kousbsim.moc"
