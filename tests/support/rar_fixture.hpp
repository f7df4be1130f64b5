#ifndef TESTS_SUPPORT_RAR_FIXTURE_HPP
#define TESTS_SUPPORT_RAR_FIXTURE_HPP

// A RAR 4 archive built byte by byte: one member stored without compression
// (method 0x30), so that no RAR tool is needed to make the fixture.

#include <cstdint>
#include <string>

inline uint32_t rar_crc32(const std::string& bytes) {
  uint32_t crc = 0xffffffffu;
  for (unsigned char b : bytes) {
    crc ^= b;
    for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline std::string rar_le16(uint32_t v) {
  return {char(v & 0xff), char((v >> 8) & 0xff)};
}
inline std::string rar_le32(uint32_t v) {
  return rar_le16(v & 0xffff) + rar_le16(v >> 16);
}

// A block: its CRC is the low 16 bits of the CRC32 of everything after it.
inline std::string rar_block(const std::string& from_type) {
  return rar_le16(rar_crc32(from_type) & 0xffff) + from_type;
}

// `data` as member `name` (Unix, mode 0644, a fixed DOS time of 2025-01-01).
inline std::string stored_rar4(const std::string& name, const std::string& data) {
  const std::string marker("Rar!\x1a\x07\x00", 7);
  // Archive header: no flags, 13 bytes, two reserved fields.
  const std::string main =
      rar_block(std::string("\x73", 1) + rar_le16(0) + rar_le16(13) + rar_le16(0) + rar_le32(0));
  const uint32_t header_size = 32 + static_cast<uint32_t>(name.size());
  const uint32_t size = static_cast<uint32_t>(data.size());
  std::string file = std::string("\x74", 1) + rar_le16(0x8000) + rar_le16(header_size) +
                     rar_le32(size) + rar_le32(size) + std::string("\x03", 1) +
                     rar_le32(rar_crc32(data)) + rar_le32(0x5a210000) + std::string("\x14\x30", 2) +
                     rar_le16(static_cast<uint32_t>(name.size())) + rar_le32(0100644) + name;
  const std::string end = rar_block(std::string("\x7b", 1) + rar_le16(0x4000) + rar_le16(7));
  return marker + main + rar_block(file) + data + end;
}

#endif  // TESTS_SUPPORT_RAR_FIXTURE_HPP
