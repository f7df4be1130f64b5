#include "compress/item_wavepacket13_v1.hpp"

#include <cstring>

#include "compress/item_bytes.hpp"

namespace {

using W = Wavepacket13Layout;
// Positions inside the kept bytes 1 to 28.
constexpr unsigned kOffset = W::kOffset - 1;
constexpr unsigned kPacketSize = W::kPacketSize - 1;
constexpr unsigned kReturnPoint = W::kReturnPoint - 1;
constexpr unsigned kXt = W::kXt - 1;

}  // namespace

Wavepacket13V1::OffsetKind Wavepacket13V1::offset_kind(uint64_t offset, uint64_t last_offset,
                                                       uint32_t last_packet_size) {
  const int64_t d = diff_u64(offset, last_offset);
  if (d == 0) return kSame;
  if (!fits_i32(d)) return kRaw;
  // Compared in 64 bits: the reader adds the packet size as an unsigned value,
  // so a size of 2^31 or more must never stand for a negative difference.
  if (d == static_cast<int64_t>(last_packet_size)) return kNextPacket;
  return kDifference;
}

LASreadItemCompressed_WAVEPACKET13_v1::LASreadItemCompressed_WAVEPACKET13_v1(IntervalDecoder* dec)
    : dec(dec),
      packet_index(dec->new_symbol_model(256)),
      offset_diff{dec->new_symbol_model(4), dec->new_symbol_model(4), dec->new_symbol_model(4),
                  dec->new_symbol_model(4)},
      ic_offset_diff(dec, 32, 1),
      ic_packet_size(dec, 32, 1),
      ic_return_point(dec, 32, 1),
      ic_xyz(dec, 32, 3) {}

bool LASreadItemCompressed_WAVEPACKET13_v1::start_chunk(uint8_t* item, uint32_t&) {
  last_diff_32 = 0;
  sym_last_offset_diff = 0;
  packet_index->reset();
  for (auto& m : offset_diff) m->reset();
  ic_offset_diff.prepare_decode();
  ic_packet_size.prepare_decode();
  ic_return_point.prepare_decode();
  ic_xyz.prepare_decode();
  std::memcpy(last_item, item + 1, 28);
  return true;
}

void LASreadItemCompressed_WAVEPACKET13_v1::read_item(uint8_t* item, uint32_t&) {
  IntervalDecoder::Run coder(*dec);
  // Packets mostly repeat the index, the offset kind and the length classes
  // of the fields' changes: every symbol first checks its likely one.
  item[W::kIndex] = static_cast<uint8_t>(coder.get_likely_symbol(packet_index.get()));

  const uint32_t kind = coder.get_likely_symbol(offset_diff[sym_last_offset_diff].get());
  sym_last_offset_diff = kind;
  const uint64_t last_offset = item_load<uint64_t>(last_item, kOffset);
  uint64_t offset = last_offset;
  if (kind == Wavepacket13V1::kNextPacket) {
    offset += item_load<uint32_t>(last_item, kPacketSize);
  } else if (kind == Wavepacket13V1::kDifference) {
    last_diff_32 = ic_offset_diff.decode_likely(coder, last_diff_32);
    offset += static_cast<uint64_t>(static_cast<int64_t>(last_diff_32));
  } else if (kind == Wavepacket13V1::kRaw) {
    offset = coder.get_raw_u64();
  }
  item_store<uint64_t>(last_item, kOffset, offset);

  item_store<int32_t>(
      last_item, kPacketSize,
      ic_packet_size.decode_likely(coder, item_load<int32_t>(last_item, kPacketSize)));
  item_store<int32_t>(
      last_item, kReturnPoint,
      ic_return_point.decode_likely(coder, item_load<int32_t>(last_item, kReturnPoint)));
  for (uint32_t i = 0; i < 3; i++) {
    const unsigned at = kXt + 4 * i;
    item_store<int32_t>(last_item, at,
                        ic_xyz.decode_likely(coder, item_load<int32_t>(last_item, at), i));
  }
  coder.commit();
  std::memcpy(item + 1, last_item, 28);
}

LASwriteItemCompressed_WAVEPACKET13_v1::LASwriteItemCompressed_WAVEPACKET13_v1(IntervalEncoder* enc)
    : enc(enc),
      packet_index(enc->new_symbol_model(256)),
      offset_diff{enc->new_symbol_model(4), enc->new_symbol_model(4), enc->new_symbol_model(4),
                  enc->new_symbol_model(4)},
      ic_offset_diff(enc, 32, 1),
      ic_packet_size(enc, 32, 1),
      ic_return_point(enc, 32, 1),
      ic_xyz(enc, 32, 3) {}

bool LASwriteItemCompressed_WAVEPACKET13_v1::start_chunk(const uint8_t* item, uint32_t&) {
  last_diff_32 = 0;
  sym_last_offset_diff = 0;
  packet_index->reset();
  for (auto& m : offset_diff) m->reset();
  ic_offset_diff.prepare_encode();
  ic_packet_size.prepare_encode();
  ic_return_point.prepare_encode();
  ic_xyz.prepare_encode();
  std::memcpy(last_item, item + 1, 28);
  return true;
}

bool LASwriteItemCompressed_WAVEPACKET13_v1::write_item(const uint8_t* item, uint32_t&) {
  enc->put_symbol(packet_index.get(), item[W::kIndex]);

  const uint64_t offset = item_load<uint64_t>(item, W::kOffset);
  const uint64_t last_offset = item_load<uint64_t>(last_item, kOffset);
  const Wavepacket13V1::OffsetKind kind =
      Wavepacket13V1::offset_kind(offset, last_offset, item_load<uint32_t>(last_item, kPacketSize));
  enc->put_symbol(offset_diff[sym_last_offset_diff].get(), kind);
  sym_last_offset_diff = kind;
  if (kind == Wavepacket13V1::kDifference) {
    const int32_t d = static_cast<int32_t>(diff_u64(offset, last_offset));
    ic_offset_diff.encode(last_diff_32, d);
    last_diff_32 = d;
  } else if (kind == Wavepacket13V1::kRaw) {
    enc->put_raw_u64(offset);
  }

  ic_packet_size.encode(item_load<int32_t>(last_item, kPacketSize),
                        item_load<int32_t>(item, W::kPacketSize));
  ic_return_point.encode(item_load<int32_t>(last_item, kReturnPoint),
                         item_load<int32_t>(item, W::kReturnPoint));
  for (uint32_t i = 0; i < 3; i++) {
    ic_xyz.encode(item_load<int32_t>(last_item, kXt + 4 * i),
                  item_load<int32_t>(item, W::kXt + 4 * i), i);
  }
  std::memcpy(last_item, item + 1, 28);
  return true;
}
