// SPDX-License-Identifier: MIT
// kousb on many simulated boards: naming each by ID, place or serial, and
// one command working on several in parallel, judged by the process's
// output, exit code and what each board holds afterwards.
#include "eepromlayout.h"
#include "firmwarefiles.h"
#include "simboards.h"
#include "toolprocess.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class TestKousbBatch : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;

    static QString tool() { return qEnvironmentVariable("KOUSB_TOOL"); }
    ToolResult run(const QStringList& args) { return runTool(tool(), args); }
    QString file(const QString& name) const { return files.filePath(name); }
    std::int32_t idAt(int slot) const { return kousb::eeprom::readIdentity(boards.read(slot).eeprom).id; }

    void plugThree()
    {
        boards.plug(0, 7, "Twin A");
        boards.plug(1, 7, "Twin B");
        boards.plug(2, 42, "Other");
    }

private slots:
    void cleanup() { boards.unplugAll(); }

    // Serials as our firmware makes them: "KO" and the ID as eight hex
    // digits, most significant first (firmware/chip/descriptors.c).
    void selectors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("shown");  // each in stdout (exit 0) or stderr
        QTest::newRow("list") << QStringList{"list"} << 0
                              << QStringList{"slot\tid\tname\tclass\tfw\tplace\tserial\n",
                                             "0\t7\tTwin A\t0\t1\tsim-0\tKO00000007\n",
                                             "2\t42\tOther\t0\t1\tsim-2\tKO0000002A\n"};
        QTest::newRow("ID") << QStringList{"--board", "42", "info"} << 0
                            << QStringList{"id: 42\n", "place: sim-2\nserial: KO0000002A\n"};
        QTest::newRow("place") << QStringList{"info", "--board", "@sim-1"} << 0
                               << QStringList{"name: Twin B\n", "place: sim-1\n"};
        QTest::newRow("serial, any case")
            << QStringList{"--board", "serial:ko0000002a", "info"} << 0 << QStringList{"place: sim-2\n"};
        QTest::newRow("ambiguous ID") << QStringList{"--board", "7", "info"} << 2
                                      << QStringList{"several boards are 7",
                                                     "\"Twin A\", class 0, FW 1, at sim-0, "
                                                     "serial KO00000007: --board @sim-0",
                                                     ": --board @sim-1"};
        QTest::newRow("unknown place") << QStringList{"--board", "@1-4", "read", "External"} << 2
                                       << QStringList{"no board is @1-4", ": --board @sim-0", ": --board 42"};
        QTest::newRow("unknown serial") << QStringList{"--board", "serial:KO00000008", "info"} << 2
                                        << QStringList{"no board is serial:KO00000008", ": --board @sim-1"};
        QTest::newRow("no selector") << QStringList{"--board", "sim-1", "info"} << 2
                                     << QStringList{"'sim-1' names no board", "usage: kousb"};
        QTest::newRow("none named") << QStringList{"info"} << 2
                                    << QStringList{"several boards attached", ": --board 42"};
    }

    void selectors()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QStringList, shown);
        plugThree();
        const ToolResult r = run(args);
        QCOMPARE(r.exitCode, exitCode);
        for (const QString& part : shown)
            QVERIFY2((exitCode == 0 ? r.out : r.err).contains(part), qPrintable(r.out + r.err));
        if (exitCode != 0)
            QCOMPARE(r.out, QString());
    }

    // One board's flash fails its verification and another is unplugged
    // half-way; the third is flashed all the same, and each is reported.
    void batchGoesOnPastFailures()
    {
        plugThree();
        kousb::sim::BoardState faulty = boards.read(1);
        faulty.eepromDropOffset = 0x100;
        boards.writeRaw("slot-01.board", kousb::sim::formatBoardFile(faulty));
        const QByteArray data(0x3F00, '\x5A');  // up to the identity block
        const QString image = firmwarefiles::writeFile(file("image.hex"), firmwarefiles::intelHex({{0, data}}));

        QProcess kousb;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", file("data"));
        kousb.setProcessEnvironment(environment);
        kousb.start(tool(), {"--all", "flash-eeprom", image});
        // The backup is made before the first page is written: the flash of
        // the board at sim-2 is under way then.
        const QDir backups(file("data") + "/usb-device-manager/backups");
        QTRY_VERIFY_WITH_TIMEOUT(!backups.entryList({"*sim-2*"}).isEmpty(), 30000);
        boards.unplug(2);
        QVERIFY(kousb.waitForFinished(60000));
        const QStringList lines = QString::fromUtf8(kousb.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);

        QCOMPARE(kousb.exitCode(), 1);
        QCOMPARE(lines.size(), 4);
        QVERIFY2(lines.filter(QRegularExpression("^sim-0\tID 7\tok: flashed .*, backup .*\t[0-9.]+ s$")).size() == 1,
                 qPrintable(lines.join('\n')));
        QVERIFY2(lines.filter(QRegularExpression("^sim-1\tID 7\tfailed: .*verification failed: .*offset 0x0100")).size()
                     == 1,
                 qPrintable(lines.join('\n')));
        QVERIFY2(lines.filter(QRegularExpression("^sim-2\tID 42\tfailed: .*unplugged")).size() == 1,
                 qPrintable(lines.join('\n')));
        QVERIFY2(QRegularExpression("^3 boards: 1 done, 2 failed, [0-9.]+ s$").match(lines.last()).hasMatch(),
                 qPrintable(lines.last()));
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(boards.read(0).eeprom.data()), data.size()), data);
        QCOMPARE(backups.entryList({"*sim-0*"}).size(), 1);  // each board its own backup
        QCOMPARE(backups.entryList({"*sim-1*"}).size(), 1);
    }

    // Boards in slots 10, 2 and 1: place order is sim-1, sim-2, sim-10.
    void idsAndFilesFollowPlaceOrder()
    {
        for (int slot : {10, 2, 1})
            boards.plug(slot, 1, "Fresh");
        QCOMPARE(run({"--all", "set-id", "--id", "5"}).exitCode, 2);
        QCOMPARE(run({"--all", "dump-eeprom", file("same.hex")}).exitCode, 2);
        QCOMPARE(run({"--board", "@sim-1", "--board", "@sim-2", "dump-eeprom", file("{id}.hex")}).exitCode, 2);

        ToolResult r = run({"set-id", "--all", "--id-from", "100", "--json"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(std::vector<std::int32_t>({idAt(1), idAt(2), idAt(10)}), std::vector<std::int32_t>({100, 101, 102}));
        QStringList places;
        for (const QString& line : r.out.split('\n', Qt::SkipEmptyParts)) {
            const QJsonObject board = QJsonDocument::fromJson(line.toUtf8()).object();
            QVERIFY2(board["ok"].toBool() && board["id"].toInt() == 1, qPrintable(line));
            QVERIFY(board["result"].toString().startsWith("ID 1"));
            places << board["place"].toString();
        }
        places.sort();
        QCOMPARE(places, QStringList({"sim-1", "sim-10", "sim-2"}));

        r = run({"--board", "@sim-10", "--board", "serial:KO00000065", "dump-eeprom", file("b-{id}-{place}.hex")});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(QFile::exists(file("b-102-sim-10.hex")) && QFile::exists(file("b-101-sim-2.hex")));
        QCOMPARE(r.out.count('\n'), 3);
        QVERIFY(r.out.contains("\n2 boards: 2 done, 0 failed, "));
    }
};

QTEST_GUILESS_MAIN(TestKousbBatch)
#include "tst_kousbbatch.moc"
