// The choice of the vector row kernels of the bilinear enlargement and the rotation.
#include "zumeld/simd/Dispatch.h"
#include "zumeld/transform/BilinearRow.h"
#include "zumeld/transform/RotateRow.h"

namespace Zumeld::Kernels {

namespace {

bool HasAvx2() {
    return Simd::ActiveInstructionSet() == Simd::InstructionSet::Avx2;
}

}  // namespace

BilinearRowFn ActiveBilinearRow() {
    return HasAvx2() ? BilinearRowAvx2() : nullptr;  // SSE2 rows gain nothing over scalar ones
}

BilinearCellsFn ActiveBilinearCells() {
    return HasAvx2() ? BilinearCellsAvx2() : nullptr;
}

RotateRowFn ActiveRotateRow() {
    return HasAvx2() ? RotateRowAvx2() : nullptr;  // two doubles a register buy too little
}

}  // namespace Zumeld::Kernels
