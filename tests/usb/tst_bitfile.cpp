// SPDX-License-Identifier: MIT
// The Xilinx .bit header reader and the part comparison.
#include "firmwarefiles.h"
#include "formats/bitfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using kousb::ErrorCode;
using kousb::formats::BitHeader;

namespace {

using firmwarefiles::bitFile;

QByteArray be(quint64 value, int bytes) { return firmwarefiles::bigEndian(value, bytes); }

QByteArray field(char key, const QByteArray& text) { return firmwarefiles::bitField(key, text); }

const QByteArray kPreamble = QByteArray::fromHex("00090FF00FF00FF00FF0000001");

QByteArray bitstream(int length) { return bitFile("x", length).right(length); }

kousb::Status parse(const QByteArray& file, BitHeader& header)
{
    std::vector<std::uint8_t> bytes(file.begin(), file.end());  // exact size: no slack to read into
    return kousb::formats::parseBitHeader(bytes.data(), bytes.size(), bytes.size(), header);
}

}  // namespace

class TestBitFile : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void goodHeader()
    {
        const QByteArray file = bitFile();
        BitHeader header;
        const kousb::Status s = parse(file, header);
        QVERIFY2(s.isOk(), s.message().c_str());
        QCOMPARE(QString::fromStdString(header.design), QStringLiteral("demo.ncd;UserID=0xFFFFFFFF"));
        QCOMPARE(QString::fromStdString(header.part), QStringLiteral("3s500efg320"));
        QCOMPARE(QString::fromStdString(header.date), QStringLiteral("2011/05/27"));
        QCOMPARE(QString::fromStdString(header.time), QStringLiteral("14:38:41"));
        QCOMPARE(header.bitstreamLength, quint64(64));
        QCOMPARE(header.bitstreamOffset, quint64(file.size() - 64));
        QCOMPARE(file.mid(int(header.bitstreamOffset), 8), QByteArray::fromHex("FFFFFFFFAA995566"));
        QCOMPARE(QString::fromStdString(kousb::formats::bitDesignName(header.design)), QStringLiteral("demo.ncd"));
        QCOMPARE(QString::fromStdString(kousb::formats::bitDesignName("plain")), QStringLiteral("plain"));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("reason");
        const QByteArray good = bitFile();
        const int eAt = good.size() - 64 - 5;  // where the key 'e' sits
        QByteArray badPreamble = good;
        badPreamble[3] = 0x0E;
        QTest::newRow("bad preamble") << badPreamble << "not a Xilinx .bit file (bad preamble)";
        QTest::newRow("shorter than the preamble") << good.left(7) << "not a Xilinx .bit file (bad preamble)";
        QTest::newRow("empty") << QByteArray() << "not a Xilinx .bit file (bad preamble)";
        QTest::newRow("keys out of order") << kPreamble + field('b', "3s500efg320") + field('a', "demo.ncd")
                                                  + field('c', "x") + field('d', "y") + 'e' + be(4, 4) + bitstream(4)
                                           << "expected field 'a' at offset 13, found 'b'";
        QTest::newRow("unknown key") << kPreamble + field('a', "demo.ncd") + field('z', "3s500e") + field('c', "x")
                                            + field('d', "y") + 'e' + be(4, 4) + bitstream(4)
                                     << "expected field 'b' at offset 25, found 'z'";
        QByteArray badE = good;
        badE[eAt] = 0x01;
        QTest::newRow("bad key e") << badE << "expected field 'e' at offset " + QString::number(eAt) + ", found 0x01";
        QTest::newRow("length past the end") << kPreamble + 'a' + be(200, 2) + "demo"
                                             << "field 'a' says 200 bytes, only 4 left";
        QTest::newRow("zero length") << kPreamble + 'a' + be(0, 2) + field('b', "x")
                                     << "field 'a' is empty (not even its NUL)";
        QTest::newRow("missing NUL") << kPreamble + 'a' + be(4, 2) + "demo" + field('b', "3s500e")
                                     << "field 'a' is not NUL-terminated";
        QTest::newRow("inner NUL") << kPreamble + 'a' + be(5, 2) + QByteArray("de\0o", 4) + '\0'
                                   << "field 'a' holds a control character or an inner NUL";
        QTest::newRow("newline in the name")
            << kPreamble + field('a', "de\nmo") << "field 'a' holds a control character or an inner NUL";
        QTest::newRow("empty design") << kPreamble + field('a', "") << "field 'a' (design name) is empty";
        QTest::newRow("empty part") << kPreamble + field('a', "d") + field('b', "") << "field 'b' (part name) is empty";
        QTest::newRow("cut after a field") << kPreamble + field('a', "demo.ncd") << "truncated before field 'b'";
        QTest::newRow("cut in a length") << kPreamble + field('a', "demo.ncd") + "b" + char(0)
                                         << "truncated in the length of field 'b'";
        QTest::newRow("cut in the e length") << good.left(eAt + 3) << "truncated in the length of field 'e'";
        QTest::newRow("truncated bitstream")
            << good.left(good.size() - 10) << "truncated: the bitstream has 64 bytes, the file holds 54";
        QTest::newRow("trailing junk") << good + "JUNK"
                                       << "trailing junk: 4 bytes after the bitstream";
        QTest::newRow("empty bitstream") << good.left(eAt) + 'e' + be(0, 4) << "empty bitstream";
    }

    void refused()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, reason);
        BitHeader header;
        header.part = "untouched";
        const kousb::Status s = parse(file, header);
        QCOMPARE(s.code(), ErrorCode::BadFile);
        QCOMPARE(QString::fromStdString(s.detail()), reason);
        QCOMPARE(QString::fromStdString(header.part), QStringLiteral("untouched"));
    }

    void parts_data()
    {
        QTest::addColumn<QString>("filePart");
        QTest::addColumn<QString>("boardPart");
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("matches");
        QTest::newRow("package and pins") << "3s500efg320"
                                          << "3s500e"
                                          << "3s500e" << true;
        QTest::newRow("xc and speed grade") << "xc3s500e-4fg320"
                                            << "3s500e"
                                            << "3s500e" << true;
        QTest::newRow("package after a dash") << "XC3S500E-FG320-4"
                                              << "3s500e"
                                              << "3s500e" << true;
        QTest::newRow("bare device") << "3s500e"
                                     << "3s500e"
                                     << "3s500e" << true;
        QTest::newRow("lead-free package") << "3s500efgg400"
                                           << "3s500e"
                                           << "3s500e" << true;
        QTest::newRow("other size") << "3s1200efg320"
                                    << "3s500e"
                                    << "3s1200e" << false;
        QTest::newRow("other family") << "3s500fg320"
                                      << "3s500e"
                                      << "3s500" << false;
        QTest::newRow("suffix letter is no package") << "3s500efg320"
                                                     << "3s500"
                                                     << "3s500e" << false;
        QTest::newRow("Spartan-6") << "6slx9tqg144"
                                   << "6slx9"
                                   << "6slx9" << true;
        QTest::newRow("Artix-7") << "7a35tcpg236"
                                 << "xc7a35t"
                                 << "7a35t" << true;
        QTest::newRow("Kintex-7") << "7k325tffg900"
                                  << "7k325t"
                                  << "7k325t" << true;
        QTest::newRow("not a part") << "hello world"
                                    << "3s500e"
                                    << "" << false;
        QTest::newRow("empty") << ""
                               << ""
                               << "" << false;
    }

    void parts()
    {
        QFETCH(QString, filePart);
        QFETCH(QString, boardPart);
        QFETCH(QString, device);
        QFETCH(bool, matches);
        QCOMPARE(QString::fromStdString(kousb::formats::fpgaDevice(filePart.toStdString())), device);
        QCOMPARE(kousb::formats::fpgaPartMatches(filePart.toStdString(), boardPart.toStdString()), matches);
    }

    void fromFiles()
    {
        QFile file(dir.filePath("design.bit"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bitFile("3s500efg320", 300000));
        file.close();
        BitHeader header;
        const kousb::Status s = kousb::formats::readBitFile(QFile::encodeName(file.fileName()).toStdString(), header);
        QVERIFY2(s.isOk(), s.message().c_str());
        QCOMPARE(header.bitstreamLength, quint64(300000));

        const kousb::Status missing =
            kousb::formats::readBitFile(QFile::encodeName(dir.filePath("none.bit")).toStdString(), header);
        QCOMPARE(missing.code(), ErrorCode::FileNotFound);
    }

    void hugeFileRefusedUnread()
    {
        // A good header claiming a 1 GiB bitstream, made sparse.
        const quint64 bits = quint64(1) << 30;
        QByteArray head = bitFile();
        head.chop(64 + 4);
        head += be(bits, 4);
        QFile file(dir.filePath("huge.bit"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(head);
        QVERIFY(file.resize(head.size() + qint64(bits)));
        file.close();
        BitHeader header;
        const kousb::Status s = kousb::formats::readBitFile(QFile::encodeName(file.fileName()).toStdString(), header);
        QCOMPARE(s.code(), ErrorCode::BadFile);
        QVERIFY2(QString::fromStdString(s.detail()).startsWith("file too large ("), s.message().c_str());
    }
};

QTEST_GUILESS_MAIN(TestBitFile)
#include "tst_bitfile.moc"
