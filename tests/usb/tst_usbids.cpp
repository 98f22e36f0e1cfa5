// SPDX-License-Identifier: MIT
// The vendor:product list of KOUSB_USB_IDS, a device's place, and how
// transfer faults and the board's error codes become the library's reasons.
#include "libusb/protocol.h"
#include "libusb/transferstatus.h"
#include "libusb/usbids.h"

#include <QtTest>

using namespace kousb::usb;

Q_DECLARE_METATYPE(TransferError)

class TestUsbIds : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("ids");  // parsed pairs, "vvvv:pppp" joined by spaces
        QTest::addColumn<bool>("ok");
        QTest::newRow("two") << "1234:5678,04b4:1004"
                             << "1234:5678 04b4:1004" << true;
        QTest::newRow("spaces and empty entries") << " 04B4:8613 ,, abcd:EF01 ,"
                                                  << "04b4:8613 abcd:ef01" << true;
        QTest::newRow("short digits") << "1:2"
                                      << "0001:0002" << true;
        QTest::newRow("empty") << ""
                               << "" << true;
        QTest::newRow("bad entry kept out, good kept") << "1234:5678,zz:10,4:5"
                                                       << "1234:5678 0004:0005" << false;
        QTest::newRow("no colon") << "12345678"
                                  << "" << false;
        QTest::newRow("too long") << "12345:1"
                                  << "" << false;
        QTest::newRow("missing product") << "1234:"
                                         << "" << false;
    }
    void parse()
    {
        QFETCH(QString, text);
        std::vector<UsbId> ids;
        std::string error;
        QTEST(parseUsbIds(text.toStdString(), ids, error), "ok");
        QStringList got;
        for (const UsbId& id : ids)
            got << QString::asprintf("%04x:%04x", id.vendor, id.product);
        QTEST(got.join(' '), "ids");
        QFETCH(bool, ok);
        QCOMPARE(error.empty(), ok);
    }

    // Linux names a USB device by its bus and the hub ports from the root
    // (/sys/bus/usb/devices/1-2.3); a root hub is usbN.
    void place_data()
    {
        QTest::addColumn<int>("bus");
        QTest::addColumn<QByteArray>("ports");
        QTest::addColumn<QString>("place");
        QTest::newRow("root port") << 1 << QByteArray("\x02") << "1-2";
        QTest::newRow("behind two hubs") << 3 << QByteArray("\x01\x04\x0b") << "3-1.4.11";
        QTest::newRow("root hub") << 2 << QByteArray() << "usb2";
    }
    void place()
    {
        QFETCH(int, bus);
        QFETCH(QByteArray, ports);
        QTEST(QString::fromStdString(usbPlace(bus, std::vector<std::uint8_t>(ports.begin(), ports.end()))), "place");
    }

    void defaultsHoldTheBootState()
    {
        const auto ids = defaultUsbIds();
        QVERIFY(std::find(ids.begin(), ids.end(), UsbId{0x04B4, 0x8613}) != ids.end());
    }

    void transferFaults_data()
    {
        QTest::addColumn<TransferError>("error");
        QTest::addColumn<QString>("message");
        QTest::newRow("gone") << TransferError::NoDevice << "board unplugged";
        QTest::newRow("timeout") << TransferError::Timeout << "timed out: ReadBlock on endpoint 0x86";
        QTest::newRow("stall") << TransferError::Stall
                               << "transfer failed: ReadBlock on endpoint 0x86: the board stalled it";
        QTest::newRow("access") << TransferError::Access << QString("access denied: ") + kUdevAdvice;
        QTest::newRow("overflow") << TransferError::Overflow
                                  << "transfer failed: ReadBlock on endpoint 0x86: the board sent more than asked";
        QTest::newRow("busy") << TransferError::Busy
                              << "not ready: ReadBlock on endpoint 0x86: another program holds the board";
        QTest::newRow("other") << TransferError::Other
                               << "transfer failed: ReadBlock on endpoint 0x86: LIBUSB_ERROR_IO";
    }
    void transferFaults()
    {
        QFETCH(TransferError, error);
        const kousb::Status s =
            transferStatus({error, 0, "LIBUSB_ERROR_IO"}, "ReadBlock on endpoint " + endpointName(0x86));
        QVERIFY(!s.isOk());
        QTEST(QString::fromStdString(s.message()), "message");
    }

    void boardErrors_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        using namespace protocol;
        QTest::newRow("unknown") << int(kErrUnknownRequest)
                                 << "not supported by this board: this board's firmware does not support SPI";
        QTest::newRow("argument") << int(kErrBadArgument) << "invalid argument: SPI: the board refused the arguments";
        QTest::newRow("nack") << int(kErrNoAcknowledge) << "no device answered: SPI";
        QTest::newRow("range") << int(kErrOutOfRange) << "address out of range: SPI";
        QTest::newRow("busy") << int(kErrBusy) << "timed out: SPI: the board was busy";
        QTest::newRow("fault") << int(kErrDevice) << "transfer failed: SPI: the board reported a device fault";
        QTest::newRow("unknown code") << 99 << "transfer failed: SPI: the board reported error 99";
    }
    void boardErrors()
    {
        QFETCH(int, code);
        QTEST(QString::fromStdString(boardErrorStatus(std::uint8_t(code), "SPI").message()), "message");
    }
};

QTEST_GUILESS_MAIN(TestUsbIds)
#include "tst_usbids.moc"
