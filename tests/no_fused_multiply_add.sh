#!/usr/bin/env bash
# Fails when the disassembly of the given program holds any fused
# multiply-add instruction: every product must be rounded before it is added,
# in the vector kernel's per-target code too, which the compiler would
# otherwise contract under its AVX2, AVX-512, NEON and SVE target settings.
# Reads x86-64 and aarch64 programs alike, whatever the host: the program's
# ELF header says which instruction set to look for, and the matching
# binutils (x86_64-linux-gnu-objdump, aarch64-linux-gnu-objdump) read it.
set -euo pipefail
program=$1

# e_machine, a little-endian 16-bit field at offset 18 of the ELF header.
machine=$(od -An -tu2 -j18 -N2 "$program" | tr -d ' ')
case "$machine" in
  62)
    triplet=x86_64-linux-gnu
    # FMA3, FMA4 and AVX-512 forms, packed and scalar, and the 4FMAPS ones.
    fused='^v4?fn?m(add|sub)'
    fused_samples=('vfmadd231pd' 'vfnmsub132sd' 'vfmaddsubps' 'vfmsubadd213pd' 'v4fmaddps')
    plain_samples=('vmulpd' 'vaddpd' 'vsubsd' 'vmovapd' 'vfixupimmpd' 'vfpclasspd')
    # The kernel's AVX-512 and AVX2 code, in zmm and ymm registers.
    multiplies=('vmulpd +%zmm' 'vmulpd +%ymm')
    ;;
  183)
    triplet=aarch64-linux-gnu
    # Scalar fmadd/fmsub/fnmadd/fnmsub; NEON and SVE fmla/fmls (by element
    # too) and fnmla/fnmls; SVE fmad/fmsb/fnmad/fnmsb; the widening fmlal and
    # fmlsl forms; complex and matrix multiply-accumulate.
    fused='^(fn?m(add|sub|ad|sb|la|ls)|fml[as]l[2bt]?|fcmla|fmmla|bfml|bfmmla)$'
    fused_samples=('fmadd' 'fmsub' 'fnmadd' 'fnmsub' 'fmla' 'fmls' 'fnmla' 'fnmls' 'fmad' 'fmsb' 'fnmad' 'fnmsb'
                   'fmlal2' 'fmlslb' 'fcmla' 'fmmla')
    plain_samples=('fmul' 'fmulx' 'fnmul' 'fmax' 'fmaxnm' 'fminnmv' 'fmov' 'fadd' 'fsub' 'fneg' 'mla' 'mad')
    # The kernel's NEON code (two doubles in a v register) and its SVE code
    # (doubles in a z register, any width).
    multiplies=('fmul\s+v[0-9]+\.2d,' 'fmul\s+z[0-9]+\.d,')
    ;;
  *)
    echo "$program: not an x86-64 or aarch64 program (ELF machine ${machine:-unreadable})" >&2
    exit 2
    ;;
esac

# The pattern must see the instructions it is meant to catch, and only those.
for sample in "${fused_samples[@]}"; do
  if ! grep -qE "$fused" <<<"$sample"; then
    echo "pattern misses: $sample" >&2
    exit 2
  fi
done
for sample in "${plain_samples[@]}"; do
  if grep -qE "$fused" <<<"$sample"; then
    echo "pattern wrongly matches: $sample" >&2
    exit 2
  fi
done

objdump=objdump
command -v "$triplet-objdump" >/dev/null && objdump=$triplet-objdump
listing=$(mktemp)
trap 'rm -f "$listing"' EXIT
"$objdump" -d --no-show-raw-insn "$program" >"$listing"

fused_found=$(awk -F'\t' 'NF >= 2 { split($2, word, " "); print word[1] }' "$listing" | grep -E "$fused" || true)
if [ -n "$fused_found" ]; then
  echo "fused multiply-add instructions in $program:" >&2
  sort <<<"$fused_found" | uniq -c >&2
  exit 1
fi

# The scan must cover the vector kernel: its widest code must be there.
for multiply in "${multiplies[@]}"; do
  if ! grep -qP "\t$multiply" "$listing"; then
    echo "no '$multiply' multiplications found in $program: is the vector kernel built in?" >&2
    exit 2
  fi
done
echo "no fused multiply-add in $program ($triplet, read with $objdump)"
