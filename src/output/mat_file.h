#pragma once
// MAT-file Level 5 writer (little-endian, uncompressed): a 128-byte header and
// one named real matrix per element: n x 1 double column vectors, and
// rows x cols matrices of doubles or singles.
//
// Header: "MATLAB 5.0 MAT-file, Platform: PCWIN64, Created on: ", the local
// time as asctime renders it without its newline, blanks up to byte 115, eight
// zero bytes, version 0x0100 and "IM". Element: miMATRIX tag, array flags
// (mxDOUBLE_CLASS, or mxSINGLE_CLASS for singles), dimensions rows x cols,
// the name (small element form for names of up to 4 characters, else padded
// to a multiple of 8), the values column-major as miDOUBLE (or miSINGLE,
// padded with zero bytes to a multiple of 8).
//
// The file is written under a scratch name beside the path and renamed over
// it when closed (output/scratch_file.h): the path never holds part of a file.
// Every failure of the file system stops the run (status -1) with
// "\nCannot create MAT-file <path>: <reason>\n" (opening; MatDirectory when
// the directory refuses the scratch file) or
// "\nCannot write MAT-file <path>: <reason>\n" (writing, flushing, closing,
// renaming); the scratch file is removed before the run stops, and the path
// keeps what it held before.

#include <cstdint>
#include <string>

#include "core/content_digest.h"
#include "core/unique_fd.h"
#include "output/scratch_file.h"

namespace vux {
// A MAT-file being written; `out.stream` is null once it is closed or failed.
struct MatFile {
    ScratchFile out;
    std::string path;      // the final path, named in messages
    ContentDigest digest;  // of every byte written, header included (the run record's fingerprint)
};

// Size in bytes of an element's name subelement for a name of `nameLength`
// characters: 8 up to 4 characters, else 8 + the name padded to a multiple of 8.
uint64_t MatNameBytes(uint64_t nameLength);

// The byte count B of an element's tag (the bytes after the tag): 40 + name
// subelement + 8 per value. Elements whose B exceeds 0xFFFFFFFF (which covers
// every vector of 2^29 values or more) cannot be written.
uint64_t MatElementByteCount(uint64_t nameLength, uint64_t valueCount);

// The value class of a matrix element.
enum class MatClass { Double, Single };

// The byte count B of a rows x cols matrix element of `matClass`: 40 + name
// subelement + the values' bytes padded to a multiple of 8.
uint64_t MatMatrixByteCount(uint64_t nameLength, uint64_t rows, uint64_t cols, MatClass matClass);

// The largest byte count B of a matrix element (MatWriteMatrix,
// MatCopyMatrix): 2^31 - 1, which every reader of the format takes.
inline constexpr uint64_t kMatLargestMatrix = 0x7FFFFFFF;

// Creates the scratch file for `path`, writes the header stamped with the local
// time as asctime renders it and flushes. Stops the run with a message naming
// the path and the reason (status -1) when it cannot, also when `path` is a
// directory, a FIFO, a socket or a device.
MatFile MatCreate(const std::string& path);

// Appends one matrix element holding values[0..n-1] under `name` (any length,
// written as it is) and flushes it to the scratch file. Stops the run with
// MatWrite when the write or the flush fails, and with MatVectorSize before
// writing anything when n is negative or the element's byte count does not
// fit 32 bits.
void MatWriteVector(MatFile& mat, const double* values, const char* name, int32_t n);

// Appends a rows x cols double matrix element holding values[0 ..
// rows x cols - 1], column-major, under `name`, and flushes it. Stops the run
// (status -1) when the write or the flush fails, and before writing anything
// when a dimension is negative or the byte count exceeds kMatLargestMatrix.
void MatWriteMatrix(MatFile& mat, const char* name, int32_t rows, int32_t cols, const double* values);

// Appends a rows x cols matrix element of `matClass` under `name` whose
// values, column-major and little-endian, are the first rows x cols x (8 or
// 4) bytes of the file `source` (read from offset 0, in the kernel where the
// file systems allow), and flushes it. Stops the run (status -1) like
// MatWriteMatrix, and when `source` holds fewer bytes or cannot be read.
void MatCopyMatrix(MatFile& mat, const char* name, MatClass matClass, int32_t rows, int32_t cols,
                   const UniqueFd& source);

// Completes the file under its scratch name: flushes, syncs it to disk and
// closes it; `mat.out` then waits to be renamed over the path (by an
// OutputSet, output/output_set.h). A failure stops the run (status -1).
// Costs an fsync of the whole file.
void MatComplete(MatFile& mat);

// MatComplete, then the rename over the path (nothing to do when the file is
// not open). A failure stops the run (status -1).
void MatClose(MatFile& mat);
}  // namespace vux
