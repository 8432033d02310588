// Every input a fuzzer found (tests/fuzz/regressions/<target>/) and the target's seed corpus
// (fuzz/corpus/<target>/), run through the fuzz target's own entry point. The target checks its
// invariants itself and aborts on a fault; an input that hangs runs into the test's time-out.
// Built once per fuzz target, which names its folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// The suites carry the target's name; the macros paste their arguments unexpanded.
#define CRUMBLE_TEST(suite, name) TEST(suite, name)
#define CRUMBLE_INSTANTIATE(prefix, suite, values, names)                                          \
    INSTANTIATE_TEST_SUITE_P(prefix, suite, values, names)

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> FilesIn(const fs::path& folder) {
    std::vector<fs::path> files;
    if (fs::is_directory(folder))
        for (const fs::directory_entry& entry : fs::directory_iterator(folder))
            if (entry.is_regular_file() && entry.path().filename().string()[0] != '.')
                files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

void RunInput(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    ASSERT_TRUE(in) << file;
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    // A copy of exactly the input's size, so a read past its end is caught by the sanitizers.
    const auto data = std::make_unique<uint8_t[]>(std::max<size_t>(bytes.size(), 1));
    std::copy(bytes.begin(), bytes.end(), data.get());
    EXPECT_EQ(LLVMFuzzerTestOneInput(data.get(), bytes.size()), 0) << file;
}

class FoundInput : public testing::TestWithParam<fs::path> {};

TEST_P(FoundInput, RunsThroughTheTarget) {
    RunInput(GetParam());
}

std::string TestName(const testing::TestParamInfo<fs::path>& info) {
    std::string name = info.param.stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

CRUMBLE_INSTANTIATE(CRUMBLE_FUZZ_TARGET, FoundInput,
                    testing::ValuesIn(FilesIn(CRUMBLE_FUZZ_REGRESSIONS)), TestName);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FoundInput);

CRUMBLE_TEST(CRUMBLE_FUZZ_TARGET, SeedCorpusRunsThroughTheTarget) {
    const std::vector<fs::path> seeds = FilesIn(CRUMBLE_FUZZ_SEEDS);
    EXPECT_GE(seeds.size(), 5u) << "a fuzz target starts from its seeds in " << CRUMBLE_FUZZ_SEEDS;
    for (const fs::path& seed : seeds) {
        SCOPED_TRACE(seed.filename().string());
        RunInput(seed);
    }
}

} // namespace
