#ifndef POINTLIB_FILTER_OPERATIONS_WAVEPACKET_HPP
#define POINTLIB_FILTER_OPERATIONS_WAVEPACKET_HPP

#include "filter/las_operation.hpp"

// Operations on the wave packet of a point.

// clang-format off
PL_OPERATION(LASoperationFlipWaveformDirection, "flip_waveform_direction", FIELD_WAVEPACKET, (),
             point->wavepacket.set_xt(-point->wavepacket.get_xt());
             point->wavepacket.set_yt(-point->wavepacket.get_yt());
             point->wavepacket.set_zt(-point->wavepacket.get_zt());)
// clang-format on

#endif  // POINTLIB_FILTER_OPERATIONS_WAVEPACKET_HPP
