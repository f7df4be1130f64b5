#include "ground/ground_settings.hpp"

#include <algorithm>

void derive_mode_settings(GroundSettings& s) {
  if (!ground_given(s.step)) {
    if (s.metro) {
      s.step = 50.0f;
    } else if (s.city) {
      s.step = 25.0f;
    } else if (s.town) {
      s.step = 10.0f;
    } else if (s.nature) {
      s.step = 5.0f;
    } else if (s.wilderness) {
      s.step = 3.0f;
    } else if (s.archeology) {
      s.step = 1.0f;
      if (!ground_given(s.offset)) s.offset = 0.02f;
      if (!ground_given(s.spike)) s.spike = 0.35f;
    } else {
      s.step = 25.0f;
    }
  }
  if (s.sub == -1) {
    if (s.step > 100) {
      s.sub = 9;
    } else if (s.step > 60) {
      s.sub = 8;
    } else if (s.step > 40) {
      s.sub = 7;
    } else if (s.step > 30) {
      s.sub = 6;
    } else if (s.step > 15) {
      s.sub = 5;
    } else if (s.step > 5) {
      s.sub = 4;
    } else {
      s.sub = 3;
    }
  }
}

const char* ground_mode_word(const GroundSettings& s) {
  if (s.town) return "town";
  if (s.city) return "city";
  if (s.metro) return "metro";
  if (s.wilderness) return "wilderness";
  return "nature";
}

GroundParameters ground_parameters(const GroundSettings& s, bool horizontal_feet,
                                   bool vertical_feet) {
  GroundParameters p;
  p.horizontal_feet = horizontal_feet;
  p.vertical_feet = vertical_feet;
  const float hf = horizontal_feet ? 3.0f : 1.0f;
  const float vf = vertical_feet ? 3.0f : 1.0f;
  p.step = s.step * hf;
  p.sub = s.sub;
  p.finest = (s.step > 16 ? 2.0f : s.step * 0.125f) * hf;
  p.fine_threshold = horizontal_feet ? 15.0f : 5.0f;
  p.has_fine = p.step / 4 >= p.fine_threshold;
  const float spike = ground_given(s.spike) ? s.spike : 1.0f;
  p.spike = spike * vf;
  p.down_spike = (ground_given(s.down_spike) ? s.down_spike : spike) * vf;
  p.offset = (ground_given(s.offset) ? s.offset : 0.05f) * vf;
  if (ground_given(s.bulge)) {
    p.bulge = s.bulge;
    p.integration_bulge = s.bulge * 0.5f;
  } else {
    p.bulge = std::min(std::max(p.step / 10, 1.0f), 2.0f);
    p.integration_bulge = std::min(std::max(p.step / 20, 0.25f), 0.75f);
  }
  // The bulge follows the vertical unit; the step it may derive from follows the horizontal one.
  if (horizontal_feet != vertical_feet) {
    if (horizontal_feet) {
      p.bulge /= 3;
      p.integration_bulge /= 3;
    } else {
      p.bulge *= 3;
      p.integration_bulge *= 3;
    }
  }
  return p;
}
