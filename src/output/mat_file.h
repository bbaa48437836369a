#pragma once
// MAT-file Level 5 writer (little-endian, uncompressed): a 128-byte header and
// one named real double n x 1 column vector per element.

#include <cstdint>
#include <cstdio>
#include <string>

struct MatFile {
    std::FILE* file = nullptr;
    std::string path;
};

// Creates (or truncates) `path`, writes the header stamped with the local time
// as asctime renders it and flushes. Stops the run with a message naming the
// path and the system's reason (status -1) when it cannot.
MatFile MatCreate(const std::string& path);

// Appends one matrix element holding values[0..n-1] under `name` and flushes.
// Stops the run (status -1) when the write or the flush fails.
void MatWriteVector(MatFile& mat, const double* values, const char* name, int32_t n);

// Closes the file; a failing close stops the run (status -1).
void MatClose(MatFile& mat);
