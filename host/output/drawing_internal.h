// What the drawings of the graph templates share: the rows of a graph's data objects, its
// dynamic variables and nested lists read by name, and the figure every drawing starts from.
// Each family of templates has its drawing in a file of its own.
#pragma once

#include <cmath>
#include <string>
#include <string_view>

#include "host/output/output_internal.h"
#include "host/output/plot_internal.h"

namespace vsf::host::output {

std::string trimmed(std::string s);

// The rows of one data object that the graph sees.
class Rows {
 public:
  explicit Rows(const GraphData* d) : d_(d) {}
  size_t size() const { return d_ ? d_->rows.size() : 0; }
  int column(std::string_view name) const;
  const Column* columnOf(int i) const { return i < 0 ? nullptr : &d_->table->columns[i]; }
  // A number, NaN for a missing value, a text or no column.
  double number(size_t k, int col) const;
  std::string text(size_t k, int col) const;
  // The numbers of a column, missing values left out.
  std::vector<double> numbers(int col) const;

 private:
  const GraphData* d_;
};

// The first data object's rows (none when the graph has no data).
inline Rows firstRows(const Graph& g) { return Rows(g.data.empty() ? nullptr : &g.data[0]); }

std::string variableText(const Dynamics& d, std::string_view name);
double variableNumber(const Dynamics& d, std::string_view name, double otherwise);
// The nested list that holds (or, with `with` false, lacks) a variable.
const Dynamics* listWith(const Graph& g, std::string_view name, bool with);
// A figure with the graph's id, name, label and title (the title "for" the response).
Figure figureOf(const Graph& g);

// The drawings outside the step graphs.
Figure tuningPlot(const Graph& g);
Figure cvExternalPlot(const Graph& g);
Figure effectSelectPlot(const Graph& g);
Figure parameterDistributions(const Graph& g, bool panel, bool histogram);

}  // namespace vsf::host::output
