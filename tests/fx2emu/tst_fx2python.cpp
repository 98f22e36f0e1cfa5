// SPDX-License-Identifier: MIT
// The Python module once on the emulated controller: a board in its boot
// state on the emulated bus, and Debian's pytest running
// tests/python/emulated_board.py in a process that sees that bus.
#include "fx2emufixture.h"

#include <QtTest>

class TestFx2Python : public QObject {
    Q_OBJECT

    std::unique_ptr<EmulatedBus> m_bus;
    std::shared_ptr<Fx2Emulator> m_chip;

private slots:
    void initTestCase()
    {
        m_bus = fx2emu::startBus();
        if (!m_bus)
            return;
        m_chip = std::make_shared<Fx2Emulator>(fx2emu::tools(), EmulatedBoard::Kind::Fpga, Fx2Emulator::Speed::High);
        m_bus->plug(1, m_chip);
        QVERIFY(fx2emu::waitForBoard(1, "04b4:8613") >= 0);
    }

    void cleanupTestCase() { fx2emu::stopBus(m_bus); }

    void pytestOnTheBus()
    {
        // The Python process lists the board itself; the simulated ones stay out.
        qputenv("KOUSB_SIM_DIR", "/nonexistent/kousb-sim");
        const ToolResult r =
            fx2emu::runOnBus(*m_bus, qEnvironmentVariable("UDM_PYTHON"),
                             {"-m", "pytest", "-q", "-p", "no:cacheprovider", qEnvironmentVariable("UDM_PYTHON_TEST")});
        QVERIFY2(r.exitCode == 0, qPrintable(r.out + r.err));
        const QString faults = fx2emu::takeFaults(*m_chip);
        QVERIFY2(faults.isEmpty(), qPrintable("the emulated controller saw:\n" + faults));
    }
};

QTEST_GUILESS_MAIN(TestFx2Python)
#include "tst_fx2python.moc"
