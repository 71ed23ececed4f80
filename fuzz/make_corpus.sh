#!/bin/sh
# Regenerates the seed corpora of the fuzz targets in fuzz/corpus/ from
# X-files made with xgen: both byte orders, every Steim-1 code, one- and
# few-block X-files, odd sample counts, reordered and damaged heads, and files
# cut short. Seeds are small (the largest is three XBlocks) so that replaying
# every corpus under the sanitizers stays quick.
#
# Usage: sh fuzz/make_corpus.sh PATH-TO-XGEN
#
# Only the seed files named here are rewritten; other files in the corpus
# directories (regression inputs, named regress-*) are left alone.
set -eu
xgen=${1:?usage: sh make_corpus.sh PATH-TO-XGEN}
here=$(cd "$(dirname "$0")" && pwd)
corpus=$here/corpus
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

conv=$corpus/fuzz_convert
steim=$corpus/fuzz_steim_decode
tags=$corpus/fuzz_tag_walk
head=$corpus/fuzz_xfile_header
mkdir -p "$conv" "$steim" "$tags" "$head"

# poke FILE OFFSET BYTES: overwrites bytes at OFFSET; BYTES is a printf
# format of octal escapes, e.g. '\000\001'.
poke() {
  printf "$3" | dd of="$1" bs=1 seek="$2" conv=notrunc 2>/dev/null
}
# head_of FILE LENGTH OUT: the first LENGTH bytes of FILE.
head_of() {
  dd if="$1" of="$3" bs=1 count="$2" 2>/dev/null
}
# slice FILE OFFSET LENGTH: writes LENGTH bytes from OFFSET to standard output.
slice() {
  dd if="$1" bs=1 skip="$2" count="$3" 2>/dev/null
}
gen() {
  out=$1
  shift
  "$xgen" "$@" "$out" >/dev/null
}

# --- X-files ----------------------------------------------------------------
# Offsets in an X-file: record at 32 (sample count at 64), byte-order code at
# 128, type-23 tag at 144, XBlocks from 160 (block sample count at 160+30).
gen "$work/noise_I" --signal noise --samples 500 --seed 1 --order I
gen "$work/noise_M" --signal noise --samples 500 --seed 1 --order M
gen "$work/events_I" --signal events --samples 2400 --seed 2 --per-block 800 --order I
gen "$work/events_M" --signal events --samples 2400 --seed 2 --per-block 800 --order M
gen "$work/fullrange_M" --signal fullrange --samples 300 --seed 3 --order M
gen "$work/steps_I" --signal steps --samples 2000 --seed 4 --order I
gen "$work/full_block_I" --signal constant --samples 3772 --seed 7 --order I
gen "$work/one_sample_M" --signal noise --samples 1 --seed 5 --order M
gen "$work/empty_I" --samples 0 --order I

for name in noise_I noise_M events_I events_M fullrange_M steps_I full_block_I one_sample_M \
            empty_I; do
  cp "$work/$name" "$conv/$name"
done

# A byte-order code that is neither I nor M (read as reversed order).
cp "$work/noise_M" "$conv/order_Q"
poke "$conv/order_Q" 128 'Q'
# Header count 0 although a block follows; count 3 (the first block overshoots).
cp "$work/noise_I" "$conv/count_0"
poke "$conv/count_0" 64 '\000\000\000\000'
cp "$work/events_I" "$conv/overshoot"
poke "$conv/overshoot" 64 '\003\000\000\000'
# Header count 2^32-1: reading goes on until the blocks run out.
cp "$work/noise_M" "$conv/count_max"
poke "$conv/count_max" 64 '\377\377\377\377'
# A last block that claims 65535 samples (more than the sample buffer holds).
cp "$work/events_M" "$conv/block_65535"
poke "$conv/block_65535" 8382 '\377\377'
# Cut inside the leading tag, the header record, the type-23 tag, the first
# XBlock and the last XBlock.
head_of "$work/events_I" 8 "$conv/cut_leading_tag"
head_of "$work/events_I" 70 "$conv/cut_record"
head_of "$work/events_I" 150 "$conv/cut_xblocks_tag"
head_of "$work/events_I" 2000 "$conv/cut_first_block"
head_of "$work/events_M" 12000 "$conv/cut_last_block"

# --- XBlocks for the decoder: one flag byte (bit 0: swap), then the block ---
# block NAME FLAG XFILE INDEX
block() {
  { printf "$2"; slice "$3" $((160 + 4096 * $4)) 4096; } >"$steim/$1"
}
block noise_I '\000' "$work/noise_I" 0
block noise_M '\001' "$work/noise_M" 0
block events_I '\000' "$work/events_I" 1
block events_M '\001' "$work/events_M" 1
block fullrange_M '\001' "$work/fullrange_M" 0
block steps_I '\000' "$work/steps_I" 0
block full_3772_I '\000' "$work/full_block_I" 0
# Codes on words 1 and 2 of frame 1 too: 3780 samples, the most a block holds.
block full_3780_I '\000' "$work/full_block_I" 0
poke "$steim/full_3780_I" 65 '\125\125\125\025'
poke "$steim/full_3780_I" 31 '\304\016'
# The header's count 0, 65535, and a count read with the wrong byte order.
block count_0_M '\001' "$work/noise_M" 0
poke "$steim/count_0_M" 31 '\000\000'
block count_65535_I '\000' "$work/noise_I" 0
poke "$steim/count_65535_I" 31 '\377\377'
block swapped_I '\001' "$work/noise_I" 0
# Word 3 of frame 1 with code 0: no difference of the block is skipped.
block word3_code0_I '\000' "$work/steps_I" 0
poke "$steim/word3_code0_I" 68 '\000'

# --- Heads for the tag walk and XFileReadYHeader ----------------------------
head_of "$work/noise_I" 160 "$tags/head_I"
head_of "$work/events_M" 4256 "$tags/one_block_M"
head_of "$work/noise_I" 100 "$tags/cut_record"
cp "$work/empty_I" "$tags/no_blocks"
head_of "$work/noise_I" 160 "$head/head_I"
head_of "$work/noise_M" 160 "$head/head_M"
head_of "$work/noise_I" 150 "$head/cut_xblocks_tag"
head_of "$work/noise_I" 16 "$head/leading_tag_only"
: >"$head/empty"
# The data-format record before the header record.
{ slice "$work/noise_I" 0 16; slice "$work/noise_I" 96 48; slice "$work/noise_I" 16 80
  slice "$work/noise_I" 144 16; } >"$head/format_first"
# A tag of another type (9, four bytes) before the XBlocks.
{ slice "$work/noise_I" 0 144
  printf 'TG\011\000\004\000\000\000\000\000\000\000\000\000\000\000abcd'
  slice "$work/noise_I" 144 16; } >"$head/other_tag"
# A second header record.
{ slice "$work/noise_I" 0 96; slice "$work/noise_I" 16 80; slice "$work/noise_I" 96 64; } \
  >"$head/duplicate_record"
# A data-format record that is not Steim-1.
head_of "$work/noise_I" 160 "$head/encoding_2"
poke "$head/encoding_2" 112 '\002'
