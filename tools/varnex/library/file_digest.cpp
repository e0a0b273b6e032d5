// SHA-256 (FIPS 180-4) over a file read in blocks of 64 KiB; the state is
// a plain record, so the file is never held whole in memory.
#include "library/file_digest.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <vector>

namespace varnex {

namespace {

constexpr std::array<uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t Rotate(uint32_t value, int bits) { return (value >> bits) | (value << (32 - bits)); }

struct Sha256 {
  std::array<uint32_t, 8> state = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                   0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  unsigned char block[64] = {};
  size_t filled = 0;
  uint64_t length = 0;  // in bytes

  void Compress() {
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = uint32_t(block[4 * i]) << 24 | uint32_t(block[4 * i + 1]) << 16 | uint32_t(block[4 * i + 2]) << 8 |
             uint32_t(block[4 * i + 3]);
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4], f = state[5], g = state[6],
             h = state[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 = h + (Rotate(e, 6) ^ Rotate(e, 11) ^ Rotate(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
      const uint32_t t2 = (Rotate(a, 2) ^ Rotate(a, 13) ^ Rotate(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    const uint32_t mixed[8] = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i) state[i] += mixed[i];
  }

  void Add(const unsigned char* bytes, size_t count) {
    length += count;
    while (count > 0) {
      const size_t taken = std::min(count, sizeof block - filled);
      std::memcpy(block + filled, bytes, taken);
      filled += taken, bytes += taken, count -= taken;
      if (filled == sizeof block) Compress(), filled = 0;
    }
  }

  std::string Hex() {
    const uint64_t bits = length * 8;
    const unsigned char one = 0x80, zero = 0;
    Add(&one, 1);
    while (filled != 56) Add(&zero, 1);
    unsigned char tail[8];
    for (int i = 0; i < 8; ++i) tail[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    Add(tail, 8);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (uint32_t word : state)
      for (int shift = 28; shift >= 0; shift -= 4) hex += digits[(word >> shift) & 15];
    return hex;
  }
};

}  // namespace

std::string FileDigest(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  Sha256 digest;
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), std::streamsize(buffer.size()));
    digest.Add(reinterpret_cast<const unsigned char*>(buffer.data()), size_t(in.gcount()));
  }
  if (in.bad()) return {};
  return digest.Hex();
}

std::string BytesDigest(const std::string& bytes) {
  Sha256 digest;
  digest.Add(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return digest.Hex();
}

}  // namespace varnex
