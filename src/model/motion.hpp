// One motion at a station: acceleration and its two running integrals,
// sample i (counted from 1) at element i - 1. The observed, element and
// synthetic motions of a run are each one of these.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

namespace model {

struct Motion {
  std::vector<float> acc, vel, disp;

  Motion() = default;
  // Three series of `samples` zeros.
  explicit Motion(std::size_t samples) : acc(samples), vel(samples), disp(samples) {}

  // The three series in the order acceleration, velocity, displacement.
  std::array<std::span<float>, 3> series() { return {acc, vel, disp}; }
  std::array<std::span<const float>, 3> series() const { return {acc, vel, disp}; }
};

}  // namespace model
