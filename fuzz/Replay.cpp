// Runs a fuzz target once on every file of the folders given, as libFuzzer does when it
// replays a corpus, so the normal build checks the seeds and every input kept after a
// finding with its own compiler and sanitizers.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size);

int main(int argc, char** argv) {
    int Files = 0;
    for (int I = 1; I < argc; ++I) {
        std::error_code Ec;
        for (const auto& Entry : std::filesystem::directory_iterator(argv[I], Ec)) {
            if (!Entry.is_regular_file()) continue;
            std::ifstream In(Entry.path(), std::ios::binary);
            const std::string Bytes((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(Bytes.data()), Bytes.size());
            ++Files;
        }
        if (Ec) {
            std::fprintf(stderr, "cannot read %s: %s\n", argv[I], Ec.message().c_str());
            return 1;
        }
    }
    std::printf("%d inputs replayed\n", Files);
    return Files > 0 ? 0 : 1;
}
