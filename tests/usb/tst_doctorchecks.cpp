// SPDX-License-Identifier: MIT
// kousb doctor's judgements, fed facts: udev rule lines as udev(7) reads
// them (== matches, = and := assign, += adds, # comments, a backslash
// continues a line), Linux's refusals of a device node (EACCES) and how
// group membership takes effect (at the next login); then kousb doctor run
// as a user runs it on a folder of simulated boards.
#include "doctorchecks.h"
#include "simboards.h"
#include "toolprocess.h"

#include <QFile>
#include <QtTest>

#include <cerrno>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using doctor::Finding;

namespace {

// The udev rule the packages install.
QByteArray shippedRules()
{
    QFile file(UDM_SOURCE_DIR "/packaging/70-kousb.rules");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

class TestDoctorChecks : public QObject {
    Q_OBJECT

    SimBoards boards;
    static QString tool() { return qEnvironmentVariable("KOUSB_TOOL"); }

private slots:
    void rulesThatApply_data()
    {
        QTest::addColumn<QByteArray>("rules");
        QTest::addColumn<int>("product");
        QTest::addColumn<QStringList>("found");  // per matching line: "LINE group MODE uaccess"
        auto row = [](const char* name, const QByteArray& rules, int product, const QStringList& found) {
            QTest::newRow(name) << rules << product << found;
        };
        row("the rule we ship", shippedRules(), 0x1004, {"9 - - uaccess"});
        row("ATTRS, upper-case hex, a group",
            "SUBSYSTEM==\"usb\", ATTRS{idVendor}==\"04B4\", ATTRS{idProduct}==\"1004\", GROUP=\"plugdev\", "
            "MODE=\"0660\"\n",
            0x1004, {"1 plugdev 0660 -"});
        row("every product of the vendor",
            "# all of them\nSUBSYSTEM==\"usb\", ATTR{idVendor}==\"04b4\", MODE:=\"0666\"\n", 0x8613, {"2 - 0666 -"});
        row("another product", "ATTR{idVendor}==\"04b4\", ATTR{idProduct}==\"8613\", TAG+=\"uaccess\"\n", 0x1004, {});
        row("a continued line", "\nATTR{idVendor}==\"04b4\", \\\n  ATTR{idProduct}==\"1004\", GROUP=\"dialout\"\n",
            0x1004, {"2 dialout - -"});
        row("GROUP compared, not set", "ATTR{idVendor}==\"04b4\", GROUP==\"users\", TAG+=\"uaccess\"\n", 0x1004,
            {"1 - - uaccess"});
    }
    void rulesThatApply()
    {
        QFETCH(QByteArray, rules);
        QFETCH(int, product);
        QFETCH(QStringList, found);
        QStringList lines;
        for (const doctor::UdevRule& r :
             doctor::matchingRules("x.rules", rules.toStdString(), 0x04B4, std::uint16_t(product)))
            lines << QString("%1 %2 %3 %4")
                         .arg(r.line)
                         .arg(r.group.empty() ? "-" : QString::fromStdString(r.group))
                         .arg(r.mode.empty() ? "-" : QString::fromStdString(r.mode))
                         .arg(r.uaccess ? "uaccess" : "-");
        QCOMPARE(lines, found);
    }

    // A node of root's, opened by alice; `rule` is the group a rule names, or "uaccess".
    void access_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("nodeGroup");
        QTest::addColumn<QString>("rule");    // "": no rule applies
        QTest::addColumn<QString>("groups");  // alice's, this session / her account's now
        QTest::addColumn<QString>("pair");    // the installer's argument for a pair not ours
        QTest::addColumn<QString>("text");    // "ok"/"PROBLEM", then a part of the finding
        QTest::addColumn<QString>("fix");
        auto row = [](const char* name, int error, const char* nodeGroup, const char* rule, const char* groups,
                      const char* pair, const char* text, const char* fix) {
            QTest::newRow(name) << error << QString(nodeGroup) << QString(rule) << QString(groups) << QString(pair)
                                << QString(text) << QString(fix);
        };
        const char* const plugdev = "plugdev/plugdev";
        row("opens", 0, "root", "", plugdev, "", "ok: opens", "");
        row("no rule", EACCES, "root", "", plugdev, "",
            "PROBLEM: Permission denied on /dev/bus/usb/001/007 (root:root, mode 0660); no udev rule",
            "sudo /usr/share/kousb/install-udev-rule.sh, then unplug");
        row("no rule for a pair of KOUSB_USB_IDS", EACCES, "root", "", plugdev, "1234:5678", "PROBLEM: no udev rule",
            "sudo /usr/share/kousb/install-udev-rule.sh 1234:5678");
        row("rule newer than the node", EACCES, "root", "plugdev", plugdev, "", "PROBLEM: plugged in before the rule",
            "udevadm trigger");
        row("not in the group", EACCES, "plugdev", "plugdev", "/", "", "PROBLEM: alice is not in it",
            "sudo usermod -aG plugdev alice, then log out and in again");
        row("joined after this login", EACCES, "plugdev", "plugdev", "/plugdev", "",
            "PROBLEM: joined it after this session began", "newgrp plugdev");
        row("uaccess, not at the seat", EACCES, "root", "uaccess", plugdev, "",
            "PROBLEM: (uaccess), and alice is not that user here",
            "sudo /usr/share/kousb/install-udev-rule.sh --plugdev && sudo usermod -aG plugdev alice");
        row("node gone", ENOENT, "root", "", plugdev, "", "PROBLEM: does not exist", "plug the board in again");
    }
    void access()
    {
        QFETCH(int, error);
        QFETCH(QString, nodeGroup);
        QFETCH(QString, rule);
        QFETCH(QString, groups);
        QFETCH(QString, pair);
        QFETCH(QString, text);
        QFETCH(QString, fix);
        const doctor::NodeFacts node{"/dev/bus/usb/001/007", error, "root", nodeGroup.toStdString(), 0660, false};
        std::vector<doctor::UdevRule> rules;
        if (!rule.isEmpty())
            rules.push_back({"/etc/udev/rules.d/70-kousb.rules", 3, rule == "uaccess" ? "" : rule.toStdString(),
                             rule == "uaccess" ? "" : "0660", rule == "uaccess"});
        doctor::UserFacts user{"alice", false, {"alice"}, {"alice"}};
        if (!groups.section('/', 0, 0).isEmpty())
            user.sessionGroups.push_back(groups.section('/', 0, 0).toStdString());
        if (!groups.section('/', 1).isEmpty())
            user.accountGroups.push_back(groups.section('/', 1).toStdString());
        const Finding f = doctor::judgeAccess("usb 1-2 04b4:1004", node, rules, user,
                                              {"/usr/share/kousb/install-udev-rule.sh", pair.toStdString()});
        const QString line = QString::fromStdString(doctor::format(f));
        const QString level = text.section(": ", 0, 0);
        QVERIFY2(line.startsWith(level.leftJustified(9) + "usb 1-2 04b4:1004: "), qPrintable(line));
        QVERIFY2(QString::fromStdString(f.text).contains(text.section(": ", 1)), qPrintable(line));
        QVERIFY2(QString::fromStdString(f.fix).contains(fix) && (fix.isEmpty() == f.fix.empty()), qPrintable(line));
        QCOMPARE(doctor::allUsable({f}), level == "ok");
    }

    // kousb doctor on the simulated boards' folder: the folder's owner and
    // mode, each board and its state file; exit 1 on any problem.
    void simulatedBoards_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("line");  // a whole line of the output, {dir} for the folder
        QTest::newRow("a good folder") << "" << 0 << "ok       sim-2: ID 3 \"Doctor board\": usable";
        QTest::newRow("others may write to it")
            << "chmod" << 1
            << "PROBLEM  simulated boards: {dir} (from KOUSB_SIM_DIR), owner {user}, mode 0777: the board folder {dir} "
               "can be written by other users; make it yours alone (chmod go-w {dir}), or set KOUSB_SIM_DIR to a "
               "folder of your own; fix: chmod go-w {dir}";
        QTest::newRow("another user's folder") << "chown folder" << 1 << "fix: export KOUSB_SIM_DIR=";
        QTest::newRow("another user's state file") << "chown state" << 1 << "fix: rm {dir}/powered/slot-02.state";
    }
    void simulatedBoards()
    {
        QFETCH(QString, change);
        QFETCH(int, exitCode);
        QFETCH(QString, line);
        const passwd* nobody = ::getpwnam("nobody");
        if (change.startsWith("chown") && (::geteuid() != 0 || !nobody))
            QSKIP("needs root, to give a file to another user");
        boards.plug(2, 3, "Doctor board");
        QCOMPARE(runTool(tool(), {"list"}).exitCode, 0);  // powers the board: its state file is made
        const QByteArray dir = QByteArray::fromStdString(boards.dir());
        if (change == "chmod")
            QVERIFY(::chmod(dir, 0777) == 0);
        if (change == "chown folder")
            QVERIFY(::chown(dir, nobody->pw_uid, nobody->pw_gid) == 0);
        if (change == "chown state")
            QVERIFY(::chown(dir + "/powered/slot-02.state", nobody->pw_uid, nobody->pw_gid) == 0);
        const ToolResult r = runTool(tool(), {"doctor"});
        QVERIFY(::chmod(dir, 0700) == 0 && ::chown(dir, ::geteuid(), ::getegid()) == 0);
        boards.unplugAll();
        const QString want = QString(line)
                                 .replace("{dir}", dir)
                                 .replace("{user}", QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name));
        QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(r.out.contains(want), qPrintable(r.out + "\nwanted: " + want));
        QVERIFY2(r.out.startsWith("note     usb: real boards left out"), qPrintable(r.out));
    }
};

QTEST_GUILESS_MAIN(TestDoctorChecks)
#include "tst_doctorchecks.moc"
