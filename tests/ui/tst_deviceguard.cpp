// SPDX-License-Identifier: MIT
// The device guard: what it disables, what it gives back, and that a page
// enabled meanwhile does not undo it.
#include "deviceguard.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

class TestDeviceGuard : public QObject {
    Q_OBJECT

private slots:
    void oneFlashAtATime()
    {
        DeviceGuard guard;
        QSignalSpy busy(&guard, &DeviceGuard::busyChanged);
        QVERIFY(guard.allowsDeviceCalls());
        QVERIFY(guard.begin());
        QVERIFY(guard.isBusy());
        QVERIFY(!guard.allowsDeviceCalls());
        QVERIFY(!guard.begin());  // a second flash is refused
        guard.end();
        QVERIFY(!guard.isBusy());
        QVERIFY(guard.allowsDeviceCalls());
        guard.end();  // no flash: nothing happens
        QCOMPARE(busy.count(), 2);
        QCOMPARE(busy.at(0).at(0).toBool(), true);
        QCOMPARE(busy.at(1).at(0).toBool(), false);
    }

    void controlsAreDisabledThemselves()
    {
        QWidget page;
        auto* flash = new QPushButton(&page);
        auto* offAlready = new QPushButton(&page);
        auto* unguarded = new QPushButton(&page);
        offAlready->setEnabled(false);
        DeviceGuard guard;
        guard.addDeviceControl(flash);
        guard.addDeviceControl(offAlready);

        QVERIFY(guard.begin());
        QVERIFY(!flash->isEnabled());
        QVERIFY(!offAlready->isEnabled());
        QVERIFY(unguarded->isEnabled());

        // The page switched off and on again (expert mode): the control stays off.
        page.setEnabled(false);
        page.setEnabled(true);
        QVERIFY(!flash->isEnabled());
        QVERIFY(unguarded->isEnabled());

        guard.end();
        QVERIFY(flash->isEnabled());
        QVERIFY(!offAlready->isEnabled());  // its own state, as before the flash
    }

    void pageDisabledDuringTheFlashStaysDisabled()
    {
        QWidget page;
        auto* flash = new QPushButton(&page);
        DeviceGuard guard;
        guard.addDeviceControl(flash);
        QVERIFY(guard.begin());
        page.setEnabled(false);  // expert mode switched off meanwhile
        guard.end();
        QVERIFY(!flash->isEnabled());
        page.setEnabled(true);
        QVERIFY(flash->isEnabled());
    }

    void controlAddedOrGoneDuringAFlash()
    {
        DeviceGuard guard;
        auto* gone = new QPushButton;
        guard.addDeviceControl(gone);
        QVERIFY(guard.begin());
        QPushButton late;
        guard.addDeviceControl(&late);
        QVERIFY(!late.isEnabled());
        delete gone;
        guard.end();
        QVERIFY(late.isEnabled());
    }
};

QTEST_MAIN(TestDeviceGuard)
#include "tst_deviceguard.moc"
