// SPDX-License-Identifier: MIT
// kousb run as a user runs it: a process against simulated boards, judged by
// its stdout, stderr, exit code and what the boards hold afterwards.
#include "eepromlayout.h"
#include "simboards.h"
#include "toolprocess.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <fstream>
#include <sstream>

class TestKousb : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;

    using Result = ToolResult;

    static QString tool() { return QString::fromLocal8Bit(qgetenv("KOUSB_TOOL")); }

    Result run(const QStringList& args) { return runTool(tool(), args); }

    QString file(const QString& name) const { return files.filePath(name); }

    static QByteArray contentOf(const std::string& path)
    {
        QFile f(QString::fromStdString(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    kousb::BoardIdentity identity(int slot) const { return kousb::eeprom::readIdentity(boards.read(slot).eeprom); }

    void plugTwo()
    {
        boards.plug(0, 1, "Board one");
        SimBoards::Options second;
        second.id = 2;
        second.name = "Board two";
        second.deviceClass = 5;
        second.firmwareVersion = 7;
        boards.plug(1, second);
    }

private slots:
    void cleanup() { boards.unplugAll(); }

    void listsBoardsAsTextAndJson()
    {
        QCOMPARE(run({"list"}).out, QStringLiteral("slot\tid\tname\tclass\tfw\tplace\tserial\n"));
        plugTwo();
        Result r = run({"list"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out,
                 QStringLiteral("slot\tid\tname\tclass\tfw\tplace\tserial\n0\t1\tBoard one\t0\t1\tsim-0\tKO00000001\n1"
                                "\t2\tBoard two\t5\t7\tsim-1\tKO00000002\n"));
        QCOMPARE(r.err, QString());

        r = run({"list", "--json"});
        QCOMPARE(r.exitCode, 0);
        QJsonParseError error;
        const QJsonDocument json = QJsonDocument::fromJson(r.out.toUtf8(), &error);
        QCOMPARE(error.error, QJsonParseError::NoError);
        const QJsonArray list = json.array();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list[1].toObject()["slot"].toInt(), 1);
        QCOMPARE(list[1].toObject()["id"].toInt(), 2);
        QCOMPARE(list[1].toObject()["name"].toString(), QStringLiteral("Board two"));
        QCOMPARE(list[1].toObject()["class"].toInt(), 5);
        QCOMPARE(list[1].toObject()["fw"].toInt(), 7);
        QCOMPARE(list[1].toObject()["place"].toString(), QStringLiteral("sim-1"));
        QCOMPARE(list[1].toObject()["serial"].toString(), QStringLiteral("KO00000002"));
    }

    void boardChoice()
    {
        Result r = run({"info"});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err, QStringLiteral("kousb: no board attached\n"));

        boards.plug(0, 4, "Only board");
        r = run({"info"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.startsWith("id: 4\nname: Only board\nclass: 0\nfw: 1\n"));

        boards.plug(1, 9, "Second board");
        r = run({"info"});
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QString());
        QVERIFY(r.err.contains("several boards attached"));
        QVERIFY(r.err.contains("slot 0: ID 4, \"Only board\""));
        QVERIFY(r.err.contains("slot 1: ID 9, \"Second board\""));

        QVERIFY(run({"--board", "9", "info"}).out.startsWith("id: 9\n"));
        QVERIFY(run({"info", "--board", "4"}).out.startsWith("id: 4\n"));
        r = run({"--board", "5", "info"});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.startsWith("kousb: no board with ID 5"));
    }

    void badArgumentsTouchNothing_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no command") << QStringList{};
        QTest::newRow("unknown command") << QStringList{"erase"};
        QTest::newRow("unknown option") << QStringList{"list", "--xml"};
        QTest::newRow("unknown mode") << QStringList{"read", "Parallel"};
        QTest::newRow("EEPROM is no IO mode") << QStringList{"write", "EEPROM", "1"};
        QTest::newRow("Command cannot read") << QStringList{"read", "command"};
        QTest::newRow("address beyond I2C") << QStringList{"write", "I2C", "--addr", "256", "1"};
        QTest::newRow("address beyond 16 bits") << QStringList{"write", "External", "--addr", "65536", "1"};
        QTest::newRow("address not a number") << QStringList{"write", "FPGA", "--addr", "ten", "1"};
        QTest::newRow("UART has no address") << QStringList{"write", "UART", "--addr", "1", "1"};
        QTest::newRow("size above 16") << QStringList{"read", "External", "--size", "17"};
        QTest::newRow("no value") << QStringList{"write", "External"};
        QTest::newRow("17 values") << (QStringList{"write", "External"}
                                       + QString("1 ").repeated(17).split(' ', Qt::SkipEmptyParts));
        QTest::newRow("value with junk") << QStringList{"write", "External", "1", "12abc"};
        QTest::newRow("hex value in decimal") << QStringList{"write", "External", "ff"};
        QTest::newRow("bad hex value") << QStringList{"write", "External", "--hex", "fg"};
        QTest::newRow("set-id without fields") << QStringList{"set-id"};
        QTest::newRow("ID not a number") << QStringList{"set-id", "--name", "ok", "--id", "12abc"};
        QTest::newRow("class above 255") << QStringList{"set-id", "--id", "3", "--class", "256"};
        QTest::newRow("name too long") << QStringList{"set-id", "--id", "3", "--name", QString(32, 'n')};
        QTest::newRow("flash without file") << QStringList{"flash-eeprom"};
        QTest::newRow("backup over the image") << QStringList{"flash-eeprom", "a.hex", "--backup", "a.hex"};
        QTest::newRow("option without value") << QStringList{"read", "External", "--addr"};
        QTest::newRow("board not a number") << QStringList{"--board", "one", "info"};
    }

    void badArgumentsTouchNothing()
    {
        QFETCH(QStringList, args);
        boards.plug(0, 1, "Board one");
        const QByteArray before = contentOf(boards.path(0));
        const Result r = run(args);
        QCOMPARE(r.exitCode, 2);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.startsWith("kousb: "), qPrintable(r.err));
        QVERIFY(r.err.contains("usage: kousb"));
        QCOMPARE(contentOf(boards.path(0)), before);
    }

    // The bytes written are what the IO page would send for the same text:
    // the low 8 bits of each value, in the base asked for.
    void writesAsTheIoPage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("record");
        QTest::newRow("decimal, cut to a byte")
            << QStringList{"write", "External", "--addr", "16", "1", "-1", "300"} << "External"
            << "3 bytes: 01 ff 2c";
        QTest::newRow("hex with prefixes") << QStringList{"write", "fpga", "--hex", "0x10", "A", "ff"} << "FPGA"
                                           << "3 bytes: 10 0a ff";
        QTest::newRow("mode in any case") << QStringList{"write", "uArT", "7"} << "UART"
                                          << "1 bytes: 07";
    }

    void writesAsTheIoPage()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, mode);
        QFETCH(QString, record);
        boards.plug(0, 1, "Board one");
        const Result r = run(args);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QString());
        QProcess show;
        show.start(QString::fromLocal8Bit(qgetenv("KOUSB_SIM_TOOL")),
                   {"--dir", QString::fromStdString(boards.dir()), "show", "0"});
        QVERIFY(show.waitForFinished(30000));
        const QString shown = QString::fromUtf8(show.readAllStandardOutput());
        QVERIFY2(shown.contains("  " + mode + ": " + record + "\n"), qPrintable(shown));
    }

    // A fresh board's external memory is zero; the page shows "0 0 " for two.
    void readsAsTheIoPage()
    {
        boards.plug(0, 1, "Board one");
        Result r = run({"read", "External", "--addr", "0x100", "--size", "3"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QStringLiteral("0 0 0 \n"));
        r = run({"read", "External"});
        QCOMPARE(r.out, QStringLiteral("0 \n"));
        r = run({"read", "I2C", "--addr", "0x10", "--size", "2"});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QVERIFY(r.err.startsWith("kousb: I2C read failed: no device answered"));
        QCOMPARE(r.err.count('\n'), 1);
    }

    void refusedOperationGivesTheReason()
    {
        boards.plug(0, 1, "Board one");
        const QByteArray before = contentOf(boards.path(0));
        const QString missing = file("missing.bit");
        Result r = run({"load-fpga", missing});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, "kousb: loading the FPGA from " + missing + " failed: file not found\n");
        QFile::remove(file("bad.hex"));
        QFile bad(file("bad.hex"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write(":00000001FE\n");
        bad.close();
        r = run({"flash-eeprom", file("bad.hex")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("bad checksum"));
        QCOMPARE(contentOf(boards.path(0)), before);
    }

    void setIdWritesTheIdentity()
    {
        boards.plug(0, 1, "Board one");
        const Result r = run({"set-id", "--id", "-12", "--name", "Grüße", "--class", "200"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QString());
        const auto id = identity(0);
        QCOMPARE(id.id, -12);
        QCOMPARE(QString::fromLatin1(id.name.c_str()), QStringLiteral("Grüße"));
        QCOMPARE(int(id.deviceClass), 200);
        QCOMPARE(run({"set-id", "--name", "Only the name"}).exitCode, 0);
        QCOMPARE(identity(0).id, -12);
        QCOMPARE(QString::fromStdString(identity(0).name), QStringLiteral("Only the name"));
    }

    // The dump is a complete image: flashing it back restores the EEPROM,
    // identity included, and dumping again gives the same file.
    void backupAndFlashRoundTrip()
    {
        boards.plug(0, 1, "Board one");
        QCOMPARE(run({"dump-eeprom", file("first.hex")}).exitCode, 0);
        const auto original = boards.read(0).eeprom;
        QCOMPARE(run({"set-id", "--id", "77", "--name", "Changed"}).exitCode, 0);
        const auto changed = boards.read(0).eeprom;

        Result r = run({"flash-eeprom", file("first.hex"), "--backup", file("backup.hex")});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, QString());  // no progress bar: stderr is no terminal
        QVERIFY(boards.read(0).eeprom == original);
        QCOMPARE(identity(0).id, 1);

        QCOMPARE(run({"flash-eeprom", file("backup.hex")}).exitCode, 0);
        QVERIFY(boards.read(0).eeprom == changed);
        QCOMPARE(run({"dump-eeprom", file("again.hex")}).exitCode, 0);
        QFile backup(file("backup.hex")), again(file("again.hex"));
        QVERIFY(backup.open(QIODevice::ReadOnly) && again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), backup.readAll());
    }

    void backupFailureFlashesNothing()
    {
        boards.plug(0, 1, "Board one");
        QCOMPARE(run({"dump-eeprom", file("image.hex")}).exitCode, 0);
        QCOMPARE(run({"set-id", "--id", "5"}).exitCode, 0);
        const QByteArray before = contentOf(boards.path(0));
        const Result r = run({"flash-eeprom", file("image.hex"), "--backup", file("no/such/folder/b.hex")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY(r.err.contains("saving the EEPROM to"));
        QCOMPARE(contentOf(boards.path(0)), before);
    }

    void refusedDumpNamesThePath()
    {
        boards.plug(0, 1, "Board one");
        QVERIFY(QDir().mkdir(file("folder.hex")));
        const Result r = run({"dump-eeprom", file("folder.hex")});
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains(file("folder.hex") + ": Is a directory"), qPrintable(r.err));
        QVERIFY(QFileInfo(file("folder.hex")).isDir());
        QCOMPARE(QDir(file("folder.hex")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden).size(), 0);
    }

    void verificationFailureNamesTheOffset()
    {
        boards.plug(0, 1, "Board one");
        QCOMPARE(run({"set-id", "--id", "300"}).exitCode, 0);
        QCOMPARE(run({"dump-eeprom", file("id300.hex")}).exitCode, 0);
        QCOMPARE(run({"set-id", "--id", "1"}).exitCode, 0);
        // The page holding the ID (0x3F08) is acknowledged but not stored.
        QByteArray text = contentOf(boards.path(0));
        text.append("fault-eeprom-drop 3f08\n");
        QFile::remove(QString::fromStdString(boards.path(0)));
        boards.writeRaw("slot-00.board", text.toStdString());

        const Result r = run({"flash-eeprom", file("id300.hex")});
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.err, QStringLiteral("kousb: flashing the EEPROM from %1 failed: verification failed: the EEPROM "
                                       "reads 0x01 at offset 0x3F08, the image has 0x2C\n")
                            .arg(file("id300.hex")));
        QCOMPARE(identity(0).id, 1);
        QVERIFY(boards.read(0).eepromDropOffset.has_value());
    }

    void benchPrintsOneRowPerBlockSize()
    {
        boards.plug(0, 1, "Board one");
        Result r = run({"bench", "--csv"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err, QString());
        const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 17);
        QCOMPARE(lines[0], QStringLiteral("bytes,write_MBps,read_MBps"));
        for (int n = 1; n <= 16; ++n) {
            const QStringList fields = lines[n].split(',');
            QCOMPARE(fields.size(), 3);
            QCOMPARE(fields[0].toInt(), 4096 * n);
            bool writeOk = false, readOk = false;
            QVERIFY(fields[1].toDouble(&writeOk) > 0 && writeOk);
            QVERIFY(fields[2].toDouble(&readOk) > 0 && readOk);
        }
        r = run({"bench"});
        QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts).size(), 17);
        QVERIFY(r.out.split('\n')[16].trimmed().startsWith("65536 "));
    }

    void watchSeesPlugAndUnplug()
    {
        QProcess watch;
        watch.start(tool(), {"watch"});
        QVERIFY(watch.waitForStarted());
        QByteArray err;
        QTRY_VERIFY_WITH_TIMEOUT((err += watch.readAllStandardError()).contains("watching"), 20000);
        boards.plug(3, 42, "Plugged later");
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += watch.readAllStandardOutput()).contains("\n"), 20000);
        QCOMPARE(out, QByteArray("arrived slot 3: ID 42, \"Plugged later\", class 0, FW 1\n"));
        boards.unplug(3);
        QTRY_VERIFY_WITH_TIMEOUT((out += watch.readAllStandardOutput()).count('\n') == 2, 20000);
        QVERIFY(out.endsWith("removed slot 3: ID 42, \"Plugged later\", class 0, FW 1\n"));
        watch.terminate();
        QVERIFY(watch.waitForFinished(20000));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestKousb)
#include "tst_kousb.moc"
