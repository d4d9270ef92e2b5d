// The fast scanner against the plain one: block boundaries, every option, generated inputs.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "harness.h"
#include "scan/block_reader.h"
#include "scan/byte_classes.h"

using delimcheck::scan::block_size;

namespace {

const std::vector<std::vector<std::string>> option_sets = {
    {}, {"-q"}, {"-e"}, {"-s"}, {"-m"}, {"-l"}, {"-j"}, {"-c", "-e", "-s"}, {"-g", "-i", "-t", "-m"}, {"-ejt"},
    {"--hints"}, {"--format=json"}, {"-e", "--hints", "-l"},
};

// Bytes that matter placed on both sides of every block boundary the scanner crosses.
TEST(BlockScanner, StepsAcrossBlockBoundaries)
{
    const std::vector<std::string> pieces = {"\\\n", "\\ \n", "\\ ", "\"x\" ", "x\"y", "\"\"", "\n  # {", "\n\t\t{",
                                             "{\"", "\"}", "\\\\\"", "\n(", "\\", "\""};
    for (const std::string &piece : pieces) {
        for (std::size_t shift = 0; shift < 5; ++shift) {
            std::string input = "proc a {\n    set b \"c\n";
            input.resize(block_size - 2 + shift - piece.size() / 2, 'x');
            input += piece;
            input += "  ]\n\"} tail {";
            for (const auto &opts : option_sets)
                run_checked(opts, input);
            input.resize(2 * block_size - 1 + shift, ' ');
            input += piece;
            run_checked({"-se"}, input);
            run_checked({"-se"}, input.substr(0, input.size() - 1));
        }
    }
}

// The end of input right behind a byte that looks ahead, at a boundary and inside a block.
TEST(BlockScanner, EndOfInputAfterLookAhead)
{
    for (std::size_t size : {std::size_t{1}, std::size_t{63}, std::size_t{64}, block_size - 1, block_size,
                             block_size + 1}) {
        for (const char *last : {"\\", "\"", "{\"", "\\ ", "\n", " "}) {
            std::string tail = last;
            std::string input = std::string(size > tail.size() ? size - tail.size() : 0, ' ') + tail;
            for (const auto &opts : option_sets)
                run_checked(opts, input);
        }
    }
}

std::string generated(std::mt19937 &rng, std::size_t pieces)
{
    static const std::vector<std::string> alphabet = {
        "{", "}", "[", "]", "(", ")", "\"", "\\", "#", " ", "    ", "\t", "\n", "\n", "\n  ", "word", ";", "\r\n",
        "\\\n", "\\ ", "\x80", "\xff", std::string(1, '\0'), "\v", "\"x\"", "{\n", "}\n", "# ", "$a(b)"};
    std::string s;
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (std::size_t i = 0; i < pieces; ++i)
        s += alphabet[pick(rng)];
    return s;
}

TEST(BlockScanner, GeneratedInputsAgreeWithPlainScanner)
{
    std::mt19937 rng(20261210);
    for (int round = 0; round < 300; ++round) {
        std::string input = generated(rng, round % 10 == 0 ? 60000 : 1 + rng() % 400);
        const auto &opts = option_sets[static_cast<std::size_t>(round) % option_sets.size()];
        run_checked(opts, input);
        if (::testing::Test::HasFailure()) {
            ADD_FAILURE() << "round " << round;
            return;
        }
    }
}

TEST(ByteClasses, EveryLevelClassifiesEveryByte)
{
    std::vector<unsigned char> bytes(512);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + i / 256);
    std::vector<std::uint64_t> s(8), b(8), t(8);
    for (simd_level level : available_levels()) {
        delimcheck::scan::classifier_for(level)(bytes.data(), bytes.size(), {s.data(), b.data(), t.data()});
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            unsigned char c = bytes[i];
            bool structural = std::strchr("\n\\\"#()[]{}", c) != nullptr && c != 0;
            bool blank = c == ' ' || c == '\t';
            ASSERT_EQ((s[i / 64] >> (i % 64)) & 1, structural ? 1u : 0u) << int(c) << " level " << int(level);
            ASSERT_EQ((b[i / 64] >> (i % 64)) & 1, blank ? 1u : 0u) << int(c) << " level " << int(level);
            ASSERT_EQ((t[i / 64] >> (i % 64)) & 1, c == '\t' ? 1u : 0u) << int(c) << " level " << int(level);
        }
    }
}

} // namespace
