// Inside model averaging: the statistics of one parameter's sample values and the averaged
// model the selection state takes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "selection/resample.h"

namespace vsf {

struct StepView;
struct SelectionState;

// The averaged statistics of one parameter (missing values are the host's ".").
struct ParameterSummary {
  double avgEstimate = 0, avgMedian = 0, avgLower = 0, avgUpper = 0, avgStdDev = 0;
  double nzEstimate = 0, nzMedian = 0, nzLower = 0, nzUpper = 0, nzStdDev = 0;
};

// The p quantile of n sorted values read through at(i): the inverse of the empirical
// distribution function, averaging the two values where p x n is whole. Indexes are clamped
// to the values; "." when n is 0.
double quantileOf(int32_t n, double p, const std::function<double(int32_t)>& at);
double medianOf(int32_t n, const std::function<double(int32_t)>& at);

// The standard deviation (divisor n + zeros - 1) of the n values x together with `zeros` more
// values of 0; "." below two values. Two passes about the first value: identical values give
// exactly 0, and a large common offset costs no digits of the spread.
double spreadOf(const double* x, int32_t n, int32_t zeros);

// One parameter's statistics from its sorted nonzero values `v` over K averaged samples (the
// other K - v.size() count as zeros): trimmed means and standard deviations, medians and the
// alpha/2 and 1 - alpha/2 quantiles. Below the parameter threshold (a share of the `fitted`
// samples) the averaged estimate and its spread are 0.
void parameterStatistics(const std::vector<double>& v, int32_t K, double alpha, double trim,
                         double threshold, int32_t fitted, ParameterSummary* out);

// The averaged model into the selection state: the effects selected by some averaged sample
// with a nonzero estimate, in effect order, and the averaged estimates of AVERAGEMETHOD$=.
void setAveragedModel(StepView* state, SelectionState* sel, AveragedResults* results);

}  // namespace vsf
