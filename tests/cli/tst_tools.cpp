// SPDX-License-Identifier: MIT
// kousb and kousb-sim as a script on a lab server runs them, on a folder of
// simulated boards of its own: plug, list, write and read back in two modes,
// set the identity, and refuse bad usage with exit code 2.
// Usage: tst_tools KOUSB KOUSB_SIM
#include "check.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Result {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

std::string quoted(const std::string& text)
{
    std::string q = "'";
    for (char c : text)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Result run(const std::string& program, const std::vector<std::string>& args)
{
    std::string command = quoted(program);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    Result result;
    FILE* pipe = ::popen((command + " 2>&1 </dev/null").c_str(), "r");
    if (!pipe)
        return result;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        result.output.append(chunk, n);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: tst_tools KOUSB KOUSB_SIM\n");
        return 2;
    }
    const std::string kousb = argv[1], sim = argv[2];
    char folder[] = "/tmp/tst_tools-XXXXXX";
    if (!::mkdtemp(folder)) {
        std::perror("tst_tools: mkdtemp");
        return 1;
    }
    ::setenv("KOUSB_SIM_DIR", folder, 1);
    ::setenv("KOUSB_USB_BACKEND", "off", 1);

    Result r = run(sim, {"plug", "--id", "7", "--name", "Lab A", "--class", "3"});
    CHECK_EQUAL(r.exitCode, 0);
    r = run(kousb, {"list"});
    CHECK_EQUAL(r.exitCode, 0);
    CHECK(contains(r.output, "0\t7\tLab A\t3\t"), r.output);

    // Two modes: each write reaches the board as the IO page sends it (the
    // board records it), and a later process reads what an earlier one wrote:
    // the board keeps its state between calls as a real one does.
    struct Mode {
        std::vector<std::string> write;
        const char* recorded;
        std::vector<std::string> read;
        int readExit;
        const char* readOutput;
    };
    const Mode modes[] = {
        {{"write", "External", "--addr", "16", "1", "-1", "300"},
         "  External: 3 bytes: 01 ff 2c\n",
         {"read", "External", "--addr", "16", "--size", "3"},
         0,
         "1 255 44 \n"},
        {{"write", "i2c", "--hex", "--addr", "0x51", "3f", "0x08"},
         "  I2C: 2 bytes: 3f 08\n",
         {"read", "I2C", "--addr", "0x10", "--size", "2"},
         1,
         "kousb: I2C read failed: no device answered"},
    };
    for (const Mode& mode : modes) {
        r = run(kousb, mode.write);
        CHECK_EQUAL(r.exitCode, 0);
        r = run(sim, {"show", "0"});
        CHECK(contains(r.output, mode.recorded), r.output);
        r = run(kousb, mode.read);
        CHECK_EQUAL(r.exitCode, mode.readExit);
        CHECK(r.output.rfind(mode.readOutput, 0) == 0, r.output);
    }

    CHECK_EQUAL(run(kousb, {"set-id", "--id", "12", "--name",
                            "Gr\xC3\xBC\xC3\x9F"
                            "e"})
                    .exitCode,
                0);
    r = run(kousb, {"list"});
    CHECK(contains(r.output,
                   "0\t12\tGr\xC3\xBC\xC3\x9F"
                   "e\t3\t"),
          r.output);

    // Bad usage touches nothing and exits 2 with the reason.
    const std::vector<std::vector<std::string>> refused = {
        {"set-id", "--id", "12abc"}, {"read", "Command"}, {"write", "EEPROM", "1"}, {"frobnicate"}};
    for (const auto& args : refused) {
        r = run(kousb, args);
        CHECK_EQUAL(r.exitCode, 2);
        CHECK(contains(r.output, "usage: kousb"), r.output);
    }
    CHECK(contains(run(kousb, {"set-id", "--id", "12abc"}).output, "the ID \"12abc\" is not a decimal integer"), "");
    CHECK_EQUAL(run(sim, {"plug", "--slot", "x"}).exitCode, 2);
    r = run(kousb, {"list"});
    CHECK(contains(r.output, "0\t12\t"), r.output);

    // A newline written into the name field stays on its line of either list.
    CHECK_EQUAL(run(kousb, {"write", "I2C", "--addr", "81", "63", "12", "65", "10", "66"}).exitCode, 0);
    for (const std::string& tool : {kousb, sim}) {
        r = run(tool, {"list"});
        CHECK(contains(r.output,
                       "0\t12\tA\\x0AB\xC3\x9F"
                       "e\t3\t"),
              r.output);
    }

    run(sim, {"unplug", "0"});
    const std::string cleanup = "rm -rf " + quoted(folder);
    if (std::system(cleanup.c_str()) != 0)
        std::fprintf(stderr, "tst_tools: could not remove %s\n", folder);
    return check::result();
}
