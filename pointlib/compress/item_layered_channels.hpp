#ifndef POINTLIB_COMPRESS_ITEM_LAYERED_CHANNELS_HPP
#define POINTLIB_COMPRESS_ITEM_LAYERED_CHANNELS_HPP

#include <cstdint>

// How the items after POINT14 (colour, near infrared, wave packet, extra
// bytes) follow the scanner channel that POINT14 hands them in the point's
// context. `last` is the item's working last item. A record met for the first
// time in the chunk starts from the working last item. Version 3 keeps the
// working last item when it switches into a record that is already active
// (and POINT14 of version 3 hands over 0 at every point where the channel did
// not change); version 4 always works on the record's own last item.
template <typename Item, typename Byte>
void follow_channel(Item& coder, uint32_t k, bool version4, Byte*& last) {
  if (k == coder.current_channel) return;
  auto& record = coder.channels[k];
  if (record.inactive) {
    coder.init_channel_state(k, last);
    last = &record.last_item[0];
  } else if (version4) {
    last = &record.last_item[0];
  }
  coder.current_channel = k;
}

#endif
