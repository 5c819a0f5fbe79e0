// Runs a fuzz target's entry function once over every file of the folders (or files) given, so
// that the same target sources build and replay their corpus without libFuzzer. Files whose
// names start with a dot or that are named README.md are not inputs.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

namespace {

bool isInput(const fs::path& path)
{
    const std::string name = path.filename().string();
    return !name.empty() && name[0] != '.' && name != "README.md";
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path path(argv[i]);
        std::error_code error;
        if (fs::is_regular_file(path, error)) {
            inputs.push_back(path);
            continue;
        }
        if (!fs::is_directory(path, error)) {
            std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
            return 1;
        }
        std::vector<fs::path> files;
        for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
            if (entry.is_regular_file() && isInput(entry.path()))
                files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        inputs.insert(inputs.end(), files.begin(), files.end());
    }
    if (inputs.empty()) {
        std::fprintf(stderr, "usage: %s FOLDER_OR_FILE... (with at least one input)\n", argv[0]);
        return 1;
    }
    for (const fs::path& input : inputs) {
        // Named before it runs, so that a crash says which input caused it.
        std::fprintf(stderr, "%s\n", input.c_str());
        std::fflush(stderr);
        std::ifstream stream(input, std::ios::binary);
        if (!stream.is_open()) {
            std::fprintf(stderr, "cannot read %s\n", input.c_str());
            return 1;
        }
        const std::vector<char> bytes{std::istreambuf_iterator<char>(stream),
                                      std::istreambuf_iterator<char>()};
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs replayed\n", inputs.size());
    return 0;
}
