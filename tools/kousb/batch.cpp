// SPDX-License-Identifier: MIT
#include "batch.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace cli {

namespace {

using Clock = std::chrono::steady_clock;

struct Outcome {
    bool ok = false;
    std::string text;  // the result or the reason
    double seconds = 0;
};

Outcome runOne(const BoardWork& work, const BoardEntry& board, std::size_t index)
{
    const auto start = Clock::now();
    Outcome outcome;
    KoUSBDevice device(board.handle);
    try {
        outcome.text = work({device, board, index, true}).summary;
        outcome.ok = true;
    } catch (const Failure& failure) {
        outcome.text = failure.message.empty() ? "failed" : failure.message;
    } catch (const UsageError& error) {
        outcome.text = error.message;
    } catch (const std::exception& error) {
        outcome.text = error.what();
    }
    outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return outcome;
}

std::string seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string line(const BoardEntry& board, const Outcome& outcome, bool json)
{
    if (json)
        return "{\"place\": " + jsonString(board.place) + ", \"id\": " + std::to_string(board.id)
               + ", \"serial\": " + jsonString(board.serial) + ", \"ok\": " + (outcome.ok ? "true" : "false") + ", "
               + (outcome.ok ? "\"result\": " : "\"error\": ") + jsonString(outcome.text)
               + ", \"seconds\": " + seconds(outcome.seconds) + "}";
    return board.place + "\tID " + std::to_string(board.id) + "\t" + (outcome.ok ? "ok" : "failed")
           + (outcome.text.empty() ? "" : ": " + outcome.text) + "\t" + seconds(outcome.seconds) + " s";
}

}  // namespace

int runOnBoards(const Targets& targets, bool json, const BoardWork& work)
{
    if (!targets.batch && !json) {
        KoUSBDevice device(targets.boards.front().handle);
        std::cout << work({device, targets.boards.front(), 0, false}).output;
        return kExitOk;
    }
    const auto start = Clock::now();
    std::mutex outputMutex;
    std::size_t failures = 0;
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < targets.boards.size(); ++i)
        threads.emplace_back([&, i] {
            const BoardEntry& board = targets.boards[i];
            const Outcome outcome = runOne(work, board, i);
            std::lock_guard<std::mutex> lock(outputMutex);
            failures += outcome.ok ? 0 : 1;
            std::cout << line(board, outcome, json) << std::endl;
        });
    for (std::thread& thread : threads)
        thread.join();
    if (!json)
        std::cout << targets.boards.size() << (targets.boards.size() == 1 ? " board: " : " boards: ")
                  << targets.boards.size() - failures << " done, " << failures << " failed, "
                  << seconds(std::chrono::duration<double>(Clock::now() - start).count()) << " s\n";
    return failures == 0 ? kExitOk : kExitFailed;
}

std::string expandFilePattern(const std::string& pattern, const BoardEntry& board)
{
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const auto field = [&](const char* name, const std::string& value) {
            const std::string key = std::string("{") + name + "}";
            if (pattern.compare(i, key.size(), key) != 0)
                return false;
            out += value;
            i += key.size() - 1;
            return true;
        };
        if (!field("id", std::to_string(board.id)) && !field("place", board.place) && !field("serial", board.serial))
            out += pattern[i];
    }
    return out;
}

void checkFilePattern(const std::string& option, const std::string& pattern, const Targets& targets)
{
    if (!targets.batch)
        return;
    const std::string plain = expandFilePattern(pattern, BoardEntry{});
    if (plain.find('{') != std::string::npos)
        throw UsageError{option + ": a file name pattern knows {id}, {place} and {serial} only"};
    std::set<std::string> names;
    for (const BoardEntry& board : targets.boards)
        if (!names.insert(expandFilePattern(pattern, board)).second)
            throw UsageError{option + ": several boards need a file name pattern that gives each a file of its own ("
                             + (pattern == plain ? "add" : "add more of") + " {id}, {place} or {serial}), not '"
                             + pattern + "'"};
}

std::string boardPrefix(const BoardJob& job) { return job.batch ? job.board.place + ": " : ""; }

}  // namespace cli
