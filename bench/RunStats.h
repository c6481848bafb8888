// Figures of a benchmark's runs, kept as seconds in vectors in the order
// they ran: percentiles, the median and the mean of one series, and the
// median of the ratios of two series run pair by pair (so that each ratio
// is read from one machine state). Empty series give 0. Pure functions.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace toolbench {

// The value below which the share `part` (0 to 1) of `values` lies.
inline double Percentile(std::vector<double> values, double part) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[size_t(double(values.size() - 1) * part + 0.5)];
}

inline double Median(const std::vector<double>& values) {
  return Percentile(values, 0.5);
}

inline double Mean(const std::vector<double>& values) {
  double sum = 0;
  for (const double value : values) sum += value;
  return values.empty() ? 0 : sum / double(values.size());
}

// The median of a[i] / b[i] over the runs both have.
inline double MedianRatio(const std::vector<double>& a, const std::vector<double>& b) {
  std::vector<double> ratios;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) ratios.push_back(a[i] / b[i]);
  return Median(ratios);
}

}  // namespace toolbench
