// SPDX-License-Identifier: MIT
// Device changes during an EEPROM flash, on the Linux descriptor path: the
// watch pauses while the flash runs (the descriptor is level-triggered, so a
// handler that only put the change off would be woken again and again), the
// change is handled once after the flash, and the descriptor's notifier does
// not fire while the flash runs (a busy GUI thread would).
#include "KoUSBLib.h"
#include "devicechangewatch.h"
#include "eeprombackups.h"
#include "eepromlayout.h"
#include "firmwarefiles.h"
#include "deviceguard.h"
#include "mainform.h"
#include "myqapplication.h"
#include "simboards.h"

#include <QSocketNotifier>
#include <QStatusBar>
#include <QtTest>

namespace {

// " (backup: FILE)" for the newest EEPROM backup, as the status bar names it after a flash.
QString newestBackup()
{
    const std::vector<backups::Backup> all = backups::list(backups::folder());
    return all.empty() ? QString() : " (backup: " + QString::fromStdString(all.back().path) + ")";
}

// Counts the wake-ups of every notifier on the device-change descriptor: a
// watch that is not paused but only ignores the readable descriptor is woken
// by each pass of the event loop.
class DescriptorWakeups : public QObject {
public:
    DescriptorWakeups() { QCoreApplication::instance()->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::SockAct)
            if (auto* notifier = qobject_cast<QSocketNotifier*>(watched))
                count += notifier->socket() == GetDeviceChangeDescriptor();
        return false;
    }
};

// Intel HEX for a whole EEPROM (256 pages, a little over a second to flash)
// whose identity block names the board `name` with ID `id`.
QByteArray fullImage(int id, const std::string& name)
{
    std::vector<std::uint8_t> image(kousb::eeprom::kSize, 0x5A);
    kousb::eeprom::writeId(image, id);
    kousb::eeprom::writeName(image, name);
    QMap<unsigned, QByteArray> chunks;
    chunks[0] = QByteArray(reinterpret_cast<const char*>(image.data()), int(image.size()));
    return firmwarefiles::intelHex(chunks);
}

}  // namespace

class TestFlashDeviceChange : public QObject {
    Q_OBJECT

    SimBoards boards;
    QTemporaryDir files;

    QString image(const QString& name, int id, const std::string& boardName)
    {
        return firmwarefiles::writeFile(files.filePath(name), fullImage(id, boardName));
    }

    // Runs a flash of `path`, plugging a second board in while it runs.
    // Returns how often the descriptor woke a notifier during the flash.
    int flashWhilePlugging(MainForm& form, const QString& path, int& rowsDuring)
    {
        form.eepromFileLineEdit->setText(path);
        QTimer::singleShot(200, [&]() {
            boards.plug(1, 2, "second");
            QTest::qWait(100);  // the descriptor is readable now, and nobody drains it
            rowsDuring = form.devListTree->topLevelItemCount();
        });
        DescriptorWakeups wakeups;
        form.flashEEPROM();
        return wakeups.count;
    }

private slots:
    void cleanup()
    {
        boards.unplugAll();
        SimBoards::sync();
    }

    void watchPausesDuringTheFlash()
    {
        boards.plug(0, 1, "first");
        MainForm form;
        form.actionExpertMode->trigger();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        int calls = 0;
        int callsDuringFlash = 0;
        DeviceChangeWatch watch(GetDeviceChangeDescriptor(), [&]() {
            ++calls;
            if (form.deviceGuard()->isBusy())
                ++callsDuringFlash;
            form.handleDeviceChange();
        });
        QVERIFY(watch.isWatching());
        // The same wiring as MyQApplication's.
        connect(form.deviceGuard(), &DeviceGuard::busyChanged, this, [&](bool busy) { watch.setPaused(busy); });

        int rowsDuring = -1;
        const QString path = image("full.hex", 9, "Reflashed");
        const int wakeups = flashWhilePlugging(form, path, rowsDuring);

        QCOMPARE(callsDuringFlash, 0);
        QCOMPARE(rowsDuring, 1);
        // Handled once the flash ended, before its result was shown.
        QCOMPARE(form.devListTree->topLevelItemCount(), 2);
        QCOMPARE(form.statusbar->currentMessage(),
                 "EEPROM flashed from " + path + newestBackup() + "; the board is now Reflashed with ID 9");
        // The image rewrote the identity block, and the list shows it.
        QCOMPARE(form.devListTree->topLevelItem(0)->text(0), QStringLiteral("9"));
        QCOMPARE(form.devListTree->topLevelItem(0)->text(1), QStringLiteral("Reflashed"));
        // The paused notifier slept through the plug (the one wake-up is the
        // resumed watch's, after the flash).
        QVERIFY2(wakeups <= 1, qPrintable(QString::number(wakeups)));

        // The descriptor was drained: the resumed watch stays quiet.
        const int settled = calls;
        QTest::qWait(200);
        QCOMPARE(calls, settled);
    }

    void applicationPausesItsWatch()
    {
        auto* app = static_cast<MyQApplication*>(QCoreApplication::instance());
        boards.plug(0, 1, "first");
        MainForm form;
        form.actionExpertMode->trigger();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        app->mainForm = &form;
        QVERIFY(app->registerDeviceNotification());

        int rowsDuring = -1;
        const QString path = image("again.hex", 3, "Via the app");
        const int wakeups = flashWhilePlugging(form, path, rowsDuring);
        app->mainForm = nullptr;

        QCOMPARE(rowsDuring, 1);
        QCOMPARE(form.devListTree->topLevelItemCount(), 2);
        QCOMPARE(form.devListTree->topLevelItem(0)->text(1), QStringLiteral("Via the app"));
        QCOMPARE(form.statusbar->currentMessage(),
                 "EEPROM flashed from " + path + newestBackup() + "; the board is now Via the app with ID 3");
        QVERIFY2(wakeups <= 1, qPrintable(QString::number(wakeups)));
    }

    void refusedImageLeavesTheBoardFileAsItWas()
    {
        boards.plug(0, 1, "first");
        MainForm form;
        form.actionExpertMode->trigger();
        const QString boardFile = QString::fromStdString(boards.path(0));
        const QByteArray before = firmwarefiles::readFile(boardFile);
        QByteArray text = fullImage(4, "never");
        text.replace(text.indexOf('\n', 2000) - 2, 2, "00");  // spoil one checksum, deep in the file
        const QString path = firmwarefiles::writeFile(files.filePath("bad.hex"), text);
        const int badLine = text.left(text.indexOf('\n', 2000)).count('\n') + 1;
        form.eepromFileLineEdit->setText(path);
        form.flashEEPROM();
        QCOMPARE(form.statusbar->currentMessage(), "Flashing the EEPROM from " + path + " failed: file refused: line "
                                                       + QString::number(badLine) + ": bad checksum");
        QCOMPARE(firmwarefiles::readFile(boardFile), before);
        QCOMPARE(form.devListTree->topLevelItem(0)->text(1), QStringLiteral("first"));
    }
};

// MyQApplication is the application object here, as in the program.
int main(int argc, char** argv)
{
    MyQApplication app(argc, argv);
    TestFlashDeviceChange test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_flashdevicechange.moc"
