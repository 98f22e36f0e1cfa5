// SPDX-License-Identifier: MIT
#include "doctorchecks.h"

#include "libusb/protocol.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace doctor {

namespace {

using Level = Finding::Level;

Finding ok(const std::string& subject, const std::string& text) { return {Level::Ok, subject, text, {}}; }
Finding note(const std::string& subject, const std::string& text) { return {Level::Note, subject, text, {}}; }
Finding problem(const std::string& subject, const std::string& text, const std::string& fix)
{
    return {Level::Problem, subject, text, fix};
}

std::string octal(unsigned mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%04o", mode & 07777);
    return text;
}

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return text;
}

bool contains(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

// The quoted value after `key` and `op` ("==", "=", ":=", "+=") in a rule
// line, where `key` starts the line or follows a comma or blank; empty when
// the line has none.
std::string valueOf(const std::string& line, const std::string& key, const std::string& op)
{
    for (std::size_t at = line.find(key); at != std::string::npos; at = line.find(key, at + 1)) {
        if (at > 0 && line[at - 1] != ',' && !std::isspace(static_cast<unsigned char>(line[at - 1])))
            continue;
        std::size_t p = at + key.size();
        while (p < line.size() && std::isspace(static_cast<unsigned char>(line[p])))
            ++p;
        if (line.compare(p, op.size(), op) != 0 || (op != "==" && line.compare(p, 2, "==") == 0))
            continue;
        p += op.size();
        while (p < line.size() && std::isspace(static_cast<unsigned char>(line[p])))
            ++p;
        if (p >= line.size() || line[p] != '"')
            continue;
        const std::size_t end = line.find('"', p + 1);
        if (end != std::string::npos)
            return line.substr(p + 1, end - p - 1);
    }
    return {};
}

std::string matchValue(const std::string& line, const char* attribute, const char* property)
{
    for (const std::string& key : {std::string("ATTR{") + attribute + "}", std::string("ATTRS{") + attribute + "}",
                                   std::string("ENV{") + property + "}"})
        if (std::string value = valueOf(line, key, "=="); !value.empty())
            return value;
    return {};
}

std::string assigned(const std::string& line, const std::string& key)
{
    std::string value = valueOf(line, key, "=");
    return value.empty() ? valueOf(line, key, ":=") : value;
}

std::string where(const UdevRule& rule) { return rule.file + ":" + std::to_string(rule.line); }

std::string installCommand(const Installer& installer, bool plugdev)
{
    return "sudo " + installer.path + (plugdev ? " --plugdev" : "")
           + (installer.pairArgument.empty() ? "" : " " + installer.pairArgument);
}

const char* const kReplug = "unplug the board and plug it in again";

}  // namespace

std::string format(const Finding& finding)
{
    const char* level = finding.level == Level::Ok     ? "ok       "
                        : finding.level == Level::Note ? "note     "
                                                       : "PROBLEM  ";
    return level + finding.subject + ": " + finding.text + (finding.fix.empty() ? "" : "; fix: " + finding.fix);
}

bool allUsable(const std::vector<Finding>& findings)
{
    return std::none_of(findings.begin(), findings.end(), [](const Finding& f) { return f.level == Level::Problem; });
}

std::vector<UdevRule> matchingRules(const std::string& file, const std::string& text, std::uint16_t vendorId,
                                    std::uint16_t productId)
{
    char vendor[8], product[8];
    std::snprintf(vendor, sizeof vendor, "%04x", vendorId);
    std::snprintf(product, sizeof product, "%04x", productId);
    std::vector<UdevRule> rules;
    std::istringstream lines(text);
    std::string line, joined;
    int number = 0, first = 0;
    while (std::getline(lines, line)) {
        ++number;
        if (joined.empty())
            first = number;
        if (!line.empty() && line.back() == '\\') {
            joined += line.substr(0, line.size() - 1);
            continue;
        }
        joined += line;
        const std::size_t start = joined.find_first_not_of(" \t");
        const bool comment = start == std::string::npos || joined[start] == '#';
        const std::string rule = comment ? std::string() : joined;
        joined.clear();
        if (comment)
            continue;
        const std::string ruleVendor = lower(matchValue(rule, "idVendor", "ID_VENDOR_ID"));
        const std::string ruleProduct = lower(matchValue(rule, "idProduct", "ID_MODEL_ID"));
        if (ruleVendor != vendor || (!ruleProduct.empty() && ruleProduct != product))
            continue;
        UdevRule found;
        found.file = file;
        found.line = first;
        found.group = assigned(rule, "GROUP");
        found.mode = assigned(rule, "MODE");
        found.uaccess = valueOf(rule, "TAG", "+=") == "uaccess";
        rules.push_back(found);
    }
    return rules;
}

Finding judgeAccess(const std::string& subject, const NodeFacts& node, const std::vector<UdevRule>& rules,
                    const UserFacts& user, const Installer& installer)
{
    if (node.openError == 0)
        return ok(subject, "opens (" + node.path + ")");
    if (node.openError == ENOENT)
        return problem(subject, "its device node " + node.path + " does not exist", "plug the board in again");
    const std::string denied = "cannot be opened: " + std::string(std::strerror(node.openError)) + " on " + node.path
                               + " (" + node.owner + ":" + node.group + ", mode " + octal(node.mode) + ")";
    if (node.openError != EACCES && node.openError != EPERM)
        return problem(subject, denied, kReplug);
    if (rules.empty())
        return problem(subject, denied + "; no udev rule for this device is installed",
                       installCommand(installer, false) + ", then " + kReplug);
    // Later rules override earlier ones, as udev applies them.
    const UdevRule* groupRule = nullptr;
    const UdevRule* seatRule = nullptr;
    for (const UdevRule& rule : rules) {
        if (!rule.group.empty())
            groupRule = &rule;
        if (rule.uaccess)
            seatRule = &rule;
    }
    if (groupRule) {
        const std::string& group = groupRule->group;
        const std::string rule = "the udev rule " + where(*groupRule) + " gives the group " + group + " access";
        if (node.group != group)
            return problem(subject, denied + "; " + rule + ", but the node is not in it yet: the board was plugged in "
                                                           "before the rule was installed",
                           std::string(kReplug) + " (or: sudo udevadm trigger --subsystem-match=usb --action=change)");
        if (!contains(user.accountGroups, group))
            return problem(subject, denied + "; " + rule + ", and " + user.name + " is not in it",
                           "sudo usermod -aG " + group + " " + user.name + ", then log out and in again");
        if (!contains(user.sessionGroups, group))
            return problem(subject, denied + "; " + rule + ", and " + user.name + " joined it after this session began",
                           "log out and in again (or start a shell in the group: newgrp " + group + ")");
        if ((node.mode & 060) != 060)
            return problem(subject, denied + "; " + rule + ", but the node's mode gives the group no read and write",
                           "give the rule MODE=\"0660\" (" + installCommand(installer, true) + "), then " + kReplug);
    }
    if (seatRule && !node.aclGivesUser)
        return problem(subject,
                       denied + "; the udev rule " + where(*seatRule)
                           + " gives access to the user of the machine's active local session (uaccess), and "
                           + user.name + " is not that user here (a remote or background login?)",
                       "log in at the machine, or let a group in: " + installCommand(installer, true)
                           + " && sudo usermod -aG plugdev " + user.name + ", then log in again and " + kReplug);
    return problem(
        subject, denied + "; the udev rules that apply (" + where(rules.back()) + ") give " + user.name + " no access",
        installCommand(installer, false) + ", then " + kReplug);
}

Finding judgeDriver(const std::string& subject, const std::string& driver, const std::string& place, int configuration,
                    bool autoDetach)
{
    const std::string interface = place + ":" + std::to_string(configuration) + ".0";
    const std::string unbind = "echo -n " + interface + " | sudo tee /sys/bus/usb/drivers/" + driver + "/unbind";
    if (autoDetach)
        return note(subject, "the kernel driver " + driver + " holds interface 0; libusb's auto-detach takes it off "
                                 "while kousb or the window works on the board and gives it back after (to unbind it "
                                 "for good: "
                                 + unbind + ")");
    return problem(subject, "the kernel driver " + driver + " holds interface 0, and libusb here cannot take it off",
                   unbind);
}

Finding judgeFirmware(const std::string& subject, const kousb::usb::FirmwareProbe& firmware)
{
    using Kind = kousb::usb::FirmwareProbe::Kind;
    const std::string version = std::to_string(firmware.major) + "." + std::to_string(firmware.minor);
    switch (firmware.kind) {
    case Kind::BootState:
        return note(subject, "no firmware: the controller is in its boot state (kousb load-controller loads ours)");
    case Kind::Ours: return ok(subject, "runs our firmware, protocol " + version);
    case Kind::OtherProtocol:
        return problem(subject,
                       "runs our firmware of protocol " + version + "; this kousb speaks protocol "
                           + std::to_string(kousb::usb::protocol::kSupportedMajor),
                       "kousb load-controller (loads the firmware that comes with this kousb)");
    case Kind::Other:
        return note(subject,
                    "runs a firmware that is not ours (it refuses our version request); kousb "
                    "load-controller loads ours");
    case Kind::Silent:
        return problem(subject, "does not answer our version request: its firmware hangs",
                       std::string(kReplug)
                           + "; when the firmware it boots from its EEPROM hangs at every start, see "
                             "docs/recovery.md");
    case Kind::Gone: return problem(subject, "left the bus while being asked", "plug the board in again");
    }
    return note(subject, "unknown");
}

Finding judgeRulesInstalled(const std::string& pair, const std::vector<UdevRule>& rules, const Installer& installer)
{
    const std::string subject = "udev rule " + pair;
    if (rules.empty())
        return note(subject, "none installed: only root can open such boards; to let users in: "
                                 + installCommand(installer, false));
    std::string text;
    for (const UdevRule& rule : rules)
        text +=
            (text.empty() ? "" : ", ") + where(rule) + (rule.uaccess ? " (the user at the machine)" : "")
            + (rule.group.empty() ? ""
                                  : " (group " + rule.group + (rule.mode.empty() ? "" : ", mode " + rule.mode) + ")");
    return ok(subject, text);
}

std::vector<Finding> judgeSimFolder(const SimFolderFacts& folder)
{
    const std::string subject = "simulated boards";
    const std::string named = folder.dir + " (from " + folder.source + ")";
    if (!folder.exists)
        return {ok(subject, named + " does not exist yet: no simulated boards (kousb-sim plug makes it)")};
    const std::string facts = named + ", owner " + folder.owner + ", mode " + octal(folder.mode);
    if (!folder.problem.empty()) {
        std::string fix = "rm -r " + folder.dir + ", or set KOUSB_SIM_DIR to a folder of your own";
        if (!folder.ownedByUser)
            fix = "export KOUSB_SIM_DIR=\"$XDG_RUNTIME_DIR/kousb-sim\" (a folder of your own)";
        else if (folder.mode & 022)
            fix = "chmod go-w " + folder.dir;
        return {problem(subject, facts + ": " + folder.problem, fix)};
    }
    const std::size_t count = folder.boards.size();
    std::vector<Finding> findings{
        ok(subject, facts + ", " + std::to_string(count) + (count == 1 ? " board" : " boards"))};
    for (const SimBoardFacts& board : folder.boards) {
        const std::string slot = std::to_string(board.slot);
        const std::string place = "sim-" + slot;
        const std::string who = "ID " + std::to_string(board.id) + " \"" + board.name + "\"";
        if (!board.fileProblem.empty())
            findings.push_back(problem(place, board.file + " is not used: " + board.fileProblem,
                                       "kousb-sim unplug " + slot + ", or remove " + board.file));
        else if (!board.stateProblem.empty())
            findings.push_back(problem(place, who + ": its state " + board.stateFile + " " + board.stateProblem,
                                       "rm " + board.stateFile + " (the board powers on afresh)"));
        else if (!board.listed)
            findings.push_back(problem(place, who + ": the library does not serve it (its reason is above)",
                                       "kousb-sim unplug " + slot + " && kousb-sim replug " + slot));
        else
            findings.push_back(ok(place, who + ": usable"));
    }
    return findings;
}

}  // namespace doctor
