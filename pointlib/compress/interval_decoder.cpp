#include "compress/interval_decoder.hpp"

bool IntervalDecoder::start(ByteStreamIn* stream, bool read_value) {
  if (stream == nullptr) return false;
  this->stream = stream;
  iv.length = 0xFFFFFFFFu;
  noted = 0;
  // A decoder started without its value (a layered chunk's shared decoder)
  // must not keep the value of the chunk decoded before: restarting a chunk
  // would then decode it differently.
  iv.value = 0;
  if (read_value) read_initial_value();
  return true;
}

void IntervalDecoder::stop() {
  none.init(nullptr, 0);
  stream = &none;
  iv = {0, 0xFFFFFFFFu};
}

IntervalDecoder::Interval IntervalDecoder::renormalised(uint32_t v, uint32_t len) {
  // A throw from the stream would leave the interval below its minimum
  // length: the decoder lets go of the stream before it passes the throw on.
  try {
    do {
      v = (v << 8) | static_cast<uint32_t>(stream->get_byte());
      len <<= 8;
    } while (len < kIntervalMinLength);
  } catch (int code) {
    stop();
    fail(code);
    return iv;
  } catch (...) {
    stop();
    throw;
  }
  return {v, len};
}

void IntervalDecoder::read_initial_value() {
  uint32_t v = static_cast<uint32_t>(stream->get_byte()) << 24;
  v |= static_cast<uint32_t>(stream->get_byte()) << 16;
  v |= static_cast<uint32_t>(stream->get_byte()) << 8;
  iv.value = v | static_cast<uint32_t>(stream->get_byte());
}

uint32_t IntervalDecoder::find_symbol(SymbolModel* m, uint32_t d) {
  // While the value stays inside the interval d cannot pass the table's last
  // slice; beyond it the data is corrupt (and a noting decoder goes on with
  // the last symbol).
  if (d > m->corrupt_above) fail(4711);
  if (m->decoder_table && m->table_limit == 0) m->fill_decoder_table();
  // Bisection: the distribution values rise strictly from 0.
  uint32_t symbol = 0;
  uint32_t n = m->symbols;
  while (n - symbol > 1) {
    const uint32_t k = (symbol + n) >> 1;
    if (m->distribution[k] > d) {
      n = k;
    } else {
      symbol = k;
    }
  }
  return symbol;
}

void IntervalDecoder::fail(int code) {
  if (!noting) throw code;
  if (noted == 0) noted = code;
}
