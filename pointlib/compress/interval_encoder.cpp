#include "compress/interval_encoder.hpp"

IntervalEncoder::IntervalEncoder() : buffer(new uint8_t[2 * kHalf]()) {
  end_buffer = buffer.get() + 2 * kHalf;
  out_byte = buffer.get();
  end_byte = end_buffer;
}

bool IntervalEncoder::start(ByteStreamOut* stream) {
  if (stream == nullptr) return false;
  this->stream = stream;
  base = 0;
  length = 0xFFFFFFFFu;
  out_byte = buffer.get();
  end_byte = end_buffer;
  write_failed = false;
  return true;
}

void IntervalEncoder::write_half() {
  if (out_byte == end_buffer) out_byte = buffer.get();
  if (!stream->write_bytes(out_byte, kHalf)) write_failed = true;
  end_byte = out_byte + kHalf;
}

void IntervalEncoder::propagate_carry() {
  uint8_t* p = (out_byte == buffer.get() ? end_buffer : out_byte) - 1;
  while (*p == 0xFF) {
    *p = 0;
    p = (p == buffer.get() ? end_buffer : p) - 1;
  }
  ++*p;
}

bool IntervalEncoder::finish() {
  if (stream == nullptr) return false;
  // The tail pins one value inside the final interval with as few bytes as
  // the remaining length allows.
  const bool another_byte = length > 2 * kIntervalMinLength;
  if (another_byte) {
    add_to_base(kIntervalMinLength);
    length = kIntervalMinLength >> 1;
  } else {
    add_to_base(kIntervalMinLength >> 1);
    length = kIntervalMinLength >> 9;
  }
  emit_bytes();
  // Out in stream order: the unwritten second half first when the write
  // position has wrapped into the first.
  if (end_byte != end_buffer && !stream->write_bytes(buffer.get() + kHalf, kHalf)) {
    write_failed = true;
  }
  const uint32_t pending = static_cast<uint32_t>(out_byte - buffer.get());
  if (pending && !stream->write_bytes(buffer.get(), pending)) write_failed = true;
  if (!stream->write_byte(0) || !stream->write_byte(0)) write_failed = true;
  if (another_byte && !stream->write_byte(0)) write_failed = true;
  stream = nullptr;
  return !write_failed;
}
