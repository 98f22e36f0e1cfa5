// SPDX-License-Identifier: MIT
// The Intel HEX reader: the files that tools write, and the ways a file is refused.
#include "firmwarefiles.h"
#include "formats/intelhex.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using kousb::ErrorCode;
using kousb::formats::HexImage;

namespace {

using firmwarefiles::hexRecord;
const QByteArray kEnd = ":00000001FF";  // a literal: globals of other files may not be built yet

kousb::Status parse(const QByteArray& text, HexImage& image, std::size_t memory = 16 * 1024)
{
    // An exact copy, so a read past the end is a read past the allocation.
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    return kousb::formats::parseIntelHex(bytes.data(), bytes.size(), memory, image);
}

QByteArray bytesAt(const HexImage& image, std::size_t address, int n)
{
    QByteArray out;
    for (int i = 0; i < n; ++i) {
        if (!image.present.at(address + i))
            return "absent at " + QByteArray::number(qulonglong(address + i));
        out.append(char(image.bytes.at(address + i)));
    }
    return out;
}

}  // namespace

class TestIntelHex : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString write(const QString& name, const QByteArray& content)
    {
        return firmwarefiles::writeFile(dir.filePath(name), content);
    }

private slots:
    void objcopyOutputWithCrlf()
    {
        // What `objcopy -I binary -O ihex` wrote for a 40-byte file.
        const QByteArray text =
            ":100000004B6F55534220626F6F7420746573742078\r\n"
            ":10001000696D6167652C20343020627974657320C6\r\n"
            ":080020006C6F6E672E2E21218A\r\n"
            ":00000001FF\r\n";
        HexImage image;
        const kousb::Status s = parse(text, image);
        QVERIFY2(s.isOk(), s.message().c_str());
        QCOMPARE(image.byteCount, std::size_t(40));
        QCOMPARE(image.endAddress, std::size_t(40));
        QCOMPARE(bytesAt(image, 0, 40), QByteArray("KoUSB boot test image, 40 bytes long..!!"));
        QVERIFY(!image.present.at(40));
        QCOMPARE(int(image.bytes.at(40)), 0xFF);
        QCOMPARE(image.bytes.size(), std::size_t(16 * 1024));
    }

    void srecCatStyleWithLinearAddressRecords()
    {
        // srec_cat -intel starts with a type 04 record, and lower-case digits are fine too.
        const QByteArray text = ":020000040000FA\n" + hexRecord(0, 0x0100, "abc").toLower() + "\n" + kEnd + "\n";
        HexImage image;
        QVERIFY(parse(text, image).isOk());
        QCOMPARE(bytesAt(image, 0x100, 3), QByteArray("abc"));

        // A non-zero base places data above 64 KiB.
        const QByteArray high =
            hexRecord(4, 0, QByteArray::fromHex("0001")) + "\n" + hexRecord(0, 0x0010, "xy") + "\n" + kEnd + "\n";
        HexImage big;
        const kousb::Status s = parse(high, big, 128 * 1024);
        QVERIFY2(s.isOk(), s.message().c_str());
        QCOMPARE(bytesAt(big, 0x10010, 2), QByteArray("xy"));
    }

    void segmentAndStartRecords()
    {
        // objcopy's output for an image at 0x10000: a segment record, then CS:IP.
        const QByteArray text =
            ":020000021000EC\n"
            ":080020006C6F6E672E2E21218A\n"
            ":0400000310000000E9\n"
            ":0400000500000000F7\n"
            ":00000001FF\n";
        HexImage image;
        const kousb::Status s = parse(text, image, 128 * 1024);
        QVERIFY2(s.isOk(), s.message().c_str());
        QCOMPARE(bytesAt(image, 0x10020, 8), QByteArray("long..!!"));
        QCOMPARE(image.byteCount, std::size_t(8));
    }

    void sdccStyleOutOfOrder()
    {
        // SDCC's .ihx: types 00 and 01 only, records not in address order.
        const QByteArray text = hexRecord(0, 0x005F, QByteArray::fromHex("C0FFEE")) + "\n"
                                + hexRecord(0, 0x0003, QByteArray::fromHex("020100")) + "\n"
                                + hexRecord(0, 0x0000, QByteArray::fromHex("02")) + "\n" + kEnd + "\n";
        HexImage image;
        QVERIFY(parse(text, image).isOk());
        QCOMPARE(bytesAt(image, 0x5F, 3), QByteArray::fromHex("C0FFEE"));
        QCOMPARE(bytesAt(image, 0x03, 3), QByteArray::fromHex("020100"));
        QCOMPARE(bytesAt(image, 0x00, 1), QByteArray::fromHex("02"));
        QVERIFY(!image.present.at(1));
        QCOMPARE(image.byteCount, std::size_t(7));
        QCOMPARE(image.endAddress, std::size_t(0x62));
    }

    void tolerated()
    {
        // Empty lines, the same byte given twice, no line end after the end
        // record, and anything at all after it.
        const QByteArray text = "\n" + hexRecord(0, 0x10, "ab") + "\r\n\r\n" + hexRecord(0, 0x11, "b") + "\n" + kEnd
                                + "\nthis is not HEX but comes after the end";
        HexImage image;
        const kousb::Status s = parse(text, image);
        QVERIFY2(s.isOk(), s.message().c_str());
        QCOMPARE(bytesAt(image, 0x10, 2), QByteArray("ab"));
        QCOMPARE(image.byteCount, std::size_t(2));

        HexImage endOnly;
        QVERIFY(parse(kEnd, endOnly).isOk());
        QCOMPARE(endOnly.byteCount, std::size_t(0));
        QCOMPARE(endOnly.endAddress, std::size_t(0));

        // Data right up to the last byte of the memory.
        HexImage full;
        QVERIFY(parse(hexRecord(0, 0x3FFE, "zz") + "\n" + kEnd, full).isOk());
        QCOMPARE(full.endAddress, std::size_t(0x4000));
    }

    void refused_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("reason");
        const QByteArray good = hexRecord(0, 0, "hello") + "\n";
        QTest::newRow("no colon") << good + "100000004B\n" + kEnd << "line 2: does not start with ':'";
        QTest::newRow("leading space") << " " + good + kEnd << "line 1: does not start with ':'";
        QTest::newRow("odd digits") << good + ":0100000041BE0\n" + kEnd << "line 2: odd number of hex digits";
        QTest::newRow("non-hex digit") << ":0100000G41BE\n" + kEnd << "line 1: not a hex digit: 'G' at column 9";
        QTest::newRow("trailing space") << good.left(good.size() - 1) + " \n" + kEnd
                                        << "line 1: odd number of hex digits";
        QTest::newRow("too short") << ":00000001\n" + kEnd << "line 1: record too short (4 bytes)";
        QTest::newRow("length byte too big")
            << ":0300000041BC\n" + kEnd << "line 1: length byte says 3 data bytes, the line holds 1";
        QTest::newRow("length byte too small")
            << ":0000000041BF\n" + kEnd << "line 1: length byte says 0 data bytes, the line holds 1";
        QTest::newRow("bad checksum") << good + good + ":0100000041BF\n" + kEnd << "line 3: bad checksum";
        QTest::newRow("unknown type") << good + hexRecord(6, 0, "") + "\n" + kEnd << "line 2: unknown record type 0x06";
        QTest::newRow("end record with data") << hexRecord(1, 0, "x") + "\n"
                                              << "line 1: end-of-file record with data";
        QTest::newRow("address record length")
            << hexRecord(4, 0, "x") + "\n" + kEnd << "line 1: address record of 1 bytes (2 expected)";
        QTest::newRow("start record length")
            << hexRecord(5, 0, "xy") + "\n" + kEnd << "line 1: start address record of 2 bytes (4 expected)";
        QTest::newRow("past the memory") << hexRecord(0, 0x3FFF, "ab") + "\n" + kEnd
                                         << "line 1: data at 0x4000 beyond the 16384-byte memory";
        QTest::newRow("past the memory by a base")
            << hexRecord(4, 0, QByteArray::fromHex("0001")) + "\n" + hexRecord(0, 0, "a") + "\n" + kEnd
            << "line 2: data at 0x10000 beyond the 16384-byte memory";
        QTest::newRow("past the memory by a segment")
            << hexRecord(2, 0, QByteArray::fromHex("0400")) + "\n" + hexRecord(0, 0, "a") + "\n" + kEnd
            << "line 2: data at 0x4000 beyond the 16384-byte memory";
        QTest::newRow("overlap with other bytes")
            << hexRecord(0, 0x10, "abcd") + "\n" + hexRecord(0, 0x12, "cX") + "\n" + kEnd
            << "line 2: overlaps earlier data at 0x0013 with a different byte";
        QTest::newRow("no end record") << good + good << "no end-of-file record";
        QTest::newRow("empty file") << QByteArray() << "no end-of-file record";
        QTest::newRow("cut in the middle") << good.left(8) << "line 1: odd number of hex digits";
    }

    void refused()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, reason);
        HexImage image;
        image.byteCount = 1234;  // untouched on failure
        const kousb::Status s = parse(text, image);
        QCOMPARE(s.code(), ErrorCode::BadFile);
        QCOMPARE(QString::fromStdString(s.detail()), reason);
        QCOMPARE(QString::fromStdString(s.message()), "file refused: " + reason);
        QCOMPARE(image.byteCount, std::size_t(1234));
    }

    void fromFiles()
    {
        HexImage image;
        const QString good = write("good.hex", hexRecord(0, 2, "ok") + "\r\n" + kEnd + "\r\n");
        QVERIFY(kousb::formats::readIntelHexFile(QFile::encodeName(good).toStdString(), 16384, image).isOk());
        QCOMPARE(bytesAt(image, 2, 2), QByteArray("ok"));

        const kousb::Status missing = kousb::formats::readIntelHexFile(
            QFile::encodeName(dir.filePath("missing.hex")).toStdString(), 16384, image);
        QCOMPARE(missing.code(), ErrorCode::FileNotFound);
        QCOMPARE(QString::fromStdString(missing.message()), QStringLiteral("file not found"));

        const kousb::Status folder =
            kousb::formats::readIntelHexFile(QFile::encodeName(dir.path()).toStdString(), 16384, image);
        QCOMPARE(folder.code(), ErrorCode::FileUnreadable);

        const kousb::Status device = kousb::formats::readIntelHexFile("/dev/zero", 16384, image);
        QCOMPARE(QString::fromStdString(device.message()), QStringLiteral("file cannot be read: not a regular file"));

        // A name outside Latin-1 in the platform's encoding.
        const QString named = write(QString::fromUtf8("образ-μ.hex"), hexRecord(0, 0, "u") + "\n" + kEnd);
        QVERIFY(kousb::formats::readIntelHexFile(QFile::encodeName(named).toStdString(), 16384, image).isOk());
    }

    void hugeFileRefusedUnread()
    {
        // A sparse file of 1 GiB: refused on its size; reading it would take
        // seconds and a gigabyte of memory.
        QFile file(dir.filePath("huge.hex"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(qint64(1) << 30));
        file.close();
        HexImage image;
        const kousb::Status s =
            kousb::formats::readIntelHexFile(QFile::encodeName(file.fileName()).toStdString(), 16384, image);
        QCOMPARE(s.code(), ErrorCode::BadFile);
        QVERIFY2(QString::fromStdString(s.detail()).startsWith("file too large (1073741824 bytes, at most "),
                 s.message().c_str());
        QCOMPARE(kousb::formats::maxHexFileBytes(16384), std::size_t(16 * 16384 + 65536));
    }
};

QTEST_GUILESS_MAIN(TestIntelHex)
#include "tst_intelhex.moc"
