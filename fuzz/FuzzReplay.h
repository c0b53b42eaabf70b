#pragma once

// Runs a fuzz target's body over every file of its regression folder
// (fuzz/regressions/<target>/), so the normal suite replays the inputs that
// once broke a property, or that cover a case worth keeping, without clang.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

inline void ReplayFuzzRegressions(const std::string& target, void (*body)(const uint8_t*, size_t))
{
    const std::filesystem::path folder = std::filesystem::path(STATION_FUZZ_REGRESSIONS) / target;
    ASSERT_TRUE(std::filesystem::is_directory(folder)) << folder;
    std::vector<std::filesystem::path> inputs;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.is_regular_file())
            inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    ASSERT_FALSE(inputs.empty()) << "no regression inputs in " << folder;
    for (const auto& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        ASSERT_TRUE(file) << input;
        const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
        // A broken property aborts the test program; this line names the input.
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", input.c_str(), bytes.size());
        body(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
}
