#pragma once
// Whole-file helpers for tests that check what code leaves on disk.
#include <string>
#include <vector>

// The file's bytes; "" when it cannot be read.
std::string ReadAll(const std::string& path);

// Replaces the file's content with `data`, bytes as they are.
void WriteAll(const std::string& path, const std::string& data);

// The names of the entries in `dir`, sorted, so that a test sees any
// temporary file left behind.
std::vector<std::string> FilesIn(const std::string& dir);
