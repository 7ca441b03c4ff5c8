#include "common/graph_rows.h"

#include <gtest/gtest.h>

namespace vsf::test {

namespace {

using Json = nlohmann::ordered_json;

const Json* tableWithId(const Json& items, const Json& id) {
  for (const Json& item : items) {
    if (item.value("type", "") == "group") {
      if (const Json* t = tableWithId(item["items"], id)) return t;
    } else if (item.contains("id") && item["id"] == id && item.contains("rows")) {
      return &item;
    }
  }
  return nullptr;
}

}  // namespace

Json withGraphRows(Json graph, const Json& document) {
  for (Json& data : graph["data"]) {
    const Json* table = tableWithId(document["output"], data["tableId"]);
    EXPECT_NE(table, nullptr) << "no table with id " << data["tableId"];
    Json rows = Json::array();
    for (const Json& index : data["rows"]) {
      EXPECT_TRUE(index.is_number_unsigned()) << index;
      if (table && index.is_number_unsigned())
        rows.push_back((*table)["rows"].at(index.get<size_t>()));
    }
    data["rows"] = std::move(rows);
  }
  return graph;
}

}  // namespace vsf::test
