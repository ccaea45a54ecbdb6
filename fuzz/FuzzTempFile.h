#pragma once

#include <string>
#include <string_view>

// A file name in the temporary folder that is private to this process, so that parallel fuzz
// jobs and test runs never share a file. tag tells the targets' files apart.
std::string fuzzTempPath(std::string_view tag);

// Replaces the file at path by bytes. Returns false when it cannot be written.
bool fuzzWriteFile(const std::string &path, std::string_view bytes);

// The whole content of the file at path; empty when it cannot be read.
std::string fuzzReadFile(const std::string &path);
