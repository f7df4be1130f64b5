#include "compress/interval_decoder.hpp"

bool IntervalDecoder::start(ByteStreamIn* stream, bool read_value) {
  if (stream == nullptr) return false;
  this->stream = stream;
  length = 0xFFFFFFFFu;
  // A decoder started without its value (a layered chunk's shared decoder)
  // must not keep the value of the chunk decoded before: restarting a chunk
  // would then decode it differently.
  value = 0;
  if (read_value) read_initial_value();
  return true;
}

void IntervalDecoder::stop() {
  none.init(nullptr, 0);
  stream = &none;
  value = 0;
  length = 0xFFFFFFFFu;
}

void IntervalDecoder::read_initial_value() {
  value = static_cast<uint32_t>(stream->read_byte()) << 24;
  value |= static_cast<uint32_t>(stream->read_byte()) << 16;
  value |= static_cast<uint32_t>(stream->read_byte()) << 8;
  value |= static_cast<uint32_t>(stream->read_byte());
}
