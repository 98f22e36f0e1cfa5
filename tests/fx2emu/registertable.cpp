// SPDX-License-Identifier: MIT
#include "registertable.h"

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

Fx2Register::Kind kindOf(const std::string& word)
{
    if (word == "xreg")
        return Fx2Register::Kind::Xdata;
    if (word == "sfr")
        return Fx2Register::Kind::Sfr;
    if (word == "xbuf")
        return Fx2Register::Kind::Buffer;
    throw std::invalid_argument("kind " + word);
}

Fx2Register::Access accessOf(const std::string& word)
{
    if (word == "rw")
        return Fx2Register::Access::ReadWrite;
    if (word == "r")
        return Fx2Register::Access::ReadOnly;
    if (word == "w")
        return Fx2Register::Access::WriteOnly;
    if (word == "w1c")
        return Fx2Register::Access::WriteOneToClear;
    throw std::invalid_argument("access " + word);
}

}  // namespace

RegisterTable::RegisterTable(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read the register table " + path);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        line = line.substr(0, line.find('#'));
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.empty())
            continue;
        try {
            if (w.size() != 5 && w.size() != 13)
                throw std::invalid_argument(std::to_string(w.size()) + " fields");
            Fx2Register r;
            r.kind = kindOf(w[0]);
            r.address = std::uint16_t(std::stoul(w[1], nullptr, 16));
            r.name = w[2];
            r.size = std::stoul(w[3]);
            r.access = accessOf(w[4]);
            for (std::size_t i = 5; i < w.size(); ++i)
                if (w[i] != ".")
                    r.bits[12 - i] = w[i];  // listed from bit 7 down
            m_registers[r.name] = r;
        } catch (const std::exception& e) {
            throw std::runtime_error(path + ":" + std::to_string(number) + ": cannot read the row (" + e.what() + ")");
        }
    }
}

const Fx2Register& RegisterTable::reg(const std::string& name) const
{
    auto it = m_registers.find(name);
    if (it == m_registers.end())
        throw std::runtime_error("the register table has no " + name);
    return it->second;
}

std::uint8_t RegisterTable::bit(const std::string& name, const std::string& bit) const
{
    const Fx2Register& r = reg(name);
    for (int n = 0; n < 8; ++n)
        if (r.bits[std::size_t(n)] == bit)
            return std::uint8_t(1u << n);
    throw std::runtime_error("the register table has no bit " + bit + " in " + name);
}
