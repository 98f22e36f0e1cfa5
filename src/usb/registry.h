// SPDX-License-Identifier: MIT
#pragma once
#include "board.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace kousb {

// A board in its slot, with the lock that serialises calls on it.
struct AttachedBoard {
    explicit AttachedBoard(std::shared_ptr<Board> b) : board(std::move(b)) {}
    std::mutex callMutex;
    std::shared_ptr<Board> board;

    // Runs `op` on the board as one call: under the call lock, between the
    // board's beginCall and endCall.
    template <typename Op>
    auto call(Op&& op)
    {
        std::lock_guard<std::mutex> lock(callMutex);
        struct Scope {
            Board& b;
            explicit Scope(Board& board) : b(board) { b.beginCall(); }
            ~Scope() { b.endCall(); }
        } scope(*board);
        return op(*board);
    }
};

// The numbered slots that the free functions read. Device handles are tokens
// that are never reused, so a handle outlives its board harmlessly: resolving
// it just fails. Thread-safe; the registry's own lock is never held while a
// board is called.
class Registry {
public:
    using Token = std::uint64_t;  // 0 means no board
    static constexpr int kMinSlots = 16;
    static constexpr int kMaxSlots = 256;

    // Puts `board` in `slot` (which must be free and below kMaxSlots), or in
    // the lowest free slot for -1. Returns 0 if there is no such slot.
    Token attach(std::shared_ptr<Board> board, int slot = -1);
    void detach(Token token);

    // At least kMinSlots; more while a board sits in a higher slot.
    int slotCount() const;
    Token tokenAt(int slot) const;
    int slotOf(Token token) const;  // -1 if gone
    std::shared_ptr<AttachedBoard> resolve(Token token) const;

    // Occupied slots and their tokens, in slot order.
    std::vector<std::pair<int, Token>> snapshot() const;

private:
    mutable std::mutex m_mutex;
    std::vector<Token> m_slots;  // index: slot
    std::map<Token, std::shared_ptr<AttachedBoard>> m_boards;
    Token m_nextToken = 1;
};

}  // namespace kousb
