#include "fuzz/FuzzTempFile.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

std::string fuzzTempPath(std::string_view tag)
{
    const std::string name
        = "kelvra-fuzz-" + std::to_string(::getpid()) + "-" + std::string(tag) + ".kvr";
    return (std::filesystem::temp_directory_path() / name).string();
}

bool fuzzWriteFile(const std::string &path, std::string_view bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

std::string fuzzReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}
