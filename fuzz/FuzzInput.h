// The bytes of a fuzz input read as a stream of choices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct FuzzInput {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    // Up to 11 bytes as they stand.
    std::string word() {
        size_t n = byte() % 12;
        std::string s;
        for (size_t i = 0; i < n && pos < size; i++) s += static_cast<char>(data[pos++]);
        return s;
    }
    int32_t int32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return static_cast<int32_t>(v);
    }
    // Mostly small values, sometimes any 32-bit value.
    int32_t number() {
        uint8_t kind = byte();
        if (kind < 160) return static_cast<int32_t>(static_cast<int8_t>(byte())) * (kind % 8 + 1);
        if (kind < 220) return (static_cast<int32_t>(byte()) << 8 | byte()) - 4096;
        return int32();
    }
};
