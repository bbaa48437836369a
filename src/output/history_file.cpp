#include "output/history_file.h"

#include <utility>

#include "output/mat_file.h"

namespace vux {

std::string HistoryPath(const std::string& matPath) {
    const std::string suffix = ".mat";
    if (matPath.size() >= suffix.size() && matPath.compare(matPath.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return matPath.substr(0, matPath.size() - suffix.size()) + "_history.mat";
    }
    return matPath + "_history.mat";
}

void WriteHistoryFile(const std::string& path, const TimeHistoryData& history, OutputSet& outputs) {
    MatFile mat = MatCreate(path);
    for (const HistoryMatrix& matrix : history.matrices) {
        if (matrix.file) {
            MatCopyMatrix(mat, matrix.name.c_str(), matrix.single ? MatClass::Single : MatClass::Double, matrix.rows,
                          matrix.cols, matrix.file);
        } else {
            MatWriteMatrix(mat, matrix.name.c_str(), matrix.rows, matrix.cols, matrix.values.data());
        }
    }
    MatComplete(mat);
    outputs.Add(std::move(mat.out), ErrorKind::MatWrite);
}
}  // namespace vux
