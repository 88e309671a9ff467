#pragma once
// What the code under test read from and wrote to the settings store, in order.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace probe {

// An empty store and empty logs.
void reset();
// Puts a value into the store.
void store(const std::string& name, uint32_t value);
// The value names read, in order.
std::vector<std::string> reads();
// The values written, in order.
std::vector<std::pair<std::string, uint32_t>> writes();

}  // namespace probe
