#!/usr/bin/env bash
# Fails when the disassembly of the given program holds any fused
# multiply-add instruction (FMA3, FMA4 or AVX-512 forms): every product must
# be rounded before it is added, in the vector kernel's per-target code too,
# which the compiler would otherwise contract under its AVX2 and AVX-512
# target settings.
set -euo pipefail
program=$1
listing=$(mktemp)
trap 'rm -f "$listing"' EXIT
objdump -d --no-show-raw-insn "$program" >"$listing"

# The pattern must see the instructions it is meant to catch.
for sample in 'vfmadd231pd %zmm1,%zmm2,%zmm3' 'vfnmsub132sd %xmm1,%xmm2,%xmm3' \
              'vfmaddsubps %ymm1,%ymm2,%ymm3,%ymm4' 'vfmsubadd213pd %ymm1,%ymm2,%ymm3' 'v4fmaddps (%rax),%zmm4,%zmm1'; do
  if ! grep -qE '^v4?fn?m(add|sub)' <<<"$sample"; then
    echo "pattern misses: $sample" >&2
    exit 2
  fi
done

# The scan must cover the vector kernel: its AVX-512 and AVX2 code exists.
for register in zmm ymm; do
  if ! grep -qE "vmulpd +%$register" "$listing"; then
    echo "no $register multiplications found in $program: is the vector kernel built in?" >&2
    exit 2
  fi
done

fused=$(awk -F'\t' 'NF >= 2 { split($2, word, " "); print word[1] }' "$listing" | grep -E '^v4?fn?m(add|sub)' || true)
if [ -n "$fused" ]; then
  echo "fused multiply-add instructions in $program:" >&2
  sort <<<"$fused" | uniq -c >&2
  exit 1
fi
echo "no fused multiply-add in $program"
