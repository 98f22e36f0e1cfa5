// SPDX-License-Identifier: MIT
// A board pulled out in the middle of work: during an EEPROM flash, during a
// benchmark run and between IO calls. The window stays up, says what
// happened, and its list follows.
#include "devicechangewatch.h"
#include "firmwarefiles.h"
#include "deviceguard.h"
#include "mainform.h"
#include "KoUSBLib.h"
#include "simboards.h"

#include <QDir>
#include <QStatusBar>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

// An Intel HEX image that fills the whole 16 KiB EEPROM with `fill`, so that
// a flash of it takes a few hundred page writes.
QByteArray fullImage(char fill)
{
    QMap<unsigned, QByteArray> chunks;
    chunks[0] = QByteArray(16 * 1024, fill);
    return firmwarefiles::intelHex(chunks);
}

// Unplugs `slot` from another thread once `ready` says the work has begun.
std::thread unplugWhen(SimBoards& boards, int slot, std::function<bool()> ready)
{
    return std::thread([&boards, slot, ready]() {
        for (int i = 0; i < 5000 && !ready(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        boards.unplug(slot);
    });
}

}  // namespace

class TestUnplugFaults : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;

    static QString status(MainForm& form) { return form.statusbar->currentMessage(); }

private slots:
    void cleanup()
    {
        boards.unplugAll();
        SimBoards::sync();
    }

    void unpluggedDuringTheFlash()
    {
        boards.plug(0, 1, "flashing");
        boards.plug(1, 2, "bystander");
        MainForm form;
        DeviceChangeWatch watch(GetDeviceChangeDescriptor(), [&]() { form.handleDeviceChange(); });
        form.actionExpertMode->trigger();
        const QString image = files.filePath("full.hex");
        QFile file(image);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fullImage('\x5A'));
        file.close();
        form.eepromFileLineEdit->setText(image);

        // Runs inside the flash's own event loop, once the worker is going.
        std::atomic<bool> flashing{false};
        QTimer::singleShot(0, [&]() { flashing = form.deviceGuard()->isBusy(); });
        std::thread puller = unplugWhen(boards, 0, [&]() { return flashing.load(); });
        form.flashEEPROM();
        puller.join();

        QVERIFY(form.flashProgressBar->isHidden());
        QVERIFY2(status(form).endsWith("failed: board unplugged"), qPrintable(status(form)));
        QTRY_COMPARE(form.devListTree->topLevelItemCount(), 1);
        QCOMPARE(form.devListTree->topLevelItem(0)->text(1), QStringLiteral("bystander"));
        QVERIFY(!QFile::exists(QString::fromStdString(boards.path(0))));  // not brought back by the flash
        // The other board was never touched.
        QCOMPARE(boards.read(1).eeprom[0], 0xFF);
    }

    void unpluggedDuringTheBenchmark()
    {
        boards.plug(0, 1, "measured");
        MainForm form;
        DeviceChangeWatch watch(GetDeviceChangeDescriptor(), [&]() { form.handleDeviceChange(); });
        std::atomic<bool> running{false};
        // The board goes while the run's worker uses it.
        std::thread puller = unplugWhen(boards, 0, [&]() { return running.load(); });
        running = true;
        form.runBenchmark();
        puller.join();

        QVERIFY2(status(form).startsWith("Benchmark stopped at pass"), qPrintable(status(form)));
        QVERIFY(status(form).contains("board unplugged"));
        QCOMPARE(form.rateLabel->text(), QStringLiteral("n/a kHz"));
        // The removal, put off during the run, was handled at its end, before
        // the run's message was shown.
        QCOMPARE(form.devListTree->topLevelItemCount(), 0);
        QVERIFY(form.infoWindow->toPlainText().isEmpty());
    }

    void unpluggedBetweenIoCalls()
    {
        boards.plug(0, 1, "io");
        MainForm form;
        form.modeComboBox->setCurrentText("External");
        form.writeDataLine->setText("1 2 3");
        QTest::mouseClick(form.writeBtn, Qt::LeftButton);
        const QString before = status(form);
        QTest::mouseClick(form.readBtn, Qt::LeftButton);
        QCOMPARE(form.readDataLine->text(), QStringLiteral("1 2 3 "));
        QCOMPARE(status(form), before);

        boards.unplug(0);  // the window has not heard of it yet
        QTest::mouseClick(form.readBtn, Qt::LeftButton);
        QVERIFY(form.readDataLine->text().isEmpty());
        QCOMPARE(status(form), QStringLiteral("External read failed: board unplugged"));
        QTest::mouseClick(form.writeBtn, Qt::LeftButton);
        QCOMPARE(status(form), QStringLiteral("External write failed: board unplugged"));

        form.handleDeviceChange();
        QCOMPARE(form.devListTree->topLevelItemCount(), 0);
        QTest::mouseClick(form.readBtn, Qt::LeftButton);
        QCOMPARE(status(form), QStringLiteral("External read failed: no board selected"));
    }
};

QTEST_MAIN(TestUnplugFaults)
#include "tst_unplugfaults.moc"
