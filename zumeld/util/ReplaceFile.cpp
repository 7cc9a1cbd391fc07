// WriteFileReplacing: the runs through one FileReplacement (ReplaceFile_posix.cpp,
// ReplaceFile_win32.cpp).
#include "zumeld/util/ReplaceFile.h"

namespace Zumeld {

int WriteFileReplacing(const char* path, std::span<const ByteRun> runs,
                       const ReplaceOptions& options) {
    FileReplacement file;
    if (const int err = file.Open(path, options)) return err;
    for (const ByteRun& run : runs)
        if (const int err = file.Write(run.data, run.size)) return err;
    return file.Commit();
}

}  // namespace Zumeld
