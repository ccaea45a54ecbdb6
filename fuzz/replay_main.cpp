// Replays saved fuzz inputs through a target's checks without libFuzzer, so that the corpus
// runs as an ordinary test in every build. Arguments are files or folders (searched
// recursively); every file is one input. Fails when a check fails or when no input is found.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool collect(const fs::path &argument, std::vector<fs::path> &inputs)
{
    std::error_code error;
    if (fs::is_regular_file(argument, error)) {
        inputs.push_back(argument);
        return true;
    }
    if (!fs::is_directory(argument, error)) {
        std::fprintf(stderr, "%s: not a file or folder\n", argument.c_str());
        return false;
    }
    for (const auto &entry : fs::recursive_directory_iterator(argument, error)) {
        if (entry.is_regular_file())
            inputs.push_back(entry.path());
    }
    if (error) {
        std::fprintf(stderr, "%s: %s\n", argument.c_str(), error.message().c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        if (!collect(argv[i], inputs))
            return 2;
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s FILE_OR_FOLDER... (no inputs found)\n", argv[0]);
        return 2;
    }
    std::sort(inputs.begin(), inputs.end());

    for (const fs::path &input : inputs) {
        std::ifstream in(input, std::ios::binary);
        const std::vector<char> bytes {std::istreambuf_iterator<char>(in),
                                       std::istreambuf_iterator<char>()};
        if (!in.good() && !in.eof()) {
            std::fprintf(stderr, "%s: cannot read\n", input.c_str());
            return 2;
        }
        // A failing check aborts here; the name says which input it was.
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", input.c_str(), bytes.size());
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.data()), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
