#ifndef TALVENOR_NEW_GROUND_GROUND_OUTPUT_HPP
#define TALVENOR_NEW_GROUND_GROUND_OUTPUT_HPP

// What the output pass does to one point: its new classification, and its height above the
// ground TIN in tenths for the user data or as a raw Z.

#include <cstdint>

#include "tin/tin.hpp"

class LASpoint;

// Low 5 bits of the legacy class byte (flags kept) and the extended class become `c`.
void set_ground_tool_class(LASpoint& point, uint8_t c);

// Height in tenths of the vertical unit, rounded half away from zero, clamped to 0..255.
uint8_t height_to_user_data(float height, float scale = 10.0f);
// Raw Z of a height for a z scale factor and an offset of 0, rounded half away from zero.
int32_t height_to_raw_z(float height, double z_scale);

// Height of the ground surface under (x, y): locates the position in the TIN from `hint`
// (updated), moving it by a few scale units while it sits exactly on a vertex. False when the
// position cannot be located or its triangle cannot interpolate it (message printed).
bool ground_surface_z(float x, float y, double x_scale, double y_scale, TINlocation* hint,
                      float* z);

#endif
