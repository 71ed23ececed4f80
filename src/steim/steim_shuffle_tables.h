// Byte-shuffle tables shared by the vector kernels. A group of kWords data
// words is decoded at once: the 2-bit codes of the group form a key that
// selects a byte shuffle moving each difference's bytes to the top of its
// own 32-bit lane, in order, and a per-lane arithmetic right shift that
// sign-extends it (24 for 8-bit, 16 for 16-bit, 0 for 32-bit differences).
// The byte-reversed variant of each shuffle handles the swap flag.
#ifndef STEIM_SHUFFLE_TABLES_H
#define STEIM_SHUFFLE_TABLES_H

#include <cstdint>

template <int kWords, typename ShiftT>
struct SteimShuffleTables {
  static constexpr int kKeys = 1 << (2 * kWords);
  static constexpr int kLanes = 4 * kWords;
  // [swap][codes of the group]: byte shuffle control, 0x80 = zero byte.
  alignas(64) uint8_t shuffle[2][kKeys][4 * kLanes];
  // [codes]: right shift of each lane.
  alignas(64) ShiftT shift[kKeys][kLanes];
  // [codes]: number of differences.
  uint8_t count[kKeys];
};

template <int kWords, typename ShiftT>
constexpr SteimShuffleTables<kWords, ShiftT> SteimMakeShuffleTables() {
  using Tables = SteimShuffleTables<kWords, ShiftT>;
  Tables t{};
  for (int swap = 0; swap < 2; ++swap) {
    for (int key = 0; key < Tables::kKeys; ++key) {
      uint8_t* shuffle = t.shuffle[swap][key];
      for (int b = 0; b < 4 * Tables::kLanes; ++b) shuffle[b] = 0x80;
      int lane = 0;
      for (int word = 0; word < kWords; ++word) {
        const int code = (key >> (2 * (kWords - 1 - word))) & 3;
        const int base = 4 * word;
        if (code == 1) {
          for (int j = 0; j < 4; ++j, ++lane) {
            shuffle[4 * lane + 3] = static_cast<uint8_t>(base + j);
            t.shift[key][lane] = 24;
          }
        } else if (code == 2) {
          for (int j = 0; j < 2; ++j, ++lane) {
            shuffle[4 * lane + 2] = static_cast<uint8_t>(base + 2 * j + (swap != 0 ? 1 : 0));
            shuffle[4 * lane + 3] = static_cast<uint8_t>(base + 2 * j + (swap != 0 ? 0 : 1));
            t.shift[key][lane] = 16;
          }
        } else if (code == 3) {
          for (int b = 0; b < 4; ++b) {
            shuffle[4 * lane + b] = static_cast<uint8_t>(base + (swap != 0 ? 3 - b : b));
          }
          t.shift[key][lane] = 0;
          ++lane;
        }
      }
      t.count[key] = static_cast<uint8_t>(lane);
    }
  }
  return t;
}

// Differences per data word, by code.
inline constexpr uint8_t kSteimCodeCount[4] = {0, 4, 2, 1};

// Control word patterns (bits 29-0) of frames whose data words share a code.
inline constexpr uint32_t kSteimAllCode1 = 0x15555555;
inline constexpr uint32_t kSteimAllCode2 = 0x2AAAAAAA;
inline constexpr uint32_t kSteimAllCode3 = 0x3FFFFFFF;

#endif  // STEIM_SHUFFLE_TABLES_H
