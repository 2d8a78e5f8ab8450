// The escape-time kernel's vector types and the per-instruction-set lane
// moves: packing the lanes of a mask to the front of a vector, and spreading
// the front lanes of a vector over the lanes of a mask. The queue, the log and
// the refill are built from these two moves.
//
// AVX-512 has one instruction for each move (and one for the larger magnitude
// of two vectors); every other target, including SVE with any vector length,
// drives a lane permutation from a table of lane numbers indexed by the mask's
// bits. The tables hold eight lanes, so a vector here has at most eight.
//
// Highway includes this file once per target (see escape_kernel.cpp), hence
// the include guard that toggles with HWY_TARGET_TOGGLE.

#ifndef VELLACOR_FRACTAL_ESCAPE_KERNEL_LANE_TABLES_H_
#define VELLACOR_FRACTAL_ESCAPE_KERNEL_LANE_TABLES_H_

#include <array>
#include <cstddef>
#include <cstdint>

namespace escape_kernel {

// The tables cover masks of up to this many lanes, one byte per lane.
inline constexpr std::size_t TABLE_LANES = 8;

// Byte `lane` of entry `bits` counts the set bits of `bits` below `lane`: the
// rank of that lane among the lanes that take new samples.
constexpr std::array<std::uint64_t, 256> packedRanks()
{
    std::array<std::uint64_t, 256> table{};
    for (unsigned bits = 0; bits < 256; ++bits) {
        std::uint64_t packed = 0;
        unsigned below = 0;
        for (unsigned lane = 0; lane < TABLE_LANES; ++lane) {
            packed |= static_cast<std::uint64_t>(below) << (8 * lane);
            below += (bits >> lane) & 1u;
        }
        table[bits] = packed;
    }
    return table;
}

inline constexpr std::array<std::uint64_t, 256> PACKED_RANKS = packedRanks();

// Byte k of entry `bits` is the lane of the k-th set bit of `bits` (0 past
// the last): the lanes a mask selects, packed to the front in lane order.
// Highway's own Compress is avoided on purpose: on some targets it rebuilds
// its permutation table on every call.
constexpr std::array<std::uint64_t, 256> packedLanes()
{
    std::array<std::uint64_t, 256> table{};
    for (unsigned bits = 0; bits < 256; ++bits) {
        std::uint64_t packed = 0;
        unsigned rank = 0;
        for (unsigned lane = 0; lane < TABLE_LANES; ++lane) {
            if ((bits >> lane) & 1u) {
                packed |= static_cast<std::uint64_t>(lane) << (8 * rank++);
            }
        }
        table[bits] = packed;
    }
    return table;
}

inline constexpr std::array<std::uint64_t, 256> PACKED_LANES = packedLanes();

} // namespace escape_kernel

#endif // VELLACOR_FRACTAL_ESCAPE_KERNEL_LANE_TABLES_H_

#if defined(VELLACOR_FRACTAL_ESCAPE_KERNEL_LANES_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef VELLACOR_FRACTAL_ESCAPE_KERNEL_LANES_INL_H_
#undef VELLACOR_FRACTAL_ESCAPE_KERNEL_LANES_INL_H_
#else
#define VELLACOR_FRACTAL_ESCAPE_KERNEL_LANES_INL_H_
#endif

#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace escape_kernel {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// At most eight lanes, whatever the vector length: one mask is one byte, one
// entry of the tables above.
using D = hn::CappedTag<double, TABLE_LANES>;
using DI = hn::RebindToSigned<D>;
using DU = hn::RebindToUnsigned<D>;
using V = hn::Vec<D>;
using VI = hn::Vec<DI>;
using M = hn::Mask<D>;

// Lanes of the widest vector this target may have; the actual count,
// hn::Lanes(d), is known only at run time on SVE.
inline constexpr std::size_t MAX_LANES = hn::MaxLanes(D());
static_assert(MAX_LANES <= TABLE_LANES);

// Independent vectors of samples the refill steps in turn: one step's chain
// of dependent operations is long, and interleaved vectors keep the
// arithmetic units busy.
inline constexpr std::size_t LANE_GROUPS = 3;

// Vectors of neighbouring samples in one block of the first pass. A block
// pays its setup and its mispredicted exit once, so a wider block is cheaper
// per sample until its lanes wait too long for the slowest: at grid 2048 and
// cap 25, four beat three on every x86 target and five lose on AVX-512.
inline constexpr std::size_t BLOCK_GROUPS = 4;

// The lanes a mask selects, as bits 0 .. Lanes(d) - 1.
HWY_INLINE unsigned maskBits(D d, M mask)
{
    std::uint8_t bits[8] = {};
    hn::StoreMaskBits(d, mask, bits);
    return bits[0];
}

// Unpacks byte-sized lane numbers, one per lane, into a vector of lane
// indices.
HWY_INLINE VI unpackLaneBytes(std::uint64_t packed)
{
    const DI di;
    const DU du;
    const auto laneShifts = hn::ShiftLeft<3>(hn::Iota(du, 0));
    return hn::BitCast(di, hn::And(hn::Shr(hn::Set(du, packed), laneShifts), hn::Set(du, 0xFF)));
}

#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX3

HWY_INLINE V packFront(D, V v, M mask)
{
    return V{_mm512_maskz_compress_pd(mask.raw, v.raw)};
}

HWY_INLINE VI packFront(D, VI v, M mask)
{
    return VI{_mm512_maskz_compress_epi64(mask.raw, v.raw)};
}

HWY_INLINE V spreadInto(D, V into, M mask, V front)
{
    return V{_mm512_mask_expand_pd(into.raw, mask.raw, front.raw)};
}

HWY_INLINE VI spreadInto(D, VI into, M mask, VI front)
{
    return VI{_mm512_mask_expand_epi64(into.raw, mask.raw, front.raw)};
}

// The larger of |x| and |y|: range operation 3 (the larger absolute value)
// with the sign cleared.
HWY_INLINE V largerMagnitude(V x, V y)
{
    return V{_mm512_range_pd(x.raw, y.raw, 0x0B)};
}

// The lanes of `among` where larger >= 2 does not hold: one compare under a
// mask. "Not greater or equal, unordered" keeps a NaN in, as the plain test
// does.
HWY_INLINE M notAtLeastTwoAmong(D, V larger, M among)
{
    return M{_mm512_mask_cmp_pd_mask(among.raw, larger.raw, _mm512_set1_pd(2.0), _CMP_NGE_UQ)};
}

#else

// Lanes past the selected ones receive lane 0; they are never read.
HWY_INLINE V packFront(D d, V v, M mask)
{
    const VI lanes = unpackLaneBytes(PACKED_LANES[maskBits(d, mask)]);
    return hn::TableLookupLanes(v, hn::IndicesFromVec(d, lanes));
}

HWY_INLINE VI packFront(D d, VI v, M mask)
{
    const DI di;
    const VI lanes = unpackLaneBytes(PACKED_LANES[maskBits(d, mask)]);
    return hn::TableLookupLanes(v, hn::IndicesFromVec(di, lanes));
}

HWY_INLINE V spreadInto(D d, V into, M mask, V front)
{
    const VI ranks = unpackLaneBytes(PACKED_RANKS[maskBits(d, mask)]);
    return hn::IfThenElse(mask, hn::TableLookupLanes(front, hn::IndicesFromVec(d, ranks)), into);
}

HWY_INLINE VI spreadInto(D d, VI into, M mask, VI front)
{
    const DI di;
    const VI ranks = unpackLaneBytes(PACKED_RANKS[maskBits(d, mask)]);
    return hn::IfThenElse(hn::RebindMask(di, mask), hn::TableLookupLanes(front, hn::IndicesFromVec(di, ranks)),
                          into);
}

HWY_INLINE V largerMagnitude(V x, V y)
{
    return hn::Max(hn::Abs(x), hn::Abs(y));
}

HWY_INLINE M notAtLeastTwoAmong(D d, V larger, M among)
{
    return hn::AndNot(hn::Ge(larger, hn::Set(d, 2.0)), among);
}

#endif

} // namespace HWY_NAMESPACE
} // namespace escape_kernel
HWY_AFTER_NAMESPACE();

#endif // VELLACOR_FRACTAL_ESCAPE_KERNEL_LANES_INL_H_
