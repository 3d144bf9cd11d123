// One motion at a station: acceleration and its two running integrals,
// sample i (counted from 1) at element i - 1. The observed, element and
// synthetic motions of a run are each one of these.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <vector>

namespace model {

// A view of the three series of a motion, sample 1 first.
struct MotionView {
  std::span<const float> acc, vel, disp;

  // Series q: 0 acceleration, 1 velocity, 2 displacement.
  std::span<const float> operator[](int q) const { return q == 0 ? acc : q == 1 ? vel : disp; }
};

struct Motion {
  std::vector<float> acc, vel, disp;

  Motion() = default;
  // Three series of `samples` zeros.
  explicit Motion(std::size_t samples) : acc(samples), vel(samples), disp(samples) {}

  // The three series in the order acceleration, velocity, displacement.
  std::array<std::span<float>, 3> series() { return {acc, vel, disp}; }
  std::array<std::span<const float>, 3> series() const { return {acc, vel, disp}; }
  MotionView view() const { return {acc, vel, disp}; }
};

}  // namespace model
