#ifndef TALVENOR_NEW_GROUND_PROJECTION_HPP
#define TALVENOR_NEW_GROUND_PROJECTION_HPP

// How the ground tool uses the projector: which units the command line fixed, the command-line
// projection that every output header gets, and each file's own units where the command line
// is silent. Feet are any unit code above 9001 (international or US survey feet).

#include "ground/ground_settings.hpp"

class LASgeoProjector;
class LASheader;

// After the options: records in `settings` whether the command line gave horizontal and
// vertical units (and whether they are feet) and a source projection, and exports that
// projection once as the GeoKeys and double parameters of every output. False when that
// projection cannot be written as keys: every output would then name another system.
bool ground_take_command_line_projection(LASgeoProjector& geo, GroundSettings& settings);

// The units of one input: those the command line gave, the rest from the file's well-known
// text or else its GeoKeys. `horizontal_feet` and `vertical_feet` hold the command line's
// answer on entry and are changed only where it gave none.
void ground_file_units(LASgeoProjector& geo, const GroundSettings& settings,
                       const LASheader& header, bool* horizontal_feet, bool* vertical_feet);

// Whether the input's coordinates are longitude and latitude in degrees: its projection (the
// command line's or, after ground_file_units, the file's) is geographic and the command line gave
// no horizontal units.
bool ground_file_in_degrees(const LASgeoProjector& geo, const GroundSettings& settings);

// After each input: forgets the units and the projection that the file supplied, so that the
// next file starts from the command line's state.
void ground_forget_file_units(LASgeoProjector& geo, const GroundSettings& settings);

#endif
