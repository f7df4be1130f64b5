#include "compress/item_point14_v3.hpp"

#include <cmath>
#include <cstddef>
#include <cstring>

#include "core/las_point.hpp"

const uint8_t return_level_table[16][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7, 7, 7, 7, 7},
    {1, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7, 7, 7, 7},
    {2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7, 7, 7},
    {3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7, 7},
    {4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7, 7},
    {5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7, 7},
    {6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 7, 7},
    {7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 7},
    {7, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7},
    {7, 7, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6},
    {7, 7, 7, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5},
    {7, 7, 7, 7, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4},
    {7, 7, 7, 7, 7, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3},
    {7, 7, 7, 7, 7, 7, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2},
    {7, 7, 7, 7, 7, 7, 7, 7, 6, 5, 4, 3, 2, 1, 0, 1},
    {7, 7, 7, 7, 7, 7, 7, 7, 7, 6, 5, 4, 3, 2, 1, 0},
};

const uint8_t return_map_table[16][16] = {
    {0, 1, 2, 3, 4, 5, 3, 4, 4, 5, 5, 5, 5, 5, 5, 5},
    {1, 0, 1, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3},
    {2, 1, 2, 4, 4, 4, 4, 4, 4, 4, 4, 3, 3, 3, 3, 3},
    {3, 3, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {5, 3, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {3, 3, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4, 4},
    {4, 3, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4, 4},
    {5, 3, 4, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4, 4},
    {5, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 4, 4, 4, 4, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 4, 4, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 4, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 4},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5},
    {5, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5},
};

namespace {

// Byte positions inside the 48-byte item (the point's own layout).
constexpr size_t kX = offsetof(LASpointData, X);
constexpr size_t kY = offsetof(LASpointData, Y);
constexpr size_t kZ = offsetof(LASpointData, Z);
constexpr size_t kIntensity = offsetof(LASpointData, intensity);
constexpr size_t kReturnByte = offsetof(LASpointData, return_byte);
constexpr size_t kClassByte = offsetof(LASpointData, class_byte);
constexpr size_t kScanAngleRank = offsetof(LASpointData, scan_angle_rank);
constexpr size_t kUserData = offsetof(LASpointData, user_data);
constexpr size_t kPointSource = offsetof(LASpointData, point_source_ID);
constexpr size_t kExtScanAngle = offsetof(LASpointData, extended_scan_angle);
constexpr size_t kExtFlags = offsetof(LASpointData, extended_flags_byte);
constexpr size_t kExtClass = offsetof(LASpointData, extended_classification);
constexpr size_t kExtReturns = offsetof(LASpointData, extended_return_byte);
constexpr size_t kGpsChanged = 28;
constexpr size_t kGpsTime = offsetof(LASpointData, gps_time);
static_assert(kGpsChanged >= offsetof(LASpointData, extended_reserved) + 1 &&
                  kGpsChanged + 4 <= kGpsTime,
              "gps_changed lives in the padding before gps_time");
static_assert(offsetof(LASpointData, rgb) + 8 == kPoint14ItemSize, "item ends after rgb");

template <typename T>
T load(const uint8_t* p, size_t at) {
  T v;
  std::memcpy(&v, p + at, sizeof(T));
  return v;
}
template <typename T>
void store(uint8_t* p, size_t at, T v) {
  std::memcpy(p + at, &v, sizeof(T));
}

uint32_t channel_of(const uint8_t* item) {
  return (item[kExtFlags] >> 2) & 3u;
}
uint32_t return_number_of(const uint8_t* item) {
  return item[kExtReturns] & 15u;
}
uint32_t number_of_returns_of(const uint8_t* item) {
  return item[kExtReturns] >> 4;
}

// (r = 1) + 2 (r >= n) + 4 gps_changed, of a channel's last item.
uint32_t previous_return_context(const uint8_t* last) {
  const uint32_t r = return_number_of(last);
  const uint32_t n = number_of_returns_of(last);
  return (r == 1 ? 1u : 0u) + (r >= n ? 2u : 0u) + (load<uint32_t>(last, kGpsChanged) ? 4u : 0u);
}

// 3 single, 2 first, 1 last, 0 intermediate.
uint32_t return_class(uint32_t n, uint32_t r) {
  return (r == 1 ? 2u : 0u) + (r >= n ? 1u : 0u);
}

// The 6-bit flags value: edge of flight line, scan direction, the four
// extended classification flags.
uint32_t flags_of(const uint8_t* item) {
  return ((item[kReturnByte] >> 7) & 1u) * 32u + ((item[kReturnByte] >> 6) & 1u) * 16u +
         (item[kExtFlags] >> 4);
}

uint32_t y_context(uint32_t n, uint32_t kx) {
  return (n == 1 ? 1u : 0u) + (kx < 20 ? kx & ~1u : 20u);
}
uint32_t z_context(uint32_t n, uint32_t k) {
  return (n == 1 ? 1u : 0u) + (k < 18 ? k & ~1u : 18u);
}

bool fits_in_32(int64_t d) {
  return d >= INT32_MIN && d <= INT32_MAX;
}

// Half away from zero, after the product was taken in single precision. The
// half takes the sign of the value, without a branch: scan angles fall on
// either side of zero as often as not. (-0.0 gets -0.5 where a comparison
// would give it +0.5; both truncate to 0.)
int32_t round_half_away(float f) {
  const double v = f;
  return static_cast<int32_t>(v + std::copysign(0.5, v));
}

int8_t legacy_scan_angle_rank(int16_t extended_scan_angle) {
  int32_t rank = round_half_away(static_cast<float>(extended_scan_angle) * 0.006f);
  if (rank < -128) rank = -128;
  if (rank > 127) rank = 127;
  return static_cast<int8_t>(rank);
}

template <typename Coder>
__attribute__((noinline, cold)) void create_model(std::unique_ptr<SymbolModel>& model,
                                                  const Coder& coder, uint32_t symbols) {
  model = coder.new_symbol_model(symbols);
  model->reset();
}

template <typename Coder>
inline SymbolModel* model_on_first_use(std::unique_ptr<SymbolModel>& model, const Coder& coder,
                                       uint32_t symbols) {
  if (__builtin_expect(!model, 0)) create_model(model, coder, symbols);
  return model.get();
}

uint32_t multiplier_product(uint32_t multiplier, int32_t step) {
  // The prediction is a 32-bit product on purpose: it wraps as stored files expect.
  return multiplier * static_cast<uint32_t>(step);
}

void count_extreme(int32_t* extremes, int32_t* steps, uint32_t sequence, int32_t d) {
  extremes[sequence]++;
  if (extremes[sequence] > 3) {
    steps[sequence] = d;
    extremes[sequence] = 0;
  }
}

template <typename State>
void reset_common(State& s, const uint8_t* item) {
  for (auto& m : s.changed_values) m->reset();
  s.scanner_channel->reset();
  for (auto& m : s.number_of_returns)
    if (m) m->reset();
  s.return_number_gps_same->reset();
  for (auto& m : s.return_number)
    if (m) m->reset();
  for (MedianOfFive& m : s.x_diff_medians) m.init();
  for (MedianOfFive& m : s.y_diff_medians) m.init();
  const int32_t z = load<int32_t>(item, kZ);
  for (int32_t& v : s.z_by_level) v = z;
  for (auto& m : s.classification)
    if (m) m->reset();
  for (auto& m : s.flags)
    if (m) m->reset();
  for (auto& m : s.user_data)
    if (m) m->reset();
  const uint16_t intensity = load<uint16_t>(item, kIntensity);
  for (uint16_t& v : s.intensity_by_class) v = intensity;
  s.gps_multiplier->reset();
  s.gps_zero_difference->reset();
  s.current_sequence = 0;
  s.newest_sequence = 0;
  for (int i = 0; i < 4; i++) {
    s.sequence_step[i] = 0;
    s.sequence_extremes[i] = 0;
    s.sequence_time[i] = 0;
  }
  s.sequence_time[0] = load<uint64_t>(item, kGpsTime);
  std::memcpy(s.last_item, item, kPoint14ItemSize);
  store<uint32_t>(s.last_item, kGpsChanged, 0);
  s.inactive = false;
}

template <typename Coder, typename Layers>
void create_models(ChannelState_POINT14<Coder>& s, Layers& layers,
                   Coder& (*coder_of)(Layers&, uint32_t)) {
  Coder& xy = coder_of(layers, kLayerChannelReturnsXY);
  for (auto& m : s.changed_values) m = xy.new_symbol_model(128);
  s.scanner_channel = xy.new_symbol_model(3);
  s.return_number_gps_same = xy.new_symbol_model(13);
  s.dx = std::make_unique<ResidualCoder>(&xy, 32, 2);
  s.dy = std::make_unique<ResidualCoder>(&xy, 32, 22);
  s.z = std::make_unique<ResidualCoder>(&coder_of(layers, kLayerZ), 32, 20);
  s.intensity = std::make_unique<ResidualCoder>(&coder_of(layers, kLayerIntensity), 16, 4);
  s.scan_angle = std::make_unique<ResidualCoder>(&coder_of(layers, kLayerScanAngle), 16, 2);
  s.point_source = std::make_unique<ResidualCoder>(&coder_of(layers, kLayerPointSource), 16, 1);
  Coder& gps = coder_of(layers, kLayerGpsTime);
  s.gps_multiplier = gps.new_symbol_model(515);
  s.gps_zero_difference = gps.new_symbol_model(5);
  s.gps_time = std::make_unique<ResidualCoder>(&gps, 32, 9);
  s.have_models = true;
}

// Where two layers of a damaged chunk fail in one point, the reader throws
// the failure of the field it has always decoded first, in the order
// classification, X, flags, user data, intensity, Y, GPS time, scan angle,
// point source, Z: it goes on after corrupt data (4711) but not after a layer
// that ends early (-1). A layer decoded ahead of fields before it notes its
// failure, thrown here once those fields are done.
void throw_noted(const IntervalDecoder& d) {
  if (__builtin_expect(d.noted_failure() != 0, 0)) throw d.noted_failure();
}

IntervalDecoder& decoder_of(LayersIn& layers, uint32_t i) {
  return layers[i].decoder;
}
IntervalEncoder& encoder_of(LayersOut& layers, uint32_t i) {
  return layers[i].encoder;
}

}  // namespace

// ---------------------------------------------------------------- reading

LASreadItemCompressed_POINT14_v3::LASreadItemCompressed_POINT14_v3(IntervalDecoder* decoder,
                                                                   uint32_t layer_request_mask,
                                                                   bool version4)
    : file_decoder(decoder), version4(version4), layers(kPoint14Layers) {
  layers[kLayerChannelReturnsXY].requested = true;
  for (uint32_t i = 1; i < kPoint14Layers; i++) {
    layers[i].requested = (layer_request_mask >> (i - 1)) & 1u;
  }
  // Decoded ahead of fields before them (see read_item).
  layers[kLayerIntensity].decoder.note_failures();
  layers[kLayerScanAngle].decoder.note_failures();
  layers[kLayerZ].decoder.note_failures();
}

LASreadItemCompressed_POINT14_v3::~LASreadItemCompressed_POINT14_v3() = default;

bool LASreadItemCompressed_POINT14_v3::read_layer_sizes() {
  layers.read_counts(file_decoder->get_stream());
  return true;
}

bool LASreadItemCompressed_POINT14_v3::start_chunk(uint8_t* item, uint32_t& context) {
  if (!layers.load(file_decoder->get_stream())) return false;
  // Every point after the first decodes its change mask from this layer, and
  // a writer always finishes it with bytes: without any the chunk is corrupt.
  if (layers[kLayerChannelReturnsXY].num_bytes == 0) return false;
  present_layers = 0;
  for (uint32_t i = 0; i < kPoint14Layers; i++) {
    if (layers[i].changed) present_layers |= 1u << i;
  }
  for (State& s : channels) s.inactive = true;
  current_channel = channel_of(item);
  context = current_channel;
  init_channel_state(current_channel, item);
  return true;
}

void LASreadItemCompressed_POINT14_v3::init_channel_state(uint32_t channel, const uint8_t* item) {
  State& s = channels[channel];
  if (!s.have_models) create_models<IntervalDecoder, LayersIn>(s, layers, decoder_of);
  s.dx->prepare_decode();
  s.dy->prepare_decode();
  s.z->prepare_decode();
  s.intensity->prepare_decode();
  s.scan_angle->prepare_decode();
  s.point_source->prepare_decode();
  s.gps_time->prepare_decode();
  reset_common(s, item);
}

void LASreadItemCompressed_POINT14_v3::read_item(uint8_t* item, uint32_t& context) {
  State* s = &channels[current_channel];
  uint8_t* last = s->last_item;
  // The chains of symbols run through Runs, whose intervals stay in registers
  // across the stores to the point's bytes.
  IntervalDecoder::Run dec(layers[kLayerChannelReturnsXY].decoder);
  const uint32_t present = present_layers;

  const uint32_t changed = dec.get_symbol(s->changed_values[previous_return_context(last)].get());
  if (changed & (1u << 6)) {
    const uint32_t step = dec.get_symbol(s->scanner_channel.get());
    const uint32_t channel = (current_channel + step + 1) & 3u;
    // A channel met for the first time in this chunk starts from the current one.
    if (channels[channel].inactive) init_channel_state(channel, last);
    current_channel = channel;
    context = channel;
    s = &channels[channel];
    last = s->last_item;
    last[kExtFlags] = static_cast<uint8_t>((last[kExtFlags] & ~0x0Cu) | (channel << 2));
  }
  if (version4) context = current_channel;

  uint32_t n = number_of_returns_of(last);
  const uint32_t r0 = return_number_of(last);
  if (changed & (1u << 2)) {
    n = dec.get_symbol(model_on_first_use(s->number_of_returns[n], dec.decoder(), 16));
  }
  uint32_t r = r0;
  switch (changed & 3u) {
    case 1:
      r = (r0 + 1) & 15u;
      break;
    case 2:
      r = (r0 + 15) & 15u;
      break;
    case 3:
      if (changed & (1u << 4)) {
        r = dec.get_symbol(model_on_first_use(s->return_number[r0], dec.decoder(), 16));
      } else {
        r = (r0 + dec.get_symbol(s->return_number_gps_same.get()) + 2) & 15u;
      }
      break;
  }
  last[kExtReturns] = static_cast<uint8_t>(r | (n << 4));
  uint32_t legacy_r = r & 7u;
  uint32_t legacy_n = n;
  if (n > 7) {
    legacy_n = 7;
    legacy_r = r <= 6 ? r : (r >= n ? 7u : 6u);
  }
  last[kReturnByte] =
      static_cast<uint8_t>((last[kReturnByte] & 0xC0u) | legacy_r | (legacy_n << 3));

  const uint32_t m = return_map_table[n][r];
  const uint32_t l = return_level_table[n][r];
  const uint32_t cpr = return_class(n, r);
  const uint32_t g = (changed >> 4) & 1u;

  if (present & (1u << kLayerClassification)) {
    IntervalDecoder& d = layers[kLayerClassification].decoder;
    const uint32_t index = (last[kExtClass] & 31u) * 2 + (cpr == 3 ? 1u : 0u);
    const uint32_t c = d.get_symbol(model_on_first_use(s->classification[index], d, 256));
    last[kExtClass] = static_cast<uint8_t>(c);
    last[kClassByte] = static_cast<uint8_t>((last[kClassByte] & 0xE0u) | (c < 32 ? c : 0u));
  }
  // The length classes of intensity and scan angle are decoded before X's,
  // and Z's before the rest of Y: the processor works on these layers while
  // X and Y wait on their chain of divisions, and a branch on a length class
  // comes once the class is known instead of throwing away the other layers'
  // work after a wrong guess. Their decoders note a failure, thrown where the
  // fields before it are done.
  const bool has_intensity = present & (1u << kLayerIntensity);
  const bool has_scan_angle = (present & (1u << kLayerScanAngle)) && (changed & (1u << 3));
  const bool has_z = present & (1u << kLayerZ);
  IntervalDecoder::Run di(layers[kLayerIntensity].decoder);
  IntervalDecoder::Run ds(layers[kLayerScanAngle].decoder);
  IntervalDecoder::Run dz(layers[kLayerZ].decoder);
  uint32_t ki = 0;
  uint32_t ks = 0;
  if (has_intensity) ki = s->intensity->decode_class(di, cpr);
  if (has_scan_angle) ks = s->scan_angle->decode_class(ds, g);
  const uint32_t kx = s->dx->decode_class(dec, n == 1 ? 1u : 0u);
  if (has_intensity) {
    uint16_t& predicted = s->intensity_by_class[cpr * 2 + g];
    predicted = static_cast<uint16_t>(s->intensity->decode_in_class(di, ki, predicted));
    store<uint16_t>(last, kIntensity, predicted);
  }
  if (has_scan_angle) {
    const int16_t angle = static_cast<int16_t>(
        s->scan_angle->decode_in_class(ds, ks, load<int16_t>(last, kExtScanAngle)));
    store<int16_t>(last, kExtScanAngle, angle);
    store<int8_t>(last, kScanAngleRank, legacy_scan_angle_rank(angle));
  }
  MedianOfFive& mx = s->x_diff_medians[m * 2 + g];
  const int32_t dx = s->dx->decode_in_class(dec, kx, mx.get());
  store<uint32_t>(last, kX, load<uint32_t>(last, kX) + static_cast<uint32_t>(dx));
  mx.add(dx);
  if (present & (1u << kLayerFlags)) {
    IntervalDecoder& d = layers[kLayerFlags].decoder;
    const uint32_t f = d.get_symbol(model_on_first_use(s->flags[flags_of(last)], d, 64));
    last[kReturnByte] = static_cast<uint8_t>((last[kReturnByte] & 0x3Fu) | ((f >> 4) & 1u) << 6 |
                                             ((f >> 5) & 1u) << 7);
    last[kExtFlags] = static_cast<uint8_t>((last[kExtFlags] & 0x0Fu) | (f & 15u) << 4);
    last[kClassByte] = static_cast<uint8_t>((last[kClassByte] & 0x1Fu) | (f & 7u) << 5);
  }
  if (present & (1u << kLayerUserData)) {
    IntervalDecoder& d = layers[kLayerUserData].decoder;
    last[kUserData] = static_cast<uint8_t>(
        d.get_symbol(model_on_first_use(s->user_data[last[kUserData] / 4], d, 256)));
  }
  throw_noted(di.decoder());

  const uint32_t ky = s->dy->decode_class(dec, y_context(n, kx));
  uint32_t kz = 0;
  if (has_z) kz = s->z->decode_class(dz, z_context(n, (kx + ky) / 2));
  MedianOfFive& my = s->y_diff_medians[m * 2 + g];
  const int32_t dy = s->dy->decode_in_class(dec, ky, my.get());
  store<uint32_t>(last, kY, load<uint32_t>(last, kY) + static_cast<uint32_t>(dy));
  my.add(dy);
  if ((present & (1u << kLayerGpsTime)) && (changed & (1u << 4))) {
    decode_gps_time(*s);
    store<uint64_t>(last, kGpsTime, s->sequence_time[s->current_sequence]);
  }
  throw_noted(ds.decoder());
  if ((present & (1u << kLayerPointSource)) && (changed & (1u << 5))) decode_point_source(*s);
  if (has_z) {
    const int32_t z = s->z->decode_in_class(dz, kz, s->z_by_level[l]);
    store<int32_t>(last, kZ, z);
    s->z_by_level[l] = z;
  }
  throw_noted(dz.decoder());
  dec.commit();
  di.commit();
  ds.commit();
  dz.commit();
  std::memcpy(item, last, kPoint14ItemSize);
  store<uint32_t>(last, kGpsChanged, g);
}

// Out of line: the point source changes with the flight line only, and the
// per-point code stays smaller.
void LASreadItemCompressed_POINT14_v3::decode_point_source(State& s) {
  const uint16_t id = load<uint16_t>(s.last_item, kPointSource);
  store<uint16_t>(
      s.last_item, kPointSource,
      static_cast<uint16_t>(s.point_source->decode(layers[kLayerPointSource].decoder, id, 0)));
}

void LASreadItemCompressed_POINT14_v3::decode_gps_time(State& s) {
  IntervalDecoder& dec = layers[kLayerGpsTime].decoder;
  // The symbols choose the sequence, the prediction and the context of the
  // one residual that follows; it is decoded at one place, so that its
  // decoder is inlined once and not for every context.
  enum class Kind { kFirst, kSame, kMultiple, kExtreme, kNew };
  uint32_t& cur = s.current_sequence;
  Kind kind;
  int32_t prediction = 0;
  uint32_t residual_context;
  for (;;) {
    if (s.sequence_step[cur] == 0) {
      const uint32_t sym = dec.get_symbol(s.gps_zero_difference.get());
      if (sym == 0) {
        kind = Kind::kFirst;
        residual_context = 0;
        break;
      }
      if (sym >= 2) {
        cur = (cur + sym - 1) & 3u;
        continue;
      }
      kind = Kind::kNew;
      break;
    }
    const uint32_t sym = dec.get_symbol(s.gps_multiplier.get());
    const int32_t step = s.sequence_step[cur];
    if (sym == 1) {
      kind = Kind::kSame;
      prediction = step;
      residual_context = 1;
      break;
    }
    if (sym < 511) {
      kind = Kind::kMultiple;
      if (sym == 0) {
        kind = Kind::kExtreme;
        residual_context = 7;
      } else if (sym < 10) {
        prediction = static_cast<int32_t>(multiplier_product(sym, step));
        residual_context = 2;
      } else if (sym < 500) {
        prediction = static_cast<int32_t>(multiplier_product(sym, step));
        residual_context = 3;
      } else if (sym == 500) {
        kind = Kind::kExtreme;
        prediction = static_cast<int32_t>(multiplier_product(500, step));
        residual_context = 4;
      } else if (sym < 510) {
        prediction = static_cast<int32_t>(multiplier_product(500u - sym, step));
        residual_context = 5;
      } else {
        kind = Kind::kExtreme;
        prediction = static_cast<int32_t>(multiplier_product(0u - 10u, step));
        residual_context = 6;
      }
      break;
    }
    if (sym > 511) {
      cur = (cur + sym - 511) & 3u;
      continue;
    }
    kind = Kind::kNew;
    break;
  }
  if (kind == Kind::kNew) {
    // A new sequence: the high half predicted by the current one's, the low half raw.
    prediction = static_cast<int32_t>(s.sequence_time[cur] >> 32);
    residual_context = 8;
  }
  const int32_t d = s.gps_time->decode(dec, prediction, residual_context);
  switch (kind) {
    case Kind::kFirst:
      s.sequence_step[cur] = d;
      s.sequence_time[cur] += static_cast<uint64_t>(static_cast<int64_t>(d));
      s.sequence_extremes[cur] = 0;
      break;
    case Kind::kSame:
      s.sequence_time[cur] += static_cast<uint64_t>(static_cast<int64_t>(d));
      s.sequence_extremes[cur] = 0;
      break;
    case Kind::kExtreme:
      count_extreme(s.sequence_extremes, s.sequence_step, cur, d);
      s.sequence_time[cur] += static_cast<uint64_t>(static_cast<int64_t>(d));
      break;
    case Kind::kMultiple:
      s.sequence_time[cur] += static_cast<uint64_t>(static_cast<int64_t>(d));
      break;
    case Kind::kNew: {
      const uint32_t high = static_cast<uint32_t>(d);
      const uint32_t low = dec.get_raw_u32();
      s.newest_sequence = (s.newest_sequence + 1) & 3u;
      cur = s.newest_sequence;
      s.sequence_time[cur] = (static_cast<uint64_t>(high) << 32) | low;
      s.sequence_step[cur] = 0;
      s.sequence_extremes[cur] = 0;
      break;
    }
  }
}

// ---------------------------------------------------------------- writing

LASwriteItemCompressed_POINT14_v3::LASwriteItemCompressed_POINT14_v3(IntervalEncoder* encoder,
                                                                     bool version4)
    : file_encoder(encoder), version4(version4), layers(kPoint14Layers) {}

LASwriteItemCompressed_POINT14_v3::~LASwriteItemCompressed_POINT14_v3() = default;

void LASwriteItemCompressed_POINT14_v3::init_channel_state(uint32_t channel, const uint8_t* item) {
  State& s = channels[channel];
  if (!s.have_models) create_models<IntervalEncoder, LayersOut>(s, layers, encoder_of);
  s.dx->prepare_encode();
  s.dy->prepare_encode();
  s.z->prepare_encode();
  s.intensity->prepare_encode();
  s.scan_angle->prepare_encode();
  s.point_source->prepare_encode();
  s.gps_time->prepare_encode();
  reset_common(s, item);
}

bool LASwriteItemCompressed_POINT14_v3::start_chunk(const uint8_t* item, uint32_t& context) {
  layers.start();
  layers[kLayerChannelReturnsXY].changed = true;
  layers[kLayerZ].changed = true;
  for (State& s : channels) s.inactive = true;
  // The reader seeds from the chunk's first point as the raw record brings it
  // back, not from this point's extended fields: where the point's legacy and
  // extended copies of class or flags disagree, seeding from the item would
  // make every later point of the chunk decode against a different context.
  LASpointData seed;
  std::memcpy(static_cast<void*>(&seed), item, kPoint14ItemSize);
  uint8_t record[30];
  LASwriteItemRaw_POINT14_LE::point_to_record(item, record);
  LASreadItemRaw_POINT14_LE::record_to_point(record, reinterpret_cast<uint8_t*>(&seed));
  const uint8_t* first = reinterpret_cast<const uint8_t*>(&seed);
  current_channel = channel_of(first);
  context = current_channel;
  init_channel_state(current_channel, first);
  return true;
}

bool LASwriteItemCompressed_POINT14_v3::write_item(const uint8_t* item, uint32_t& context) {
  State* s = &channels[current_channel];
  uint8_t* last = s->last_item;
  IntervalEncoder& enc = layers[kLayerChannelReturnsXY].encoder;

  const uint32_t return_context = previous_return_context(last);
  const uint32_t channel = channel_of(item);
  const uint8_t* compare = last;
  if (channel != current_channel && !channels[channel].inactive) {
    compare = channels[channel].last_item;
  }
  const uint32_t n = number_of_returns_of(item);
  const uint32_t r = return_number_of(item);
  const uint32_t r0 = return_number_of(compare);
  // GPS times are compared by their bits, so that -0.0 after 0.0 and NaN
  // payloads survive; the reader only follows the mask bit.
  const bool gps_changed = load<uint64_t>(item, kGpsTime) != load<uint64_t>(compare, kGpsTime);
  uint32_t changed = 0;
  if (channel != current_channel) changed |= 1u << 6;
  if (load<uint16_t>(item, kPointSource) != load<uint16_t>(compare, kPointSource)) {
    changed |= 1u << 5;
  }
  if (gps_changed) changed |= 1u << 4;
  if (load<int16_t>(item, kExtScanAngle) != load<int16_t>(compare, kExtScanAngle)) {
    changed |= 1u << 3;
  }
  if (n != number_of_returns_of(compare)) changed |= 1u << 2;
  if (r == r0) {
  } else if (r == ((r0 + 1) & 15u)) {
    changed |= 1u;
  } else if (r == ((r0 + 15) & 15u)) {
    changed |= 2u;
  } else {
    changed |= 3u;
  }
  enc.put_symbol(s->changed_values[return_context].get(), changed);

  if (changed & (1u << 6)) {
    enc.put_symbol(s->scanner_channel.get(), (channel - current_channel - 1) & 3u);
    if (channels[channel].inactive) init_channel_state(channel, last);
    current_channel = channel;
    context = channel;
    s = &channels[channel];
    last = s->last_item;
  }
  if (version4) context = current_channel;

  if (changed & (1u << 2)) {
    enc.put_symbol(model_on_first_use(s->number_of_returns[number_of_returns_of(last)], enc, 16),
                   n);
  }
  if ((changed & 3u) == 3u) {
    if (gps_changed) {
      enc.put_symbol(model_on_first_use(s->return_number[r0], enc, 16), r);
    } else {
      enc.put_symbol(s->return_number_gps_same.get(), (r - r0 - 2) & 15u);
    }
  }

  const uint32_t m = return_map_table[n][r];
  const uint32_t l = return_level_table[n][r];
  const uint32_t cpr = return_class(n, r);
  const uint32_t g = gps_changed ? 1u : 0u;

  MedianOfFive& mx = s->x_diff_medians[m * 2 + g];
  const int32_t dx = static_cast<int32_t>(load<uint32_t>(item, kX) - load<uint32_t>(last, kX));
  s->dx->encode(mx.get(), dx, n == 1 ? 1u : 0u);
  mx.add(dx);
  MedianOfFive& my = s->y_diff_medians[m * 2 + g];
  const int32_t dy = static_cast<int32_t>(load<uint32_t>(item, kY) - load<uint32_t>(last, kY));
  s->dy->encode(my.get(), dy, y_context(n, s->dx->k()));
  my.add(dy);

  const uint32_t kz = (s->dx->k() + s->dy->k()) / 2;
  const int32_t z = load<int32_t>(item, kZ);
  s->z->encode(s->z_by_level[l], z, z_context(n, kz));
  s->z_by_level[l] = z;

  {
    LayerOut& layer = layers[kLayerClassification];
    const uint32_t index = (last[kExtClass] & 31u) * 2 + (cpr == 3 ? 1u : 0u);
    if (item[kExtClass] != last[kExtClass]) layer.changed = true;
    layer.encoder.put_symbol(model_on_first_use(s->classification[index], layer.encoder, 256),
                             item[kExtClass]);
  }
  {
    LayerOut& layer = layers[kLayerFlags];
    const uint32_t f = flags_of(item);
    const uint32_t f_last = flags_of(last);
    if (f != f_last) layer.changed = true;
    layer.encoder.put_symbol(model_on_first_use(s->flags[f_last], layer.encoder, 64), f);
  }
  {
    const uint16_t intensity = load<uint16_t>(item, kIntensity);
    if (intensity != load<uint16_t>(last, kIntensity)) layers[kLayerIntensity].changed = true;
    uint16_t& predicted = s->intensity_by_class[cpr * 2 + g];
    s->intensity->encode(predicted, intensity, cpr);
    predicted = intensity;
  }
  if (changed & (1u << 3)) {
    layers[kLayerScanAngle].changed = true;
    s->scan_angle->encode(load<int16_t>(last, kExtScanAngle), load<int16_t>(item, kExtScanAngle),
                          g);
  }
  {
    LayerOut& layer = layers[kLayerUserData];
    if (item[kUserData] != last[kUserData]) layer.changed = true;
    layer.encoder.put_symbol(
        model_on_first_use(s->user_data[last[kUserData] / 4], layer.encoder, 256), item[kUserData]);
  }
  if (changed & (1u << 5)) {
    layers[kLayerPointSource].changed = true;
    s->point_source->encode(load<uint16_t>(last, kPointSource), load<uint16_t>(item, kPointSource),
                            0);
  }
  if (gps_changed) {
    layers[kLayerGpsTime].changed = true;
    encode_gps_time(*s, load<uint64_t>(item, kGpsTime));
  }
  std::memcpy(last, item, kPoint14ItemSize);
  store<uint32_t>(last, kGpsChanged, g);
  return true;
}

void LASwriteItemCompressed_POINT14_v3::encode_gps_time(State& s, uint64_t t) {
  IntervalEncoder& enc = layers[kLayerGpsTime].encoder;
  for (;;) {
    uint32_t& cur = s.current_sequence;
    const int64_t d64 = static_cast<int64_t>(t - s.sequence_time[cur]);
    const bool first_difference = s.sequence_step[cur] == 0;
    if (fits_in_32(d64)) {
      const int32_t d = static_cast<int32_t>(d64);
      if (first_difference) {
        enc.put_symbol(s.gps_zero_difference.get(), 0);
        s.gps_time->encode(0, d, 0);
        s.sequence_step[cur] = d;
        s.sequence_extremes[cur] = 0;
        break;
      }
      const int32_t step = s.sequence_step[cur];
      const float quotient = static_cast<float>(d) / static_cast<float>(step);
      const double q = quotient;
      const int64_t multi = static_cast<int64_t>(q >= 0.0 ? q + 0.5 : q - 0.5);
      if (multi == 1) {
        enc.put_symbol(s.gps_multiplier.get(), 1);
        s.gps_time->encode(step, d, 1);
        s.sequence_extremes[cur] = 0;
      } else if (multi >= 2 && multi < 500) {
        const uint32_t m = static_cast<uint32_t>(multi);
        enc.put_symbol(s.gps_multiplier.get(), m);
        s.gps_time->encode(static_cast<int32_t>(multiplier_product(m, step)), d, m < 10 ? 2 : 3);
      } else if (multi >= 500) {
        enc.put_symbol(s.gps_multiplier.get(), 500);
        s.gps_time->encode(static_cast<int32_t>(multiplier_product(500, step)), d, 4);
        count_extreme(s.sequence_extremes, s.sequence_step, cur, d);
      } else if (multi <= -1 && multi > -10) {
        const uint32_t m = static_cast<uint32_t>(static_cast<int32_t>(multi));
        enc.put_symbol(s.gps_multiplier.get(), 500u - m);
        s.gps_time->encode(static_cast<int32_t>(multiplier_product(m, step)), d, 5);
      } else if (multi <= -10) {
        enc.put_symbol(s.gps_multiplier.get(), 510);
        s.gps_time->encode(static_cast<int32_t>(multiplier_product(0u - 10u, step)), d, 6);
        count_extreme(s.sequence_extremes, s.sequence_step, cur, d);
      } else {
        enc.put_symbol(s.gps_multiplier.get(), 0);
        s.gps_time->encode(0, d, 7);
        count_extreme(s.sequence_extremes, s.sequence_step, cur, d);
      }
      break;
    }
    uint32_t other = 0;
    for (uint32_t i = 1; i < 4; i++) {
      const int64_t di = static_cast<int64_t>(t - s.sequence_time[(cur + i) & 3u]);
      if (fits_in_32(di)) {
        other = i;
        break;
      }
    }
    if (other) {
      enc.put_symbol(first_difference ? s.gps_zero_difference.get() : s.gps_multiplier.get(),
                     first_difference ? other + 1 : 511 + other);
      cur = (cur + other) & 3u;
      continue;
    }
    enc.put_symbol(first_difference ? s.gps_zero_difference.get() : s.gps_multiplier.get(),
                   first_difference ? 1u : 511u);
    s.gps_time->encode(static_cast<int32_t>(s.sequence_time[cur] >> 32),
                       static_cast<int32_t>(t >> 32), 8);
    enc.put_raw_u32(static_cast<uint32_t>(t));
    s.newest_sequence = (s.newest_sequence + 1) & 3u;
    cur = s.newest_sequence;
    s.sequence_step[cur] = 0;
    s.sequence_extremes[cur] = 0;
    break;
  }
  s.sequence_time[s.current_sequence] = t;
}

bool LASwriteItemCompressed_POINT14_v3::write_layer_sizes() {
  return layers.write_counts(file_encoder->get_stream());
}

bool LASwriteItemCompressed_POINT14_v3::write_layer_bytes() {
  return layers.write_bytes(file_encoder->get_stream());
}
