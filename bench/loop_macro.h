// The benchmark loop of the macro language: x = x + i*3 (16-bit) and a
// compare, a million times in two nested DO loops; the same work as the Lua
// loop in peers_bench.  Shared by the interpreter and debugger benchmarks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qmt::bench {

inline const std::vector<std::string> kLoopMacro = {
    "x=0",
    "DO 1000",
    "DO 1000",
    "x=x+(@0)*3",
    "IF x>30000 THEN x=x-1",
    "@0=(@0)+(-1)",
    "WHILE @0>0",
    "@0=(@0)+(-1)",
    "WHILE @0>0",
    "EXIT",
};
inline constexpr std::int64_t kLoopIterations = 1000 * 1000;

}  // namespace qmt::bench
