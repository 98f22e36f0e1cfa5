// SPDX-License-Identifier: MIT
#pragma once
// kousb doctor's judgements: from facts gathered elsewhere (doctorfacts.h,
// usbprobe.h) to findings, one line each, with a fix for every problem.
// Pure: no file, no device, no clock.
#include "libusb/firmwareprobe.h"

#include <cstdint>
#include <string>
#include <vector>

namespace doctor {

struct Finding {
    enum class Level { Ok, Note, Problem };
    Level level = Level::Ok;
    std::string subject;  // what it is about: "usb 1-2 04b4:1004", "simulated boards"
    std::string text;
    std::string fix;  // what to run or do; empty when there is nothing to do
};

// One line: "ok       SUBJECT: TEXT", "note     ...", "PROBLEM  ...", and
// "; fix: FIX" when there is one.
std::string format(const Finding& finding);
// True when no finding is a problem.
bool allUsable(const std::vector<Finding>& findings);

// A line of a udev rules file that applies to a device.
struct UdevRule {
    std::string file;
    int line = 0;
    std::string group;  // GROUP="..."; empty: none
    std::string mode;   // MODE="..."; empty: none
    bool uaccess = false;
};
// The lines of the rules file `text` (named `file`) that apply to
// vendor:product: ATTR{idVendor} or ATTRS{idVendor} == the vendor in
// hexadecimal, and idProduct likewise or not named at all. Comments are
// skipped and lines continued with a backslash joined, as udev reads them.
std::vector<UdevRule> matchingRules(const std::string& file, const std::string& text, std::uint16_t vendorId,
                                    std::uint16_t productId);

struct UserFacts {
    std::string name;
    bool root = false;
    std::vector<std::string> sessionGroups;  // the groups this process runs with
    std::vector<std::string> accountGroups;  // the groups the account has now (a new one shows here first)
};

struct NodeFacts {
    std::string path;
    int openError = 0;  // errno of opening it for reading and writing; 0: it opened
    std::string owner;
    std::string group;
    unsigned mode = 0;
    bool aclGivesUser = false;  // an ACL entry gives this user read and write, as uaccess does
};

// How the udev rule installer is run for a device: its path, and the
// vendor:product argument it needs for a pair that is not one of ours.
struct Installer {
    std::string path;
    std::string pairArgument;
};

// Whether the device node opens, and if not, why and what fixes it: the
// rules that apply (`rules`, in the order udev applies them), the group they
// name and the user's membership in it (now and in this session), the seat
// ACL that uaccess sets.
Finding judgeAccess(const std::string& subject, const NodeFacts& node, const std::vector<UdevRule>& rules,
                    const UserFacts& user, const Installer& installer);

// A kernel driver bound to interface 0 of the device at `place` in
// configuration `configuration`: a note when libusb takes it off by itself
// (`autoDetach`), else a problem; both with the command that unbinds it.
Finding judgeDriver(const std::string& subject, const std::string& driver, const std::string& place, int configuration,
                    bool autoDetach);

// What runs on the device.
Finding judgeFirmware(const std::string& subject, const kousb::usb::FirmwareProbe& firmware);

// The udev rules installed for one of our pairs (none: a note, since boards
// then open for root only).
Finding judgeRulesInstalled(const std::string& pair, const std::vector<UdevRule>& rules, const Installer& installer);

struct SimBoardFacts {
    int slot = 0;
    std::string file;
    std::string fileProblem;  // why the board file is not used; empty when it is
    bool listed = false;      // the library serves the board
    std::int32_t id = 0;
    std::string name;
    std::string stateFile;
    std::string stateProblem;  // why its state file cannot be used; empty when it can
};

struct SimFolderFacts {
    std::string dir;
    std::string source;  // which setting named it: "KOUSB_SIM_DIR", ...
    bool exists = false;
    std::string owner;
    unsigned mode = 0;
    bool ownedByUser = true;
    std::string problem;  // the library's verdict on the folder; empty when usable
    std::vector<SimBoardFacts> boards;
};

// The simulated boards' folder (whose, its mode, whether usable) and each board in it.
std::vector<Finding> judgeSimFolder(const SimFolderFacts& folder);

}  // namespace doctor
