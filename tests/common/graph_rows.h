// Test support: a graph of a JSON document with its data rows as the tables hold them. The
// document gives a graph's rows as indices into the table it names, which holds them once.
#pragma once

#include <nlohmann/json.hpp>

namespace vsf::test {

// The graph with each data object's "rows" replaced by the rows of its table ("tableId") at
// those indices; the document's tables are searched at any depth.
nlohmann::ordered_json withGraphRows(nlohmann::ordered_json graph,
                                     const nlohmann::ordered_json& document);

}  // namespace vsf::test
