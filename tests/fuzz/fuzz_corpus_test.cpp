// Runs the fuzz target linked into this program on its committed corpus (seeds
// and every input that once broke it), then on a bounded number of mutations of
// the corpus, so that every compiler and sanitizer build replays them.
#include "fuzz_target.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using Input = std::vector<uint8_t>;

const halvex::fuzz::sFuzzTarget& TheTarget() {
    const auto& targets = halvex::fuzz::Targets();
    if (targets.size() != 1) {
        ADD_FAILURE() << "expected one fuzz target, found " << targets.size();
        std::abort();
    }
    return targets.front();
}

std::vector<Input> Corpus() {
    std::vector<Input> corpus;
    for (const auto& entry : std::filesystem::directory_iterator(HALVEX_FUZZ_CORPUS)) {
        if (!entry.is_regular_file()) continue;
        std::ifstream file(entry.path(), std::ios::binary);
        corpus.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
    return corpus;
}

Input Mutate(const std::vector<Input>& corpus, std::mt19937& random) {
    Input input = corpus[random() % corpus.size()];
    switch (random() % 5) {
        case 0:  // flip bits
            if (input.empty()) break;
            for (int n = 1 + static_cast<int>(random() % 8); n > 0; --n)
                input[random() % input.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
            break;
        case 1:  // cut
            input.resize(random() % (input.size() + 1));
            break;
        case 2:  // boundary bytes
            if (input.empty()) break;
            for (int n = 1 + static_cast<int>(random() % 4); n > 0; --n)
                input[random() % input.size()] = static_cast<uint8_t>((random() % 2) ? 0xff : 0x00);
            break;
        case 3: {  // splice the tail of another input
            const Input& other = corpus[random() % corpus.size()];
            input.resize(random() % (input.size() + 1));
            input.insert(input.end(), other.begin() + static_cast<long>(random() % (other.size() + 1)), other.end());
            break;
        }
        default:  // append noise
            for (int n = 1 + static_cast<int>(random() % 64); n > 0; --n) input.push_back(static_cast<uint8_t>(random()));
            break;
    }
    return input;
}

TEST(FuzzCorpus, EveryCommittedInputIsHandled) {
    const auto corpus = Corpus();
    ASSERT_FALSE(corpus.empty()) << "no corpus in " << HALVEX_FUZZ_CORPUS;
    for (const Input& input : corpus) TheTarget().run(input.data(), input.size());
}

TEST(FuzzCorpus, MutationsOfTheCorpusAreHandled) {
    const auto corpus = Corpus();
    ASSERT_FALSE(corpus.empty());
    std::mt19937 random(20261208);
    for (int i = 0; i < HALVEX_FUZZ_MUTATIONS; ++i) {
        const Input input = Mutate(corpus, random);
        TheTarget().run(input.data(), input.size());
    }
}

}  // namespace
